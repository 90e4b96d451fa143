// The "Stato lettori" window through the real manager window, with simulated players (a line
// peer on each control port, a real FTP server on the port after it).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QPaintEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "link/TForm1.h"
#include "registry/ui/PlayerStatusModel.h"
#include "registry/ui/TFormStatoLettori.h"
#include "tests/registry/GroupCommandsPlayers.h"
#include "tests/registry_ui/ManagerWindowFixture.h"

namespace orvanta::registry::ui::test {
namespace {

using orvanta::test::SimulatedPlayer;
using Column = PlayerStatusModel::Column;

// What the player list showed at one paint.
struct Shown {
    std::vector<std::string> outcomes;
    std::vector<int> percents;
    // Whether the paint drew the row's progress cell: a row left out keeps what it showed last.
    std::vector<bool> drawn;
};

// Records every paint of the player list, with what each row showed: the window paints itself
// while a group command holds the event loop, so this is what the operator saw.
class PaintRecorder : public QObject {
public:
    explicit PaintRecorder(TFormStatoLettori& window) : m_window(window) {
        m_window.Players->viewport()->installEventFilter(this);
    }
    ~PaintRecorder() override { m_window.Players->viewport()->removeEventFilter(this); }

    std::vector<Shown> paints;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            const PlayerStatusModel& model = *m_window.Model();
            const QRegion region = static_cast<QPaintEvent*>(event)->region();
            Shown shown;
            for (int row = 0; row < model.rowCount(); ++row) {
                shown.drawn.push_back(region.intersects(
                    m_window.Players->visualRect(model.index(row, Column::Progress))));
                shown.outcomes.push_back(
                    model.index(row, Column::Outcome).data().toString().toStdString());
                shown.percents.push_back(model.index(row, Column::Progress)
                                             .data(PlayerStatusModel::kPercentRole)
                                             .toInt());
            }
            paints.push_back(shown);
        }
        return false;
    }

private:
    TFormStatoLettori& m_window;
};

// Counts the paints each widget of the window gets while a group command runs, the window
// itself included.
class PaintsWhileRunning : public QObject {
public:
    PaintsWhileRunning(TFormStatoLettori& window, const GroupCommands& commands)
        : m_commands(commands), m_widgets(window.findChildren<QWidget*>()) {
        m_widgets.push_back(&window);
        for (QWidget* widget : m_widgets) {
            widget->installEventFilter(this);
        }
    }
    ~PaintsWhileRunning() override {
        for (QWidget* widget : m_widgets) {
            widget->removeEventFilter(this);
        }
    }

    // The widgets the operator can see some of that were never painted while it ran.
    std::vector<std::string> Unpainted() const {
        std::vector<std::string> names;
        for (QWidget* widget : m_widgets) {
            if (!widget->visibleRegion().isEmpty() && m_paints.count(widget) == 0) {
                names.push_back(PathOf(widget));
            }
        }
        return names;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && m_commands.LastCommand().running) {
            ++m_paints[watched];
        }
        return false;
    }

private:
    // "Players/QHeaderView/qt_scrollarea_viewport": names, or classes where there is none.
    static std::string PathOf(const QWidget* widget) {
        std::string path;
        for (; widget && !widget->isWindow(); widget = widget->parentWidget()) {
            const std::string name = widget->objectName().isEmpty()
                                         ? widget->metaObject()->className()
                                         : widget->objectName().toStdString();
            path = path.empty() ? name : name + "/" + path;
        }
        return path.empty() ? "the window" : path;
    }

    const GroupCommands& m_commands;
    QList<QWidget*> m_widgets;
    std::map<QObject*, int> m_paints;
};

// Acts once, at the first paint of the window that finds the condition true: the window is
// painted while a command holds the event loop, so the action comes in the middle of it.
class AtPaint : public QObject {
public:
    AtPaint(QWidget& window, std::function<bool()> when, std::function<void()> action)
        : m_window(window), m_when(std::move(when)), m_action(std::move(action)) {
        m_window.installEventFilter(this);
    }
    ~AtPaint() override { m_window.removeEventFilter(this); }
    bool Acted() const { return m_acted; }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !m_acted && m_when()) {
            m_acted = true;
            m_action();
        }
        return false;
    }

private:
    QWidget& m_window;
    std::function<bool()> m_when;
    std::function<void()> m_action;
    bool m_acted = false;
};

// Input as the platform hands it over: to a window's surface, which finds the widget it is for,
// and nothing else of the event loop runs.
void ClickOnSurface(const QWidget* target) {
    QWindow* surface = target->window()->windowHandle();
    const QPoint at = target->mapTo(target->window(), target->rect().center());
    const QPointF global = surface->mapToGlobal(QPointF(at));
    // Never taken for the second half of a double click.
    QTest::lastMouseTimestamp += QTest::mouseDoubleClickInterval;
    qt_handleMouseEvent(surface, at, global, Qt::LeftButton, Qt::LeftButton,
                        QEvent::MouseButtonPress, Qt::NoModifier, QTest::lastMouseTimestamp);
    qt_handleMouseEvent(surface, at, global, Qt::NoButton, Qt::LeftButton,
                        QEvent::MouseButtonRelease, Qt::NoModifier, QTest::lastMouseTimestamp);
}
void KeyOnSurface(const QWidget* window, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
    qt_handleKeyEvent(window->windowHandle(), QEvent::KeyPress, key, modifiers);
    qt_handleKeyEvent(window->windowHandle(), QEvent::KeyRelease, key, modifiers);
}
// Input that comes while the event loop is held reaches the program when the loop next turns.
void WhenTheLoopTurns(std::function<void()> input) {
    QMetaObject::invokeMethod(qApp, std::move(input), Qt::QueuedConnection);
}

class StatoLettoriTest : public ManagerWindowFixture {
protected:
    std::filesystem::path PlayerHome(const std::string& name) const {
        return m_folder.Path() / "players" / name;
    }
    std::string WriteMedia(const std::string& name, std::size_t size) {
        std::filesystem::create_directories(m_folder.Path() / "media");
        const std::filesystem::path path = m_folder.Path() / "media" / name;
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) {
            bytes[i] = static_cast<char>((i * 131 + i / 509) & 0xFF);
        }
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    void AddOn(int port, const std::string& file) {
        AddPlayer("Sala", "127.0.0.1", port, true, file);
    }
    TFormStatoLettori& Stato() { return *Window().FormStatoLettori; }
    std::string Cell(int row, int column) {
        return Stato().Model()->index(row, column).data().toString().toStdString();
    }
    std::vector<std::string> ColumnOf(int column) {
        std::vector<std::string> texts;
        for (int row = 0; row < Stato().Model()->rowCount(); ++row) {
            texts.push_back(Cell(row, column));
        }
        return texts;
    }
    // Opens the window with the operator's key on the main window, which has the focus.
    void OpenStato() {
        Window().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
        QTest::keyClick(&Window(), Qt::Key_F2);
        ASSERT_TRUE(Stato().isVisible());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Stato()));
    }
    // The servers read slowly enough for an upload to outlast several repaints, even after the
    // system's buffers have taken the first megabytes at once.
    static constexpr long kReadLimit = 4 * 1024 * 1024;
    static constexpr std::size_t kSize = 6 * 1024 * 1024;
    // A parallel copy's upload that the server's SIZE proved (the test servers offer no digest).
    static constexpr const char* kProvenBySize = "eseguito (verificato: dimensione)";
    // The players as one group sharing a clip of kSize bytes, "Stato lettori" open, then
    // "1 - Inizializza lettori"; returns the clip's path.
    std::string InitializeOnClip(const std::vector<SimulatedPlayer*>& players) {
        const std::string clip = WriteMedia("clip.mp4", kSize);
        for (SimulatedPlayer* player : players) {
            AddOn(player->Port(), clip);
        }
        Open();
        ChooseGroup("Sala");
        OpenStato();
        Window().Preparalettori1->trigger();
        return clip;
    }
    // Three players whose second refuses its control port, "Stato lettori" open, and
    // "1 - Inizializza lettori", which stops at the second; returns the refusing port.
    int InitializeStoppingAtTheSecond(SimulatedPlayer& first, SimulatedPlayer& third) {
        const int refusing = orvanta::test::RefusingPort();
        AddOn(first.Port(), WriteMedia("uno.mp4", 10));
        AddOn(refusing, WriteMedia("due.mp4", 10));
        AddOn(third.Port(), WriteMedia("tre.mp4", 10));
        Open();
        ChooseGroup("Sala");
        OpenStato();
        Window().Preparalettori1->trigger();
        return refusing;
    }
    static std::size_t Stores(SimulatedPlayer& player) {
        std::size_t count = 0;
        for (const std::string& command : player.Ftp().Commands()) {
            count += command.rfind("STOR ", 0) == 0 ? 1 : 0;
        }
        return count;
    }
};

TEST_F(StatoLettoriTest, hiddenAtStartF2TogglesItAndEscapeClosesIt) {
    Open();
    EXPECT_FALSE(Stato().isVisible());
    EXPECT_EQ(Stato().windowTitle(), "Stato lettori");
    Window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
    Window().ListaPlurilist->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Window().ListaPlurilist->hasFocus(); }));

    QTest::keyClick(&Window(), Qt::Key_F2);
    EXPECT_TRUE(Stato().isVisible());
    EXPECT_TRUE(Stato().testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_EQ(Stato().Summary->text(), "Nessun comando dall'avvio.");
    EXPECT_EQ(Stato().Model()->rowCount(), 0);
    EXPECT_FALSE(Stato().Continua->isEnabled());
    EXPECT_FALSE(Stato().CopiaInParallelo->isEnabled());
    // The operator goes on typing in the main window.
    QTest::keyClicks(Window().ListaPlurilist, "Sa");
    EXPECT_EQ(Window().ListaPlurilist->currentText(), "Sa");

    QTest::keyClick(&Window(), Qt::Key_F2);
    EXPECT_FALSE(Stato().isVisible());
    QTest::keyClick(&Window(), Qt::Key_F2);
    EXPECT_TRUE(Stato().isVisible());
    // Escape in its list closes it.
    QTest::keyClick(Stato().Players, Qt::Key_Escape);
    EXPECT_FALSE(Stato().isVisible());
    EXPECT_TRUE(Window().isVisible());
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
}

TEST_F(StatoLettoriTest, copyToThreePlayersShowsEachOnesProgressWhileItRunsThenDone) {
    SimulatedPlayer first(PlayerHome("first"), true, kReadLimit);
    SimulatedPlayer second(PlayerHome("second"), true, kReadLimit);
    SimulatedPlayer third(PlayerHome("third"), true, kReadLimit);
    const std::string clip = InitializeOnClip({&first, &second, &third});
    ASSERT_EQ(m_notices.errors, std::vector<std::string>{});
    EXPECT_EQ(ColumnOf(Column::Outcome),
              (std::vector<std::string>{"eseguito", "eseguito", "eseguito"}));
    EXPECT_EQ(ColumnOf(Column::Channel), (std::vector<std::string>{"aperto", "aperto", "aperto"}));
    EXPECT_EQ(ColumnOf(Column::Ftp),
              (std::vector<std::string>{"connesso", "connesso", "connesso"}));
    EXPECT_EQ(Cell(1, Column::Player), "127.0.0.1:" + std::to_string(second.Port()));
    EXPECT_EQ(Stato().Summary->text(), "1 - Inizializza lettori: eseguito");

    PaintRecorder recorder(Stato());
    Window().Inviaifiles1->trigger();
    ASSERT_EQ(m_notices.errors, std::vector<std::string>{});

    // Each entry was seen under way at two or more points of its upload, the others waiting
    // or done as the order says.
    for (std::size_t entry = 0; entry < 3; ++entry) {
        std::set<int> under;
        for (const Shown& shown : recorder.paints) {
            ASSERT_EQ(shown.outcomes.size(), 3u);
            if (shown.outcomes[entry] == "in corso" && shown.percents[entry] > 0 &&
                shown.percents[entry] < 100) {
                under.insert(shown.percents[entry]);
                for (std::size_t other = 0; other < 3; ++other) {
                    if (other != entry) {
                        EXPECT_EQ(shown.outcomes[other], other < entry ? "eseguito" : "in attesa");
                    }
                }
            }
        }
        EXPECT_GE(under.size(), 2u) << "entry " << entry + 1;
    }
    ASSERT_FALSE(recorder.paints.empty());
    EXPECT_EQ(recorder.paints.back().outcomes,
              (std::vector<std::string>{"eseguito", "eseguito", "eseguito"}));
    EXPECT_EQ(ColumnOf(Column::Progress), (std::vector<std::string>{"100 %", "100 %", "100 %"}));
    EXPECT_EQ(Cell(2, Column::Bytes), "6.291.456 / 6.291.456");
    EXPECT_FALSE(Cell(0, Column::Rate).empty());
    EXPECT_EQ(Stato().Summary->text(),
              QString::fromStdString("2 - Copia files nei lettori (" + clip + "): eseguito"));
    EXPECT_FALSE(Stato().Continua->isEnabled());
    for (SimulatedPlayer* player : {&first, &second, &third}) {
        EXPECT_EQ(player->Stored("clip.mp4").size(), kSize);
    }
}

TEST_F(StatoLettoriTest, refusedCopyShowsItsTextThenContinuaCopiesToTheRestOnly) {
    SimulatedPlayer first(PlayerHome("first")), second(PlayerHome("second")),
        third(PlayerHome("third"));
    const std::string clip = WriteMedia("clip.mp4", 200000);
    const std::string other = WriteMedia("altro.mp4", 10);
    for (SimulatedPlayer* player : {&first, &second, &third}) {
        AddOn(player->Port(), clip);
    }
    AddPlayer("Sala", "127.0.0.1", 1, false, other);
    Open();
    ChooseGroup("Sala");
    OpenStato();
    Window().Preparalettori1->trigger();
    ASSERT_EQ(m_notices.errors, std::vector<std::string>{});

    // The second player's server cannot store the file: a folder stands in its place.
    std::filesystem::create_directory(second.Home() / "clip.mp4");
    Window().Inviaifiles1->trigger();
    ASSERT_EQ(m_notices.errors.size(), 1u);
    EXPECT_FALSE(m_notices.errors[0].empty());
    EXPECT_EQ(ColumnOf(Column::Outcome),
              (std::vector<std::string>{"eseguito", m_notices.errors[0], "non raggiunto"}));
    EXPECT_EQ(Stato().Summary->text(), QString::fromStdString("2 - Copia files nei lettori (" +
                                                              clip + "): fermato al lettore 2"));
    EXPECT_EQ(Cell(0, Column::Progress), "100 %");
    EXPECT_EQ(Cell(2, Column::Progress), "");
    EXPECT_TRUE(Stato().Continua->isEnabled());
    EXPECT_EQ(Stores(third), 0u);

    // Another row's file is not what the stopped copy was sending: nothing goes out.
    ClickRow(3);
    QTest::mouseClick(Stato().Continua, Qt::LeftButton);
    ASSERT_EQ(m_notices.errors.size(), 2u);
    EXPECT_EQ(
        m_notices.errors[1],
        "La riga corrente indica un altro file da quello del comando interrotto (" + clip + ").");
    EXPECT_EQ(Stores(second), 1u);
    EXPECT_EQ(Stores(third), 0u);

    // The player is back: Continua copies to the second and third players only.
    ClickRow(0);
    std::filesystem::remove(second.Home() / "clip.mp4");
    QTest::mouseClick(Stato().Continua, Qt::LeftButton);
    EXPECT_EQ(m_notices.errors.size(), 2u);
    EXPECT_EQ(Stores(first), 1u);
    EXPECT_EQ(Stores(second), 2u);
    EXPECT_EQ(Stores(third), 1u);
    for (SimulatedPlayer* player : {&first, &second, &third}) {
        EXPECT_EQ(player->Stored("clip.mp4").size(), 200000u) << player->Port();
    }
    EXPECT_EQ(ColumnOf(Column::Outcome),
              (std::vector<std::string>{"eseguito", "eseguito", "eseguito"}));
    EXPECT_EQ(Stato().Summary->text(),
              QString::fromStdString("2 - Copia files nei lettori (" + clip + "): eseguito"));
    EXPECT_FALSE(Stato().Continua->isEnabled());
}

TEST_F(StatoLettoriTest, parallelCopySendsToEveryPlayerAtOnceAndShowsEachOutcome) {
    SimulatedPlayer first(PlayerHome("first"), true, kReadLimit);
    SimulatedPlayer second(PlayerHome("second"), true, kReadLimit);
    SimulatedPlayer third(PlayerHome("third"), true, kReadLimit);
    const std::string clip = InitializeOnClip({&first, &second, &third});
    ASSERT_EQ(m_notices.errors, std::vector<std::string>{});
    // The second player's server cannot store the file: a folder stands in its place.
    std::filesystem::create_directory(second.Home() / "clip.mp4");

    // The main window stays blocked while the copy runs: a timer of the event loop never ticks
    // in the middle of it.
    bool tickedWhileRunning = false;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        tickedWhileRunning = tickedWhileRunning || Window().Commands().LastCommand().running;
    });
    ticks.start(20);
    PaintRecorder recorder(Stato());
    QTest::mouseClick(Stato().CopiaInParallelo, Qt::LeftButton);
    ticks.stop();
#ifdef _WIN32
    // Windows' event dispatcher delivers timers in every nested loop (excluding them holds for
    // the Unix dispatchers only); there the copy pauses the links' polls itself.
    (void)tickedWhileRunning;
#else
    EXPECT_FALSE(tickedWhileRunning);
#endif

    // The first and the third were under way together.
    bool together = false;
    for (const Shown& shown : recorder.paints) {
        ASSERT_EQ(shown.outcomes.size(), 3u);
        together = together || (shown.outcomes[0] == "in corso" && shown.percents[0] > 0 &&
                                shown.percents[0] < 100 && shown.outcomes[2] == "in corso" &&
                                shown.percents[2] > 0 && shown.percents[2] < 100);
    }
    EXPECT_TRUE(together);

    // The refusal stayed with its player; the others got the whole file.
    const std::string refusal = Cell(1, Column::Outcome);
    EXPECT_EQ(ColumnOf(Column::Outcome),
              (std::vector<std::string>{kProvenBySize, refusal, kProvenBySize}));
    EXPECT_NE(refusal, "in corso");
    ASSERT_EQ(m_notices.errors.size(), 1u);
    EXPECT_EQ(
        m_notices.errors[0],
        "Copia in parallelo non riuscita in 1 lettore su 3.\r\nLettore 2 (127.0.0.1): " + refusal);
    EXPECT_EQ(Cell(2, Column::Bytes), "6.291.456 / 6.291.456");
    EXPECT_EQ(first.Stored("clip.mp4").size(), kSize);
    EXPECT_EQ(third.Stored("clip.mp4").size(), kSize);
    for (SimulatedPlayer* player : {&first, &second, &third}) {
        EXPECT_EQ(Stores(*player), 1u) << player->Port();
    }
    EXPECT_EQ(Stato().Summary->text(), QString::fromStdString("Copia in parallelo (" + clip +
                                                              "): non riuscito in 1 lettore"));
    EXPECT_FALSE(Stato().Continua->isEnabled());

    // The links' clients are theirs again: the menu's copy goes on over them.
    std::filesystem::remove(second.Home() / "clip.mp4");
    Window().Inviaifiles1->trigger();
    EXPECT_EQ(m_notices.errors.size(), 1u);
    EXPECT_EQ(second.Stored("clip.mp4").size(), kSize);
}

TEST_F(StatoLettoriTest, parallelCopyDrawsEveryRowsProgressFromNothingAsItMoves) {
    std::vector<std::unique_ptr<SimulatedPlayer>> players;
    std::vector<SimulatedPlayer*> group;
    for (const char* name : {"uno", "due", "tre", "quattro", "cinque"}) {
        players.push_back(std::make_unique<SimulatedPlayer>(PlayerHome(name), true, kReadLimit));
        group.push_back(players.back().get());
    }
    const std::string clip = InitializeOnClip(group);
    QTest::mouseClick(Stato().CopiaInParallelo, Qt::LeftButton);
    ASSERT_EQ(m_notices.errors, std::vector<std::string>{});
    ASSERT_EQ(ColumnOf(Column::Progress), std::vector<std::string>(group.size(), "100 %"));

    // A new cut of the clip: every row starts again from nothing, and each moves on its own.
    WriteMedia("clip.mp4", kSize + kSize / 2);
    PaintRecorder recorder(Stato());
    QTest::mouseClick(Stato().CopiaInParallelo, Qt::LeftButton);
    ASSERT_EQ(m_notices.errors, std::vector<std::string>{});
    for (std::size_t row = 0; row < group.size(); ++row) {
        std::vector<int> drawn;
        for (const Shown& shown : recorder.paints) {
            ASSERT_EQ(shown.outcomes.size(), group.size());
            if (shown.drawn[row] && shown.outcomes[row] == "in corso") {
                drawn.push_back(shown.percents[row]);
            }
        }
        ASSERT_FALSE(drawn.empty()) << "row " << row + 1;
        EXPECT_LT(drawn.front(), 100) << "row " << row + 1;
        EXPECT_GE(std::count_if(drawn.begin(), drawn.end(),
                                [](int percent) { return percent > 0 && percent < 100; }),
                  2)
            << "row " << row + 1;
        EXPECT_EQ(group[row]->Stored("clip.mp4").size(), kSize + kSize / 2) << "row " << row + 1;
    }
}

TEST_F(StatoLettoriTest, parallelCopySendsNothingToAPlayerThatAlreadyHoldsTheFile) {
    SimulatedPlayer first(PlayerHome("first")), second(PlayerHome("second")),
        third(PlayerHome("third"));
    const std::string clip = InitializeOnClip({&first, &second, &third});
    QTest::mouseClick(Stato().CopiaInParallelo, Qt::LeftButton);
    ASSERT_EQ(m_notices.errors, std::vector<std::string>{});
    // The third player's copy was cut short by hand: another size is another file.
    std::filesystem::resize_file(third.Home() / "clip.mp4", kSize / 3);

    QTest::mouseClick(Stato().CopiaInParallelo, Qt::LeftButton);
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
    EXPECT_EQ(ColumnOf(Column::Outcome),
              (std::vector<std::string>{"già presente", "già presente", kProvenBySize}));
    EXPECT_EQ(ColumnOf(Column::Progress), (std::vector<std::string>{"", "", "100 %"}));
    EXPECT_EQ(Stato().Summary->text(),
              QString::fromStdString("Copia in parallelo (" + clip + "): eseguito"));
    EXPECT_EQ((std::vector<std::size_t>{Stores(first), Stores(second), Stores(third)}),
              (std::vector<std::size_t>{1, 1, 2}));
    EXPECT_EQ(third.Stored("clip.mp4").size(), kSize);
}

TEST_F(StatoLettoriTest, continuaAndTheParallelCopyLogInAgainToARestartedFtpServer) {
    SimulatedPlayer first(PlayerHome("first")), second(PlayerHome("second"));
    InitializeOnClip({&first, &second});
    ASSERT_EQ(m_notices.errors, std::vector<std::string>{});
    const auto loggedIn = [](SimulatedPlayer& player) {
        const std::vector<std::string> commands = player.Ftp().Commands();
        return std::count_if(commands.begin(), commands.end(), [](const std::string& command) {
            return command.rfind("USER ", 0) == 0;
        });
    };

    // The menu's copy meets the closed connection and stops there, as it always did.
    second.RestartFtp();
    Window().Inviaifiles1->trigger();
    ASSERT_EQ(m_notices.errors.size(), 1u);
    EXPECT_EQ(ColumnOf(Column::Ftp), (std::vector<std::string>{"connesso", "chiuso dal server"}));
    EXPECT_EQ(loggedIn(second), 0);

    QTest::mouseClick(Stato().Continua, Qt::LeftButton);
    EXPECT_EQ(m_notices.errors.size(), 1u);
    EXPECT_EQ(ColumnOf(Column::Outcome), (std::vector<std::string>{"eseguito", "eseguito"}));
    EXPECT_EQ(ColumnOf(Column::Ftp), (std::vector<std::string>{"connesso", "connesso"}));
    EXPECT_EQ(loggedIn(second), 1);
    EXPECT_EQ(second.Stored("clip.mp4").size(), kSize);

    // Restarted again while idle: the parallel copy finds out and logs in again too.
    second.RestartFtp();
    QTest::mouseClick(Stato().CopiaInParallelo, Qt::LeftButton);
    EXPECT_EQ(m_notices.errors.size(), 1u);
    EXPECT_EQ(ColumnOf(Column::Outcome),
              (std::vector<std::string>{"già presente", "già presente"}));
    EXPECT_EQ(ColumnOf(Column::Ftp), (std::vector<std::string>{"connesso", "connesso"}));
    EXPECT_EQ(loggedIn(second), 1);
}

TEST_F(StatoLettoriTest, failedInitializeShowsTheBoxTextAndContinuaGoesOnFromItsPlayer) {
    SimulatedPlayer first(PlayerHome("first")), second(PlayerHome("second")),
        third(PlayerHome("third"));
    const int refusing = InitializeStoppingAtTheSecond(first, third);
    ASSERT_EQ(m_notices.errors,
              (std::vector<std::string>{"Socket Error # 10061\r\nConnection refused."}));
    EXPECT_EQ(ColumnOf(Column::Outcome),
              (std::vector<std::string>{"eseguito", "Socket Error # 10061\r\nConnection refused.",
                                        "non raggiunto"}));
    EXPECT_EQ(ColumnOf(Column::Channel), (std::vector<std::string>{"aperto", "mai aperto", ""}));
    EXPECT_EQ(Cell(2, Column::Player), "nessun collegamento");
    EXPECT_EQ(Stato().Summary->text(), "1 - Inizializza lettori: fermato al lettore 2");
    EXPECT_TRUE(Stato().Continua->isEnabled());
    EXPECT_TRUE(Stato().Salta->isEnabled());
    EXPECT_EQ(third.Line().ConnectionCount(), 0);

    // The operator mends the row: Continua initializes from it to the last, and leaves the
    // first player's link as it was.
    orvanta::test::ExecSql(m_file,
                           "UPDATE manager SET player_port=" + std::to_string(second.Port()) +
                               " WHERE player_port=" + std::to_string(refusing));
    QTest::mouseClick(Stato().Continua, Qt::LeftButton);
    EXPECT_EQ(m_notices.errors.size(), 1u);
    EXPECT_EQ(ColumnOf(Column::Outcome),
              (std::vector<std::string>{"eseguito", "eseguito", "eseguito"}));
    EXPECT_EQ(ColumnOf(Column::Channel), (std::vector<std::string>{"aperto", "aperto", "aperto"}));
    EXPECT_EQ(first.Line().ConnectionCount(), 1);
    EXPECT_EQ(Stato().Summary->text(), "1 - Inizializza lettori: eseguito");
    EXPECT_FALSE(Stato().Continua->isEnabled());
    EXPECT_FALSE(Stato().Salta->isEnabled());

    Window().Play1->trigger();
    for (SimulatedPlayer* player : {&first, &second, &third}) {
        EXPECT_TRUE(QTest::qWaitFor([&] {
            return player->Line().Received(0).find("@PLAY") != std::string::npos;
        })) << player->Port();
    }
}

TEST_F(StatoLettoriTest, saltaPassesOverThePlayerAnInitializeCouldNotReach) {
    SimulatedPlayer first(PlayerHome("first")), third(PlayerHome("third"));
    InitializeStoppingAtTheSecond(first, third);
    ASSERT_EQ(m_notices.errors.size(), 1u);

    // Continua meets the same refusal; Salta goes on with the third.
    QTest::mouseClick(Stato().Continua, Qt::LeftButton);
    EXPECT_EQ(m_notices.errors.size(), 2u);
    QTest::mouseClick(Stato().Salta, Qt::LeftButton);
    EXPECT_EQ(m_notices.errors.size(), 2u);
    EXPECT_EQ(ColumnOf(Column::Outcome),
              (std::vector<std::string>{"eseguito", "Socket Error # 10061\r\nConnection refused.",
                                        "eseguito"}));
    EXPECT_EQ(Cell(1, Column::Player), "nessun collegamento");
    EXPECT_EQ(Stato().Summary->text(), "1 - Inizializza lettori: non riuscito in 1 lettore");
    EXPECT_FALSE(Stato().Salta->isEnabled());

    // The player passed over is passed over by the commands after it.
    Window().Play1->trigger();
    EXPECT_EQ(m_notices.errors.size(), 2u);
    EXPECT_EQ(ColumnOf(Column::Outcome),
              (std::vector<std::string>{"eseguito", "nessun collegamento", "eseguito"}));
    for (SimulatedPlayer* player : {&first, &third}) {
        EXPECT_TRUE(QTest::qWaitFor([&] {
            return player->Line().Received(0).find("@PLAY") != std::string::npos;
        })) << player->Port();
    }
}

TEST_F(StatoLettoriTest, entryWithoutLinkIsPassedOverAndShownSo) {
    // The second player's FTP server is missing: initialize stops at its login, after its
    // channel opened, and the third entry keeps no link.
    SimulatedPlayer first(PlayerHome("first")), second(PlayerHome("second"), false),
        third(PlayerHome("third"));
    for (SimulatedPlayer* player : {&first, &second, &third}) {
        AddOn(player->Port(), WriteMedia("uno.mp4", 10));
    }
    Open();
    ChooseGroup("Sala");
    OpenStato();
    Window().Preparalettori1->trigger();
    ASSERT_EQ(m_notices.errors.size(), 1u);
    EXPECT_EQ(ColumnOf(Column::Ftp), (std::vector<std::string>{"connesso", "non connesso", ""}));

    Window().Pausa1->trigger();
    EXPECT_EQ(m_notices.errors.size(), 1u);
    EXPECT_EQ(ColumnOf(Column::Outcome),
              (std::vector<std::string>{"eseguito", "eseguito", "nessun collegamento"}));
    EXPECT_EQ(Stato().Summary->text(), "Pausa: eseguito");
    EXPECT_FALSE(Stato().Continua->isEnabled());
}

TEST_F(StatoLettoriTest, verificaProbesTheGroupsActivePlayersWithoutInitializingThem) {
    SimulatedPlayer first(PlayerHome("first")), second(PlayerHome("second"), false);
    const int refusing = orvanta::test::RefusingPort();
    const std::string clip = WriteMedia("clip.mp4", 10);
    AddOn(first.Port(), clip);
    AddOn(second.Port(), clip);
    AddOn(refusing, clip);
    AddPlayer("Sala", "127.0.0.1", 1, false, clip);
    Open();
    ChooseGroup("Sala");
    ClickRow(3);
    OpenStato();

    QTest::mouseClick(Stato().Verifica, Qt::LeftButton);
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
    const auto port = [](int number) { return "127.0.0.1:" + std::to_string(number); };
    EXPECT_EQ(ColumnOf(Column::Player),
              (std::vector<std::string>{port(first.Port()), port(second.Port()), port(refusing)}));
    const std::vector<std::string> found = ColumnOf(Column::Probe);
    ASSERT_EQ(found.size(), 3u);
    const QRegularExpression bothAnswer(
        "^canale: risponde \\(\\d+,\\d ms\\), FTP: risponde \\(\\d+,\\d ms\\)$");
    EXPECT_TRUE(bothAnswer.match(QString::fromStdString(found[0])).hasMatch()) << found[0];
    EXPECT_TRUE(QRegularExpression("^canale: risponde \\(\\d+,\\d ms\\), FTP: rifiuta$")
                    .match(QString::fromStdString(found[1]))
                    .hasMatch())
        << found[1];
    EXPECT_EQ(found[2], "canale: rifiuta, FTP: rifiuta");
    EXPECT_EQ(Stato().Summary->text(),
              "Nessun comando dall'avvio.\nVerifica lettori (Sala): rispondono 1 lettori su 3");
    // Nothing was initialized, and the grid still shows the whole group where it was.
    EXPECT_EQ(Window().Commands().LinkCount(), 0u);
    EXPECT_EQ(GridCurrentRow(), 3);
    EXPECT_TRUE(QTest::qWaitFor([&] { return first.Line().ConnectionCount() == 1; }));
    EXPECT_EQ(first.Line().Received(0), "");

    // Once initialized, each link's row keeps its player's answer.
    Window().Preparalettori1->trigger();
    EXPECT_TRUE(bothAnswer.match(QString::fromStdString(Cell(0, Column::Probe))).hasMatch())
        << Cell(0, Column::Probe);
}

TEST_F(StatoLettoriTest, opensWideEnoughForEveryColumnAndReopensAsTheOperatorLeftIt) {
    // The program's settings where no other run reads them: in a folder of the test's own, under
    // a name of the test's own (Windows keeps them in the user's registry, which outlives the
    // run), removed at the end.
    const QByteArray home = qgetenv("XDG_CONFIG_HOME");
    const QString application = QCoreApplication::applicationName();
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((m_folder.Path() / "config").string()));
    QCoreApplication::setOrganizationName(QStringLiteral("KELT"));
    QCoreApplication::setApplicationName(
        QString::fromStdString(m_folder.Path().filename().string()));
    struct Restore {
        QByteArray home;
        QString application;
        ~Restore() {
            QSettings().clear();
            QCoreApplication::setOrganizationName(QString());
            QCoreApplication::setApplicationName(application);
            home.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", home);
        }
    } restore{home, application};

    Open();
    const auto window =
        std::make_unique<TFormStatoLettori>(Window().Commands(), m_notices, &Window());
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    const QHeaderView& header = *window->Players->horizontalHeader();
    // Every column with a title of its own and room to show it.
    std::set<QString> titles;
    for (int column = 0; column < Column::ColumnCount; ++column) {
        const QString title = header.model()->headerData(column, Qt::Horizontal).toString();
        EXPECT_FALSE(title.isEmpty()) << "column " << column;
        EXPECT_TRUE(titles.insert(title).second) << title.toStdString();
        EXPECT_GE(header.sectionSize(column), header.fontMetrics().horizontalAdvance(title))
            << title.toStdString();
    }
    const auto titleOf = [&](int column) {
        return header.model()->headerData(column, Qt::Horizontal).toString().toStdString();
    };
    EXPECT_EQ(titleOf(Column::Probe), "Verifica");
    EXPECT_EQ(titleOf(Column::LastLine), "Ultima riga ricevuta");
    // No column cut where the screen is wide enough (the test is also run on a wide screen),
    // else as wide as the screen and no wider.
    const int screenWidth = window->screen()->availableGeometry().width();
    EXPECT_LE(window->width(), screenWidth);
    EXPECT_TRUE(header.length() <= window->Players->viewport()->width() ||
                window->width() == screenWidth)
        << header.length() << " in " << window->Players->viewport()->width() << " on "
        << screenWidth;

    window->resize(700, 300);
    window->Players->setColumnWidth(Column::Outcome, 333);
    window->hide();
    const auto again =
        std::make_unique<TFormStatoLettori>(Window().Commands(), m_notices, &Window());
    again->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(again.get()));
    EXPECT_EQ(again->size(), QSize(700, 300));
    EXPECT_EQ(again->Players->columnWidth(Column::Outcome), 333);
}

TEST_F(StatoLettoriTest, eachRowShowsWhatThePlayerWasLastGivenAndWhatItSaysItLoaded) {
    SimulatedPlayer first(PlayerHome("first")), second(PlayerHome("second"));
    const std::string clip = InitializeOnClip({&first, &second});
    Window().Inviaifiles1->trigger();
    Window().Caricaifiles1->trigger();
    ASSERT_EQ(m_notices.errors, std::vector<std::string>{});
    const QRegularExpression copiedAndLoaded(
        "^clip\\.mp4 copiato \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d, "
        "clip\\.mp4 caricato \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$");
    for (int row = 0; row < 2; ++row) {
        EXPECT_TRUE(
            copiedAndLoaded.match(QString::fromStdString(Cell(row, Column::Holding))).hasMatch())
            << Cell(row, Column::Holding);
    }

    // What the player itself says it loaded, as it comes.
    first.Line().Send("uno: file caricato clip.mp4\n");
    first.Line().Send("uno: in riproduzione\n");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return Cell(0, Column::LastLine).find("in riproduzione") != std::string::npos; },
        10000));
    EXPECT_EQ(Cell(0, Column::LoadedLine), "uno: file caricato clip.mp4");
    EXPECT_EQ(Cell(1, Column::LoadedLine), "");
}

TEST_F(StatoLettoriTest, ticksShowThePlayersLinesAndAChannelItClosed) {
    SimulatedPlayer first(PlayerHome("first")), second(PlayerHome("second"));
    AddOn(first.Port(), WriteMedia("uno.mp4", 10));
    AddOn(second.Port(), WriteMedia("uno.mp4", 10));
    Open();
    ChooseGroup("Sala");
    Window().Preparalettori1->trigger();
    ASSERT_EQ(m_notices.errors, std::vector<std::string>{});
    ASSERT_TRUE(first.Line().WaitForConnections(1));
    OpenStato();
    EXPECT_EQ(Stato().LogTitle->text(),
              QString::fromStdString(
                  "Messaggi del lettore 1 (127.0.0.1:" + std::to_string(first.Port()) + ")"));

    // Markup from a player is shown as it came.
    first.Line().Send("<b>pronto</b>\n");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return Cell(0, Column::LastLine).find("<b>pronto</b>") != std::string::npos; },
        10000));
    EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d  <b>pronto</b>$")
                    .match(QString::fromStdString(Cell(0, Column::LastLine)))
                    .hasMatch())
        << Cell(0, Column::LastLine);
    EXPECT_EQ(Stato().Log->toPlainText(), "<b>pronto</b>");
    EXPECT_EQ(Cell(1, Column::LastLine), "");

    // The second player closes; its row says so after the tick that met the close.
    Stato().Players->setCurrentIndex(Stato().Model()->index(1, 0));
    EXPECT_EQ(Stato().Log->toPlainText(), "");
    second.Line().Close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Cell(1, Column::Channel) == "chiuso"; }, 10000));
    EXPECT_EQ(Cell(0, Column::Channel), "aperto");
    EXPECT_EQ(m_notices.errors, (std::vector<std::string>{"Connection Closed Gracefully."}));
}

TEST_F(StatoLettoriTest, aPlayersDirectionControlsAreShownWithoutReorderingItsLines) {
    SimulatedPlayer first(PlayerHome("first"));
    AddOn(first.Port(), WriteMedia("uno.mp4", 10));
    Open();
    ChooseGroup("Sala");
    Window().Preparalettori1->trigger();
    ASSERT_EQ(m_notices.errors, std::vector<std::string>{});
    ASSERT_TRUE(first.Line().WaitForConnections(1));
    OpenStato();

    // Obeyed, the override would make the first line read "hacked!"; the isolate and the mark
    // would move the second line's words about.
    first.Line().Send("\xE2\x80\xAE!dekcah\n");
    first.Line().Send(
        "pronto \xE2\x81\xA7"
        "al\xE2\x80\x8F 100\n");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Stato().Log->toPlainText().count(QLatin1Char('\n')) == 1; }, 10000));

    const QModelIndex last = Stato().Model()->index(0, Column::LastLine);
    const std::string line = last.data().toString().toStdString();
    EXPECT_EQ(last.data(Qt::ToolTipRole).toString().toStdString(), line);
    // Linux shows the player's UTF-8 as such, the controls written out. Windows shows its bytes
    // in the ANSI code page, where they are other characters and no controls at all.
#ifndef _WIN32
    EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d  pronto <U\\+2067>al<U\\+200F> 100$")
                    .match(QString::fromStdString(line))
                    .hasMatch())
        << line;
    EXPECT_EQ(Stato().Log->toPlainText().toStdString(),
              "<U+202E>!dekcah\npronto <U+2067>al<U+200F> 100");
#endif
    // Nothing that steers the layout is left in either.
    for (const QString& shown : {last.data().toString(), Stato().Log->toPlainText()}) {
        EXPECT_TRUE(std::none_of(shown.begin(), shown.end(), [](QChar c) {
            return c.category() == QChar::Other_Format;
        })) << shown.toStdString();
    }
}

TEST_F(StatoLettoriTest, aRepaintDuringACommandDrawsEveryPartOfTheWindow) {
    // What a closing menu or another window uncovered while the command held the event loop is
    // drawn again only by the window's own repaints: all of it, the lists and buttons included.
    SimulatedPlayer first(PlayerHome("first")), second(PlayerHome("second"));
    const std::string clip = WriteMedia("clip.mp4", 1000);
    AddOn(first.Port(), clip);
    AddOn(second.Port(), clip);
    Open();
    ChooseGroup("Sala");
    OpenStato();
    Window().Preparalettori1->trigger();
    ASSERT_EQ(m_notices.errors, std::vector<std::string>{});

    PaintsWhileRunning paints(Stato(), Window().Commands());
    Window().Inviaifiles1->trigger();
    ASSERT_EQ(m_notices.errors, std::vector<std::string>{});
    EXPECT_EQ(paints.Unpainted(), std::vector<std::string>{});
}

TEST_F(StatoLettoriTest, inputGivenWhileTheParallelCopyRunsIsDroppedNotRunAfterIt) {
    SimulatedPlayer first(PlayerHome("first"), true, kReadLimit);
    SimulatedPlayer second(PlayerHome("second"), true, kReadLimit);
    InitializeOnClip({&first, &second});
    ASSERT_EQ(m_notices.errors, std::vector<std::string>{});
    // The operator works in the main window, on the grid, while the copy runs.
    Window().activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &Window(); }));
    Window().playlistdb->setFocus();
    m_notices.answerYes = false;

    struct Input {
        const char* what;
        std::function<void()> give;
        std::function<bool()> leftAlone;
    };
    const Input inputs[] = {
        {"a second click on Copia in parallelo", [&] { ClickOnSurface(Stato().CopiaInParallelo); },
         [&] { return Stores(first) == 1 && Stores(second) == 1; }},
        {"Escape in Stato lettori", [&] { KeyOnSurface(&Stato(), Qt::Key_Escape); },
         [&] { return Stato().isVisible(); }},
        {"Ctrl+Delete in the player grid",
         [&] { KeyOnSurface(&Window(), Qt::Key_Delete, Qt::ControlModifier); },
         [&] { return m_notices.questions.empty(); }},
        {"a click on Aggiungi lettore", [&] { ClickOnSurface(Window().JvBitBtn3); },
         [&] { return !Window().JvPanel2->isVisible(); }},
    };
    const AtPaint during(
        Stato(),
        [&] {
            const link::TForm1* link = Window().Commands().Link(0);
            return Window().Commands().LastCommand().running && link->Transfer().sent > 0;
        },
        [&] {
            for (const Input& input : inputs) {
                WhenTheLoopTurns(input.give);
            }
        });
    ClickOnSurface(Stato().CopiaInParallelo);
    ASSERT_TRUE(during.Acted());
    QCoreApplication::processEvents();

    for (const Input& input : inputs) {
        EXPECT_TRUE(input.leftAlone()) << input.what;
    }
    EXPECT_EQ(ColumnOf(Column::Outcome), (std::vector<std::string>{kProvenBySize, kProvenBySize}));
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
    EXPECT_TRUE(Stato().CopiaInParallelo->isEnabled());
}

TEST_F(StatoLettoriTest, annullaEndsAParallelCopyHeldByServersThatReadATrickle) {
    // Each server reads on and on, so no stall ends the uploads: at this pace the clip would
    // take minutes.
    constexpr long kTrickle = 32 * 1024;
    SimulatedPlayer first(PlayerHome("first"), true, kTrickle);
    SimulatedPlayer second(PlayerHome("second"), true, kTrickle);
    const std::string clip = InitializeOnClip({&first, &second});
    ASSERT_EQ(m_notices.errors, std::vector<std::string>{});
    EXPECT_FALSE(Stato().Annulla->isEnabled());
    // The second player already holds a clip under that name: a cancelled copy leaves it be.
    const std::string older(5000, 'v');
    std::ofstream(second.Home() / "clip.mp4", std::ios::binary) << older;

    using Clock = std::chrono::steady_clock;
    Clock::time_point cancelled;
    bool offered = false;
    const AtPaint during(
        Stato(),
        [&] {
            const GroupCommands& commands = Window().Commands();
            return commands.LastCommand().running && commands.Link(0)->Transfer().sent > 0 &&
                   commands.Link(1)->Transfer().sent > 0;
        },
        [&] {
            offered = Stato().Annulla->isEnabled() && !Stato().CopiaInParallelo->isEnabled();
            cancelled = Clock::now();
            WhenTheLoopTurns([&] { ClickOnSurface(Stato().Annulla); });
        });
    ClickOnSurface(Stato().CopiaInParallelo);
    const Clock::duration took = Clock::now() - cancelled;
    ASSERT_TRUE(during.Acted());
    EXPECT_TRUE(offered);
    // Ended by the cancel, not by the trickle.
    EXPECT_LT(took, std::chrono::seconds(20));

    EXPECT_EQ(ColumnOf(Column::Outcome),
              (std::vector<std::string>{"Copia annullata.", "Copia annullata."}));
    ASSERT_EQ(m_notices.errors.size(), 1u);
    EXPECT_EQ(m_notices.errors[0],
              "Copia in parallelo non riuscita in 2 lettori su 2.\r\nLettore 1 (127.0.0.1): "
              "Copia annullata.");
    EXPECT_EQ(Stato().Summary->text(), QString::fromStdString("Copia in parallelo (" + clip +
                                                              "): non riuscito in 2 lettori"));
    EXPECT_FALSE(std::filesystem::exists(first.Home() / "clip.mp4"));
    EXPECT_EQ(second.Stored("clip.mp4"), older);
    for (SimulatedPlayer* player : {&first, &second}) {
        EXPECT_FALSE(std::filesystem::exists(player->Home() / "clip.mp4.orvanta-part"))
            << player->Port();
        EXPECT_EQ(Stores(*player), 1u) << player->Port();
    }
    EXPECT_FALSE(Stato().Annulla->isEnabled());
    EXPECT_TRUE(Stato().CopiaInParallelo->isEnabled());
}

TEST(PlayerStatusTextTest, aCopysOutcomeSaysWhatProvedIt) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "eseguito"},
        {"size", "eseguito (verificato: dimensione)"},
        {"size, SHA-256", "eseguito (verificato: dimensione, SHA-256)"},
        {"size, CRC-32", "eseguito (verificato: dimensione, CRC-32)"},
    };
    for (const auto& [proof, shown] : cases) {
        EXPECT_EQ(
            PlayerStatusModel::OutcomeText({EntryOutcome::State::Done, {}, proof}).toStdString(),
            shown);
    }
}

}  // namespace
}  // namespace orvanta::registry::ui::test

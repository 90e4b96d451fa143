#include "registry/ui/TFormStatoLettori.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <iterator>
#include <memory>

#include "core/Dispatch.h"
#include "registry/ui/PlayerStatusModel.h"

namespace orvanta::registry::ui {

namespace {

using Clock = std::chrono::steady_clock;

// Draws the progress column as a bar, and a failure's line break as one.
class StatusDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QVariant percent = index.data(PlayerStatusModel::kPercentRole);
        if (!percent.isValid() || percent.toInt() < 0) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionProgressBar bar;
        bar.rect = option.rect.adjusted(2, 2, -2, -2);
        bar.minimum = 0;
        bar.maximum = 100;
        bar.progress = percent.toInt();
        bar.text = index.data().toString();
        bar.textVisible = true;
        bar.textAlignment = Qt::AlignCenter;
        bar.state = option.state | QStyle::State_Horizontal;
        bar.palette = option.palette;
        bar.fontMetrics = option.fontMetrics;
        const QWidget* widget = option.widget;
        (widget ? widget->style() : QApplication::style())
            ->drawControl(QStyle::CE_ProgressBar, &bar, painter, widget);
    }

    QString displayText(const QVariant& value, const QLocale& locale) const override {
        QString text = QStyledItemDelegate::displayText(value, locale);
        text.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator));
        return text;
    }
};

bool IsInput(const QEvent& event) {
    switch (event.type()) {
        case QEvent::Shortcut:
        case QEvent::InputMethod:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        default:
            // Keys, the pointer, wheels, touches, tablets and context menus.
            return event.isInputEvent();
    }
}

// While a parallel copy runs, the operator's input reaches its "Annulla" and nothing else: the
// rest is dropped, not kept to be run once the copy has ended, and no window closes.
class CopyInputGate : public QObject {
public:
    CopyInputGate(const QWidget& window, const QWidget& cancel)
        : m_window(window), m_cancel(cancel) {
        qApp->installEventFilter(this);
    }
    ~CopyInputGate() override { qApp->removeEventFilter(this); }
    CopyInputGate(const CopyInputGate&) = delete;
    CopyInputGate& operator=(const CopyInputGate&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close) {
            event->ignore();
            return true;
        }
        if (!IsInput(*event)) {
            return false;
        }
        // The window's surface hands its input on to the widget it is for, which comes here
        // again; another window's would first move the focus there.
        return watched != &m_cancel && watched != m_window.windowHandle();
    }

private:
    const QWidget& m_window;
    const QWidget& m_cancel;
};

}  // namespace

TFormStatoLettori::TFormStatoLettori(GroupCommands& commands, Notices& notices, QWidget* owner)
    : QWidget(owner, Qt::Window), m_commands(commands), m_notices(notices) {
    setObjectName("FormStatoLettori");
    setWindowTitle(QString::fromUtf8("Stato lettori"));
    // Opening it, or its updates, must leave the operator's focus where it is.
    setAttribute(Qt::WA_ShowWithoutActivating);
    resize(900, 420);

    auto* column = new QVBoxLayout(this);
    Summary = new QLabel(this);
    Summary->setObjectName("Summary");
    Summary->setTextFormat(Qt::PlainText);
    column->addWidget(Summary);

    m_model = new PlayerStatusModel(m_commands, this);
    Players = new QTableView(this);
    Players->setObjectName("Players");
    Players->setModel(m_model);
    Players->setItemDelegate(new StatusDelegate(Players));
    Players->setSelectionBehavior(QAbstractItemView::SelectRows);
    Players->setSelectionMode(QAbstractItemView::SingleSelection);
    Players->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Players->setWordWrap(false);
    Players->verticalHeader()->hide();
    Players->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    Players->horizontalHeader()->setStretchLastSection(true);
    const int widths[] = {32, 130, 74, 124, 110, 150, 60, 200, 260, 200, 250, 120};
    static_assert(std::size(widths) == PlayerStatusModel::ColumnCount);
    for (int i = 0; i < PlayerStatusModel::ColumnCount; ++i) {
        Players->setColumnWidth(i, widths[i]);
    }
    column->addWidget(Players, 3);

    LogTitle = new QLabel(this);
    LogTitle->setObjectName("LogTitle");
    LogTitle->setTextFormat(Qt::PlainText);
    column->addWidget(LogTitle);
    Log = new QPlainTextEdit(this);
    Log->setObjectName("Log");
    Log->setReadOnly(true);
    Log->setLineWrapMode(QPlainTextEdit::NoWrap);
    column->addWidget(Log, 2);

    Buttons = new QHBoxLayout;
    Continua = new QPushButton(QString::fromUtf8("Continua"), this);
    Continua->setObjectName("Continua");
    Continua->setToolTip(
        QString::fromUtf8("Ripete l'ultimo comando dal lettore che ha fallito fino all'ultimo"));
    Buttons->addWidget(Continua);
    Salta = new QPushButton(QString::fromUtf8("Salta"), this);
    Salta->setObjectName("Salta");
    Salta->setToolTip(QString::fromUtf8(
        "Ripete l'ultimo comando dal lettore dopo quello che ha fallito fino all'ultimo"));
    Buttons->addWidget(Salta);
    CopiaInParallelo = new QPushButton(QString::fromUtf8("Copia in parallelo"), this);
    CopiaInParallelo->setObjectName("CopiaInParallelo");
    CopiaInParallelo->setToolTip(
        QString::fromUtf8("Copia il file della riga corrente in tutti i lettori insieme"));
    Buttons->addWidget(CopiaInParallelo);
    Verifica = new QPushButton(QString::fromUtf8("Verifica lettori"), this);
    Verifica->setObjectName("Verifica");
    Verifica->setToolTip(QString::fromUtf8(
        "Prova le porte di ogni lettore attivo del gruppo, senza inizializzarlo"));
    Buttons->addWidget(Verifica);
    Annulla = new QPushButton(QString::fromUtf8("Annulla"), this);
    Annulla->setObjectName("Annulla");
    Annulla->setToolTip(QString::fromUtf8("Interrompe la copia in parallelo in corso"));
    Annulla->setEnabled(false);
    Buttons->addWidget(Annulla);
    Buttons->addStretch(1);
    column->addLayout(Buttons);

    RestoreLayout();
    connect(Continua, &QPushButton::clicked, this, [this] { ContinuaClick(); });
    connect(Salta, &QPushButton::clicked, this, [this] { SaltaClick(); });
    connect(CopiaInParallelo, &QPushButton::clicked, this, [this] { CopiaInParalleloClick(); });
    connect(Verifica, &QPushButton::clicked, this, [this] { VerificaClick(); });
    connect(Annulla, &QPushButton::clicked, this, [this] { AnnullaClick(); });
    connect(Players->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { RunGuarded(m_notices, [this] { RefreshLog(); }); });

    m_commands.SetWatcher({[this](std::size_t entry) { Changed(entry); },
                           [this](std::size_t entry) { TransferProgressed(entry); },
                           [this](std::size_t entry) { Polled(entry); },
                           [this] { CopyWaiting(); }});
    Refresh();
}

TFormStatoLettori::~TFormStatoLettori() {
    m_commands.SetWatcher({});
    if (m_placed) {
        SaveLayout();
    }
}

namespace {

// What the operator arranged is kept per user, only for a program that names itself (tests and
// tools leave the user's settings alone).
std::unique_ptr<QSettings> LayoutSettings() {
    if (QCoreApplication::organizationName().isEmpty()) {
        return nullptr;
    }
    return std::make_unique<QSettings>();
}

}  // namespace

void TFormStatoLettori::RestoreLayout() {
    const auto settings = LayoutSettings();
    if (settings) {
        settings->beginGroup(QStringLiteral("StatoLettori"));
        const QByteArray columns = settings->value(QStringLiteral("columns")).toByteArray();
        if (!columns.isEmpty()) {
            Players->horizontalHeader()->restoreState(columns);
        }
        m_restored = restoreGeometry(settings->value(QStringLiteral("geometry")).toByteArray());
        if (m_restored) {
            return;
        }
    }
    // Wide enough that no column is cut, where the screen allows.
    int wanted = 0;
    for (int i = 0; i < PlayerStatusModel::ColumnCount; ++i) {
        wanted += Players->columnWidth(i);
    }
    wanted += 2 * Players->frameWidth() + Players->verticalScrollBar()->sizeHint().width() + 24;
    wanted = std::max(width(), wanted);
    // Never wider than the screen it opens on: the table scrolls there instead.
    const QScreen* screen = QApplication::primaryScreen();
    if (screen) {
        wanted = std::min(wanted, screen->availableGeometry().width());
    }
    resize(wanted, height());
}

void TFormStatoLettori::SaveLayout() {
    const auto settings = LayoutSettings();
    if (!settings) {
        return;
    }
    settings->beginGroup(QStringLiteral("StatoLettori"));
    settings->setValue(QStringLiteral("geometry"), saveGeometry());
    settings->setValue(QStringLiteral("columns"), Players->horizontalHeader()->saveState());
}

void TFormStatoLettori::hideEvent(QHideEvent* event) {
    SaveLayout();
    QWidget::hideEvent(event);
}

void TFormStatoLettori::Toggle() {
    if (isVisible()) {
        hide();
        return;
    }
    ReadJournal();
    Refresh();
    show();
}

void TFormStatoLettori::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_placed) {
        m_placed = true;
        if (!m_restored) {
            PlaceBesideOwner();
        }
    }
}

void TFormStatoLettori::keyPressEvent(QKeyEvent* event) {
    // Escape closes it, and F2 here too, as in the main window.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_F2) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TFormStatoLettori::PlaceBesideOwner() {
    // Beside the main window when the screen has room, so neither hides the other.
    const QWidget* owner = parentWidget();
    const QScreen* screen = owner ? owner->screen() : QApplication::primaryScreen();
    if (!owner || !screen) {
        return;
    }
    const QRect frame = owner->frameGeometry();
    const QRect wanted(frame.right() + 8, frame.top(), width(), height());
    if (screen->availableGeometry().contains(wanted)) {
        move(wanted.topLeft());
    }
}

void TFormStatoLettori::ReadJournal() {
    try {
        m_model->SetHoldings(ReadPlayerHoldings(m_commands.JournalPath()));
    } catch (const std::exception&) {
        // An unreadable journal leaves the column empty: it never stands in a command's way.
        m_model->SetHoldings({});
    }
}

void TFormStatoLettori::Refresh() {
    m_needsLayout = m_model->Refresh() || m_needsLayout;
    const CommandRecord& record = m_commands.LastCommand();
    // The journal gains a record as each command ends.
    if (isVisible() && !record.running) {
        ReadJournal();
    }
    QString summary;
    if (record.command == GroupCommand::None) {
        summary = QString::fromUtf8("Nessun comando dall'avvio.");
    } else {
        summary = PlayerStatusModel::CommandText(record.command);
        if (!record.file.empty()) {
            summary += " (" + PeerText(record.file) + ")";
        }
        if (record.running) {
            summary += QString::fromUtf8(": in corso");
        } else if (record.stoppedAt) {
            summary += QString::fromUtf8(": fermato al lettore %1").arg(*record.stoppedAt + 1);
        } else if (const auto failed = std::count_if(
                       record.entries.begin(), record.entries.end(), [](const EntryOutcome& entry) {
                           return entry.state == EntryOutcome::State::Failed;
                       })) {
            summary += QString::fromUtf8(failed == 1 ? ": non riuscito in %1 lettore"
                                                     : ": non riuscito in %1 lettori")
                           .arg(failed);
        } else {
            summary += QString::fromUtf8(": eseguito");
        }
    }
    const ProbeRecord& probe = m_commands.LastProbe();
    if (!probe.group.empty() || !probe.players.empty()) {
        const auto answering = std::count_if(
            probe.players.begin(), probe.players.end(),
            [](const ProbedPlayer& player) { return player.control.Up() && player.ftp.Up(); });
        summary += QString::fromUtf8("\nVerifica lettori (%1): rispondono %2 lettori su %3")
                       .arg(PeerText(probe.group))
                       .arg(answering)
                       .arg(probe.players.size());
    }
    Summary->setText(summary);
    Continua->setEnabled(m_commands.CanContinue());
    Salta->setEnabled(m_commands.CanContinue());
    // Nothing to copy to before an initialize, and nothing starts while a command runs.
    CopiaInParallelo->setEnabled(m_commands.LinkCount() > 0 && !record.running);
    Annulla->setEnabled(record.command == GroupCommand::ParallelCopy && record.running);
    Verifica->setEnabled(!record.running);
    if (!Players->currentIndex().isValid() && m_model->rowCount() > 0) {
        Players->setCurrentIndex(m_model->index(0, 0));
    }
    RefreshLog();
}

void TFormStatoLettori::RefreshLog() {
    const QModelIndex current = Players->currentIndex();
    const std::size_t entry =
        current.isValid() ? static_cast<std::size_t>(current.row()) : static_cast<std::size_t>(-1);
    const link::TForm1* link = entry < m_commands.LinkCount() ? m_commands.Link(entry) : nullptr;
    if (!link) {
        LogTitle->setText(QString::fromUtf8("Messaggi"));
        Log->clear();
        m_logEntry = static_cast<std::size_t>(-1);
        m_logLines = 0;
        return;
    }
    const std::vector<std::string>& lines = link->memLines.Lines;
    const bool same =
        entry == m_logEntry && m_logLines <= lines.size() &&
        (m_logLines == 0 || (lines.front() == m_logFirst && lines[m_logLines - 1] == m_logLast));
    if (same && m_logLines == lines.size()) {
        return;
    }
    if (!same) {
        LogTitle->setText(QString::fromUtf8("Messaggi del lettore %1 (%2:%3)")
                              .arg(entry + 1)
                              .arg(PeerText(link->edServer.Text), PeerText(link->sePort.Text)));
        Log->clear();
        m_logLines = 0;
    }
    for (std::size_t i = m_logLines; i < lines.size(); ++i) {
        Log->appendPlainText(PeerText(lines[i]));
    }
    m_logEntry = entry;
    m_logLines = lines.size();
    m_logFirst = lines.empty() ? std::string() : lines.front();
    m_logLast = lines.empty() ? std::string() : lines.back();
    Log->verticalScrollBar()->setValue(Log->verticalScrollBar()->maximum());
}

void TFormStatoLettori::Changed(std::size_t) {
    if (!isVisible()) {
        return;
    }
    Refresh();
    RepaintNow();
}

void TFormStatoLettori::TransferProgressed(std::size_t entry) {
    if (!isVisible()) {
        return;
    }
    // Every entry's row is marked, whichever comes first in a round of a parallel copy's
    // progress; the repaint that draws them waits its interval.
    m_model->RefreshEntry(entry);
    const link::TForm1* link = m_commands.Link(entry);
    const bool ended = !link || link->Transfer().state != link::TransferProgress::State::Running;
    if (!ended && Clock::now() - m_lastRepaint < kUploadRepaintInterval) {
        return;
    }
    RepaintNow();
}

void TFormStatoLettori::Polled(std::size_t entry) {
    if (!isVisible()) {
        return;
    }
    // The event loop runs here: the row is drawn with the next paint.
    m_model->RefreshEntry(entry);
    const QModelIndex current = Players->currentIndex();
    if (current.isValid() && static_cast<std::size_t>(current.row()) == entry) {
        RefreshLog();
    }
}

void TFormStatoLettori::CopyWaiting() {
    // The window stays blocked but for its "Annulla". Timers wait, as during any command: a
    // link's poll could open an error box, and the box's loop would take every input. (The
    // flag holds for the Unix and GLib event dispatchers; the copy pauses the links' polls
    // itself, for the others.)
    const CopyInputGate gate(*this, *Annulla);
    QCoreApplication::processEvents(QEventLoop::X11ExcludeTimers);
}

void TFormStatoLettori::RepaintNow() {
    if (m_needsLayout) {
        m_needsLayout = false;
        Players->doItemsLayout();
    }
    // What a closing menu or another window uncovered is drawn again by nothing else while the
    // command holds the event loop, and a repaint of the window alone passes over its opaque
    // children (the lists' areas): every one of them is marked, so this one repaint draws and
    // shows them all.
    for (QWidget* child : findChildren<QWidget*>()) {
        child->update();
    }
    repaint();
    m_lastRepaint = Clock::now();
}

void TFormStatoLettori::ContinuaClick() {
    RunGuarded(m_notices, [this] { m_commands.Continua(); });
    Refresh();
}

void TFormStatoLettori::SaltaClick() {
    RunGuarded(m_notices, [this] { m_commands.Salta(); });
    Refresh();
}

void TFormStatoLettori::CopiaInParalleloClick() {
    RunGuarded(m_notices, [this] { m_commands.CopiaInParallelo(); });
    Refresh();
}

void TFormStatoLettori::VerificaClick() {
    RunGuarded(m_notices, [this] { m_commands.VerificaLettori(); });
    Refresh();
}

void TFormStatoLettori::AnnullaClick() {
    RunGuarded(m_notices, [this] { m_commands.CancelCopy(); });
}

}  // namespace orvanta::registry::ui

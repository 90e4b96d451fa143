// Registry text that is not UTF-8 (Windows-1252, as older registries hold it) through the
// window: shown readably, and back to the database byte for byte.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "registry/widgets/FilenameEdit.h"
#include "registry/widgets/IpAddressEdit.h"
#include "registry/widgets/PortSpinEdit.h"
#include "tests/registry_ui/ManagerWindowFixture.h"

namespace orvanta::registry::ui::test {
namespace {

const QColor kWhite(0xFF, 0xFF, 0xFF);
const std::string kCity1252 = "Citt\xE0";             // "Città" in Windows-1252
const std::string kCityUtf8 = "Citt\xC3\xA0";         // "Città" in UTF-8
const std::string kFile1252 = "/media/caff\xE8.mp4";  // "caffè"
const QString kCity = QStringLiteral(u"Citt\u00E0");
// On Linux UTF-8 shows as UTF-8; Windows shows every value in its ANSI code page, so there the
// UTF-8 bytes are two characters ("Ã" and a no-break space) and an edit goes back in the code
// page.
#ifdef _WIN32
const std::string kCityUtf8Shown = "Citt\xC3\x83\xC2\xA0";
#else
const std::string kCityUtf8Shown = kCityUtf8;
#endif

// Types text as the keyboard does, letters beyond ASCII included.
void TypeInto(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

class FaithfulTextTest : public ManagerWindowFixture {
protected:
#ifdef _WIN32
    void SetUp() override {
        if (::GetACP() != 1252) {
            GTEST_SKIP() << "the cases are Windows-1252's; the ANSI code page here is "
                         << ::GetACP();
        }
    }
#endif
    int ItemIndex(const std::string& bytes) const {
        const QByteArray wanted(bytes.data(), static_cast<qsizetype>(bytes.size()));
        for (int i = 0; i < Window().ListaPlurilist->count(); ++i) {
            if (Window().ListaPlurilist->itemData(i).toByteArray() == wanted) {
                return i;
            }
        }
        return -1;
    }
    // The entry chosen from the selector's list, as a click on it does.
    void ChooseItem(const std::string& bytes) {
        const int index = ItemIndex(bytes);
        ASSERT_GE(index, 0);
        Window().ListaPlurilist->setCurrentIndex(index);
    }
    void Type(const QString& text) {
        QLineEdit& edit = *Window().ListaPlurilist->lineEdit();
        edit.clear();
        TypeInto(&edit, text);
    }
    std::vector<std::string> StoredRow() const {
        std::vector<std::string> row;
        for (const char* column :
             {"manager_list_name", "player_ip", "player_port", "player_file_play"}) {
            row.push_back(
                Stored(std::string("select ") + column + " from manager order by id").front());
        }
        return row;
    }
    TFormMainManager& Window() const {
        return *m_window;
    }
};

TEST_F(FaithfulTextTest, aGroupChosenFromTheListSelectsExactlyItsStoredBytes) {
    AddPlayer(kCity1252, "10.0.0.1", 7001, true, kFile1252);
    AddPlayer("Atrio", "10.0.0.2", 7002, true, "/media/due.mp4");
    Open();
    EXPECT_EQ(Window().ListaPlurilist->itemText(ItemIndex(kCity1252)), kCity);
    m_trace.clear();
    ChooseItem(kCity1252);
    EXPECT_EQ(Texts(), GroupChange("'" + kCity1252 + "'"));
    EXPECT_EQ(Window().ListaPlurilist->currentText(), kCity);
    EXPECT_EQ(SelectorColour(), kWhite);
    EXPECT_EQ(GridColumn(), (std::vector<std::string>{"10.0.0.1"}));
    // The grid shows the values readably.
    EXPECT_EQ(GridColumn(3), (std::vector<std::string>{"Citt\xC3\xA0"}));
    EXPECT_EQ(GridColumn(6), (std::vector<std::string>{"/media/caff\xC3\xA8.mp4"}));

    // Typed, the group's name selects the listed group's bytes; in other letter case too.
    ChooseItem("Atrio");
    Type(kCity);
    EXPECT_EQ(SelectorColour(), kWhite);
    EXPECT_EQ(GridColumn(), (std::vector<std::string>{"10.0.0.1"}));
    Type(QStringLiteral(u"citt\u00E0"));
    EXPECT_EQ(SelectorColour(), kWhite);
    EXPECT_EQ(GridColumn(), (std::vector<std::string>{"10.0.0.1"}));
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
}

TEST_F(FaithfulTextTest, twoGroupsThatLookAlikeStayApart) {
    AddPlayer(kCity1252, "10.0.0.1", 7001, true, "/media/uno.mp4");
    AddPlayer(kCityUtf8, "10.0.0.2", 7002, true, "/media/due.mp4");
    Open();
    ASSERT_EQ(SelectorItems(), (std::vector<std::string>{kCityUtf8, kCityUtf8Shown}));
    ChooseItem(kCityUtf8);
    EXPECT_EQ(GridColumn(), (std::vector<std::string>{"10.0.0.2"}));
    ChooseItem(kCity1252);
    EXPECT_EQ(GridColumn(), (std::vector<std::string>{"10.0.0.1"}));
    // A sort and the reload after a save keep to the chosen one.
    ClickTitle(4);
    EXPECT_EQ(GridColumn(), (std::vector<std::string>{"10.0.0.1"}));
    QTest::mouseClick(Window().JvBitBtn6, Qt::LeftButton);  // "Attiva lettore": a reload
    EXPECT_EQ(GridColumn(), (std::vector<std::string>{"10.0.0.1"}));
    EXPECT_EQ(SelectorColour(), kWhite);
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
}

TEST_F(FaithfulTextTest, savingAnUntouchedPanelRewritesNothing) {
    AddPlayer(kCity1252, "010.000.000.001", 7001, true, kFile1252);
    Open();
    ChooseItem(kCity1252);
    const std::vector<std::string> before = StoredRow();
    DoubleClickRow(0);  // "Modifica lettore"
    EXPECT_EQ(Window().ListaPlurilist->currentText(), kCity);
    EXPECT_EQ(Window().JvFilenameEdit1->text(), QStringLiteral(u"/media/caff\u00E8.mp4"));
    m_trace.clear();
    QTest::mouseClick(Window().JvImgBtn1, Qt::LeftButton);  // "&Salva"
    // Nothing changed, nothing written; the reload finds the same group again.
    EXPECT_EQ(Texts(), Reload("'" + kCity1252 + "'"));
    EXPECT_EQ(StoredRow(), before);
    EXPECT_EQ(SelectorColour(), kWhite);
    EXPECT_EQ(GridColumn(), (std::vector<std::string>{"010.000.000.001"}));
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
}

TEST_F(FaithfulTextTest, anEditedFieldIsStoredInTheEncodingItWasShownIn) {
    AddPlayer(kCity1252, "10.0.0.1", 7001, true, kFile1252);
    AddPlayer("Atrio", "10.0.0.2", 7002, true, "/media/gi\xC3\xB9.mp4");  // "giù", UTF-8
    Open();
    ChooseItem(kCity1252);
    DoubleClickRow(0);
    QLineEdit& file = Window().JvFilenameEdit1->Edit();
    file.selectAll();
    TypeInto(&file, QStringLiteral(u"/media/perch\u00E9.mp4"));
    Window().JvImgBtn1->click();
    EXPECT_EQ(Stored("select player_file_play from manager where id=1"),
              (std::vector<std::string>{"/media/perch\xE9.mp4"}));
    // A group name typed over the chosen one goes the same way (a new group: typed first,
    // then "&Aggiungi lettore" and "&Salva").
    ChooseItem(kCity1252);
    QLineEdit& selector = *Window().ListaPlurilist->lineEdit();
    selector.end(false);
    TypeInto(&selector, QStringLiteral(u" \u00E8"));
    Window().JvBitBtn3->click();
    Window().JvImgBtn1->click();
    EXPECT_EQ(Stored("select manager_list_name from manager where id=3"),
              (std::vector<std::string>{"Citt\xE0 \xE8"}));
    EXPECT_EQ(SelectorColour(), kWhite);

    ChooseItem("Atrio");
    DoubleClickRow(0);
    file.end(false);
    TypeInto(&file, QStringLiteral(u"\u00E8"));
    Window().JvImgBtn1->click();
#ifdef _WIN32
    EXPECT_EQ(Stored("select player_file_play from manager where id=2"),
              (std::vector<std::string>{"/media/gi\xC3\xB9.mp4\xE8"}));
#else
    EXPECT_EQ(Stored("select player_file_play from manager where id=2"),
              (std::vector<std::string>{"/media/gi\xC3\xB9.mp4\xC3\xA8"}));
#endif
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
}

TEST_F(FaithfulTextTest, aPathChosenThroughTheDialogIsStoredAsTheFileSystemNamesIt) {
    AddPlayer(kCity1252, "10.0.0.1", 7001, true, kFile1252);
    Open();
    ChooseItem(kCity1252);
    DoubleClickRow(0);
    Window().JvFilenameEdit1->SetBrowser(
        [](QWidget*, const QString&, const QString&, const QString&) {
            return QStringLiteral(u"/srv/caff\u00E8/clip.mp4");
        });
    QTest::mouseClick(&Window().JvFilenameEdit1->BrowseButton(), Qt::LeftButton);
    Window().JvImgBtn1->click();
    // Linux names files in UTF-8; Windows' programs see them in the ANSI code page.
#ifdef _WIN32
    EXPECT_EQ(Stored("select player_file_play from manager"),
              (std::vector<std::string>{"/srv/caff\xE8/clip.mp4"}));
#else
    EXPECT_EQ(Stored("select player_file_play from manager"),
              (std::vector<std::string>{"/srv/caff\xC3\xA8/clip.mp4"}));
#endif
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
}

}  // namespace
}  // namespace orvanta::registry::ui::test

// What the operator types and sees in the manager window: group names found whatever their
// letter case, the selector's prompt, and the port box.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>

#include "registry/widgets/IpAddressEdit.h"
#include "registry/widgets/PortSpinEdit.h"
#include "tests/registry_ui/ManagerWindowFixture.h"

namespace orvanta::registry::ui::test {
namespace {

const QColor kWhite(0xFF, 0xFF, 0xFF);
const QColor kRed(0xFF, 0x00, 0x00);

class CaseBlindGroupTest : public ManagerWindowFixture {
protected:
    void AddGroup() {
        AddPlayer("Sala d'attesa", "10.0.0.1", 7001, true, "/media/a.mp4");
        AddPlayer("Sala d'attesa", "10.0.0.2", 7002, true, "/media/B.mp4");
        AddPlayer("Sala d'attesa", "10.0.0.3", 7003, true, "/media/c.mp4");
    }
    void Type(const char* text) {
        QLineEdit& edit = *Window().ListaPlurilist->lineEdit();
        edit.clear();
        QTest::keyClicks(&edit, QString::fromLatin1(text));
    }
};

TEST_F(CaseBlindGroupTest, aNameTypedInAnotherCaseFindsTheGroupWithTheSameStatements) {
    AddGroup();
    Open();
    Type("sala d'attesa");
    EXPECT_EQ(SelectorColour(), kWhite);
    EXPECT_EQ(GridColumn(), (std::vector<std::string>{"10.0.0.1", "10.0.0.2", "10.0.0.3"}));
    m_trace.clear();
    Type("SALA D'ATTESA");
    EXPECT_EQ(SelectorColour(), kWhite);
    ASSERT_GE(m_trace.size(), 3u);
    EXPECT_EQ((std::vector<std::string>{m_trace[m_trace.size() - 3].sql,
                                        m_trace[m_trace.size() - 2].sql, m_trace.back().sql}),
              GroupChange("'SALA D''ATTESA'"));
    EXPECT_EQ(Window().Store().SelectActivePlayers("sala d'attesa"), 3);
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
}

TEST_F(CaseBlindGroupTest, titleClicksSortWithoutRegardToCase) {
    AddGroup();
    Open();
    ChooseGroup("Sala d'attesa");
    ClickTitle(6);  // "File da riprodurre", descending first
    EXPECT_EQ(GridColumn(6),
              (std::vector<std::string>{"/media/c.mp4", "/media/B.mp4", "/media/a.mp4"}));
    ClickTitle(6);
    EXPECT_EQ(GridColumn(6),
              (std::vector<std::string>{"/media/a.mp4", "/media/B.mp4", "/media/c.mp4"}));
}

TEST_F(CaseBlindGroupTest, aRegistryMadeWithoutTheCollationKeepsItsExactComparison) {
    orvanta::test::ExecSql(m_file,
                           std::string("DROP TABLE manager;") + orvanta::test::kManagerSchema);
    AddGroup();
    Open();
    ChooseGroup("Sala d'attesa");
    EXPECT_EQ(SelectorColour(), kWhite);
    EXPECT_EQ(GridColumn().size(), 3u);
    ClickTitle(6);
    EXPECT_EQ(GridColumn(6),
              (std::vector<std::string>{"/media/c.mp4", "/media/a.mp4", "/media/B.mp4"}));
    Type("sala d'attesa");
    EXPECT_EQ(SelectorColour(), kRed);
    EXPECT_TRUE(GridColumn().empty());
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
}

class PromptAndPortTest : public ManagerWindowFixture {
protected:
    void SetUp() override { AddPlayer("Atrio", "10.0.0.1", 80, true, "/media/uno.mp4"); }
    // Shows the focus on a widget and waits until it is there.
    static void FocusOn(QWidget* widget) {
        widget->activateWindow();
        widget->setFocus(Qt::OtherFocusReason);
        ASSERT_TRUE(QTest::qWaitFor([&] {
            QWidget* focus = QApplication::focusWidget();
            return focus && (focus == widget || widget->isAncestorOf(focus) ||
                             focus->focusProxy() == widget);
        }));
    }
    QLineEdit& PortEdit() { return *Window().JvSpinEdit1->findChild<QLineEdit*>(); }
};

TEST_F(PromptAndPortTest, promptLeavesTheSelectorWhileItHasTheFocus) {
    Open();
    QLineEdit& edit = *Window().ListaPlurilist->lineEdit();
    // The window opens with the focus elsewhere: the prompt shows.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Window().playlistdb->hasFocus(); }));
    EXPECT_EQ(edit.placeholderText(), "Seleziona gruppo visione");
    FocusOn(Window().ListaPlurilist);
    EXPECT_EQ(edit.placeholderText(), "");
    FocusOn(Window().playlistdb);
    EXPECT_EQ(edit.placeholderText(), "Seleziona gruppo visione");
    // Clicked as the operator does.
    QTest::mouseClick(&edit, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Window().ListaPlurilist->hasFocus(); }));
    EXPECT_EQ(edit.placeholderText(), "");
}

TEST_F(PromptAndPortTest, aStoredPortOutsideTheRangeShowsAsStoredAndSavesUnchanged) {
    Open();
    ChooseGroup("Atrio");
    DoubleClickRow(0);
    EXPECT_EQ(Window().JvSpinEdit1->text(), "80");
    // The operator passes through the box without typing, then saves.
    FocusOn(Window().JvSpinEdit1);
    FocusOn(Window().JvIPAddress1);
    m_trace.clear();
    QTest::mouseClick(Window().JvImgBtn1, Qt::LeftButton);  // "&Salva"
    EXPECT_EQ(Texts(), Reload("'Atrio'"));                  // nothing changed, nothing written
    EXPECT_EQ(Stored("select player_port from manager"), (std::vector<std::string>{"80"}));
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
}

TEST_F(PromptAndPortTest, aPortTypedDigitByDigitIsStoredAsTyped) {
    Open();
    ChooseGroup("Atrio");
    DoubleClickRow(0);
    FocusOn(Window().JvSpinEdit1);
    PortEdit().selectAll();
    QTest::keyClicks(&PortEdit(), "18380");
    EXPECT_EQ(Window().JvSpinEdit1->text(), "18380");
    QTest::mouseClick(Window().JvImgBtn1, Qt::LeftButton);
    EXPECT_EQ(Stored("select player_port from manager"), (std::vector<std::string>{"18380"}));

    // A text still short of the range when "&Salva" is pressed without leaving the box (as
    // its shortcut does) is clamped first, as leaving the box would.
    DoubleClickRow(0);
    FocusOn(Window().JvSpinEdit1);
    PortEdit().selectAll();
    QTest::keyClicks(&PortEdit(), "9");
    Window().JvImgBtn1->click();
    EXPECT_EQ(Stored("select player_port from manager"), (std::vector<std::string>{"7000"}));
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
}

}  // namespace
}  // namespace orvanta::registry::ui::test

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QToolButton>

#include "registry/widgets/FilenameEdit.h"
#include "registry/widgets/IpAddressEdit.h"
#include "registry/widgets/PortSpinEdit.h"
#include "registry/widgets/SideBarMenu.h"
#include "tests/registry_ui/ManagerWindowFixture.h"

namespace orvanta::registry::ui::test {
namespace {

using db::DatasetState;
using db::Value;

const QColor kWhite(0xFF, 0xFF, 0xFF);
const QColor kRed(0xFF, 0x00, 0x00);
const std::string kClosed = "qfiles: Cannot perform this operation on a closed dataset.";
const std::string kEmpty = "qfiles: Cannot perform this operation on an empty dataset.";

Value Int(std::int64_t n) {
    return Value{n};
}
Value Str(const std::string& s) {
    return Value{s};
}

class ManagerWindowTest : public ManagerWindowFixture {
protected:
    // Two groups; "Sala d'attesa" holds an active and an inactive player.
    void SetUp() override {
        AddPlayer("Sala d'attesa", "10.0.0.1", 7001, true, "/media/uno.mp4");
        AddPlayer("Sala d'attesa", "10.0.0.2", 7002, false, "/media/due.mp4");
        AddPlayer("Atrio", "10.0.0.3", 7003, true, "/media/tre.mp4");
    }
};

TEST_F(ManagerWindowTest, showingLoadsTheGroupsSortedAndLeavesTheGridEmpty) {
    Open();
    EXPECT_EQ(Texts(), (std::vector<std::string>{GroupList()}));
    EXPECT_EQ(SelectorItems(), (std::vector<std::string>{"Atrio", "Sala d'attesa"}));
    EXPECT_EQ(Window().ListaPlurilist->currentText(), "");
    EXPECT_EQ(Window().ListaPlurilist->lineEdit()->placeholderText(), "Seleziona gruppo visione");
    EXPECT_FALSE(Window().Store().qfiles.Active());
    EXPECT_EQ(Window().playlistdb->model()->rowCount(), 0);
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
}

TEST_F(ManagerWindowTest, choosingAGroupSendsItsThreeStatementsAndPaintsTheSelector) {
    Open();
    m_trace.clear();
    ChooseGroup("Sala d'attesa");
    EXPECT_EQ(Texts(), GroupChange("'Sala d''attesa'"));
    EXPECT_EQ(GridColumn(), (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
    EXPECT_EQ(GridCurrentRow(), 0);
    EXPECT_EQ(SelectorColour(), kWhite);

    // Each typed key re-runs the group change: red until the text names a group.
    QLineEdit& edit = *Window().ListaPlurilist->lineEdit();
    edit.clear();
    m_trace.clear();
    QTest::keyClicks(&edit, "Nuova");
    EXPECT_EQ(m_trace.size(), 5u * 3u);
    EXPECT_EQ(Window().ListaPlurilist->currentText(), "Nuova");
    EXPECT_EQ(SelectorColour(), kRed);
    EXPECT_TRUE(GridColumn().empty());

    ChooseGroup("Atrio");
    EXPECT_EQ(SelectorColour(), kWhite);
    EXPECT_EQ(GridColumn(), (std::vector<std::string>{"10.0.0.3"}));
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
}

TEST_F(ManagerWindowTest, titleClicksSortDescendingAscendingDescending) {
    Open();
    ChooseGroup("Sala d'attesa");
    m_trace.clear();
    const std::string base =
        "select * from manager where manager_list_name='Sala d''attesa' order by ";
    ClickTitle(4);  // "IP Player"
    EXPECT_EQ(GridColumn(), (std::vector<std::string>{"10.0.0.2", "10.0.0.1"}));
    ClickTitle(4);
    EXPECT_EQ(GridColumn(), (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
    ClickTitle(3);  // "Lista": one direction for the whole window
    // The first column names no field: nothing to sort by, and the direction stays.
    ClickTitle(0);
    EXPECT_EQ(Texts(),
              (std::vector<std::string>{base + "player_ip DESC\n", base + "player_ip ASC\n",
                                        base + "manager_list_name DESC\n"}));
    EXPECT_EQ(Window().Store().SortDirection(), "DESC");
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
}

TEST_F(ManagerWindowTest, addingInANewGroupStoresThePlayerAndReloadsTheGroups) {
    Open();
    ChooseGroup("Atrio");
    ClickTitle(4);  // a sort that the reload will not keep
    // A new group: its name is typed first, which turns the selector red.
    QLineEdit& edit = *Window().ListaPlurilist->lineEdit();
    edit.clear();
    QTest::keyClicks(&edit, "Nuova");
    ASSERT_EQ(SelectorColour(), kRed);

    QTest::mouseClick(Window().JvBitBtn3, Qt::LeftButton);  // "&Aggiungi lettore"
    EXPECT_TRUE(Window().JvPanel2->isVisible());
    EXPECT_TRUE(Window().playlistdb->isEnabled());
    EXPECT_EQ(Window().Store().qfiles.State(), DatasetState::Insert);
    // The first add after start shows the boxes as the window was built.
    EXPECT_EQ(Window().JvIPAddress1->text(), "0.0.0.0");
    EXPECT_EQ(Window().JvSpinEdit1->text(), "7000");
    EXPECT_EQ(Window().JvFilenameEdit1->text(), "Seleziona un file da riprodurre");
    EXPECT_TRUE(Window().CheckBox1->isChecked());

    // A file from a folder with a blank: the box shows it quoted, save stores it bare.
    Window().JvFilenameEdit1->SetBrowser(
        [](QWidget*, const QString&, const QString&, const QString&) {
            return QString("/srv/media nuovi/clip uno.mp4");
        });
    QTest::mouseClick(&Window().JvFilenameEdit1->BrowseButton(), Qt::LeftButton);
    EXPECT_EQ(Window().JvFilenameEdit1->text(), "\"/srv/media nuovi/clip uno.mp4\"");
    Window().JvIPAddress1->setText("127.0.0.9");
    Window().JvSpinEdit1->SetText("7010");
    Window().CheckBox1->setChecked(false);
    m_trace.clear();
    QTest::mouseClick(Window().JvImgBtn1, Qt::LeftButton);  // "&Salva"

    ASSERT_GE(m_trace.size(), 1u);
    EXPECT_EQ(m_trace[0], (TracedStatement{"INSERT INTO manager (attivo, manager_list_name, "
                                           "player_ip, player_port, player_file_play) VALUES "
                                           "(?, ?, ?, ?, ?)",
                                           {Int(0), Str("Nuova"), Str("127.0.0.9"), Int(7010),
                                            Str("/srv/media nuovi/clip uno.mp4")}}));
    EXPECT_EQ(Texts(), Then({m_trace[0].sql, "SELECT @@IDENTITY AS id"}, Reload("'Nuova'")));
    EXPECT_EQ(SelectorItems(), (std::vector<std::string>{"Atrio", "Nuova", "Sala d'attesa"}));
    EXPECT_EQ(Window().ListaPlurilist->currentText(), "Nuova");
    EXPECT_EQ(SelectorColour(), kWhite);
    EXPECT_EQ(GridColumn(), (std::vector<std::string>{"127.0.0.9"}));
    EXPECT_EQ(GridColumn(6), (std::vector<std::string>{"/srv/media nuovi/clip uno.mp4"}));
    EXPECT_FALSE(Window().JvPanel2->isVisible());
    EXPECT_TRUE(Window().playlistdb->isEnabled());
    EXPECT_EQ(Stored("select attivo from manager where player_ip='127.0.0.9'"),
              (std::vector<std::string>{"0"}));
    // The reload ordered by group name; the stored direction is where the sort left it.
    EXPECT_EQ(Window().Store().SortDirection(), "DESC");
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
}

TEST_F(ManagerWindowTest, addingWhileTheSelectorShowsItsPromptStoresAnEmptyGroup) {
    Open();
    QLineEdit& edit = *Window().ListaPlurilist->lineEdit();
    QTest::keyClick(&edit, 'x');
    QTest::keyClick(&edit, Qt::Key_Backspace);  // back to the prompt: the empty name
    EXPECT_EQ(SelectorColour(), kRed);
    Window().JvBitBtn3->click();
    Window().JvIPAddress1->setText("127.0.0.7");
    m_trace.clear();
    Window().JvImgBtn1->click();
    ASSERT_GE(m_trace.size(), 1u);
    EXPECT_EQ(m_trace[0].values.at(1), Str(""));
    EXPECT_EQ(Texts(), Then({m_trace[0].sql, "SELECT @@IDENTITY AS id"}, Reload("''")));
    EXPECT_EQ(Stored("select manager_list_name from manager where player_ip='127.0.0.7'"),
              (std::vector<std::string>{""}));
    EXPECT_EQ(GridColumn(), (std::vector<std::string>{"127.0.0.7"}));
    EXPECT_EQ(SelectorColour(), kWhite);
}

TEST_F(ManagerWindowTest, editThenCloseWritesNothingAndEditThenSaveWritesWhatChanged) {
    Open();
    ChooseGroup("Sala d'attesa");
    m_trace.clear();
    DoubleClickRow(1);
    EXPECT_EQ(Window().Store().qfiles.State(), DatasetState::Edit);
    EXPECT_FALSE(Window().playlistdb->isEnabled());
    EXPECT_TRUE(Window().JvPanel2->isVisible());
    EXPECT_EQ(Window().JvIPAddress1->text(), "10.0.0.2");
    EXPECT_EQ(Window().JvSpinEdit1->text(), "7002");
    EXPECT_EQ(Window().JvFilenameEdit1->text(), "/media/due.mp4");
    EXPECT_FALSE(Window().CheckBox1->isChecked());

    Window().JvBitBtn1->click();  // "&Chiudi": the row stays pending, unchanged
    EXPECT_FALSE(Window().JvPanel2->isVisible());
    EXPECT_TRUE(Window().playlistdb->isEnabled());
    EXPECT_EQ(Window().Store().qfiles.State(), DatasetState::Edit);
    ClickRow(0);  // moving away drops it
    EXPECT_EQ(Window().Store().qfiles.State(), DatasetState::Browse);
    EXPECT_TRUE(m_trace.empty());

    // Editing a row sets the selector to the row's group without running the group change.
    ChooseGroup("Atrio");
    m_trace.clear();
    DoubleClickRow(0);
    EXPECT_EQ(Window().ListaPlurilist->currentText(), "Atrio");
    EXPECT_TRUE(m_trace.empty());
    Window().JvSpinEdit1->SetText("7033");
    Window().CheckBox1->setChecked(false);
    Window().JvImgBtn1->click();
    ASSERT_GE(m_trace.size(), 1u);
    EXPECT_EQ(m_trace[0], (TracedStatement{"UPDATE manager SET attivo = ?, player_port = ? "
                                           "WHERE id = ?",
                                           {Int(0), Int(7033), Int(3)}}));
    EXPECT_EQ(Texts(), Then({m_trace[0].sql}, Reload("'Atrio'")));
    EXPECT_FALSE(Window().JvPanel2->isVisible());
    EXPECT_TRUE(Window().playlistdb->isEnabled());
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
}

TEST_F(ManagerWindowTest, activateAndDeactivateSendOnlyTheFlagAndAlwaysReload) {
    Open();
    ChooseGroup("Sala d'attesa");
    ClickTitle(4);  // descending by address: the inactive player comes first
    ASSERT_EQ(GridColumn(), (std::vector<std::string>{"10.0.0.2", "10.0.0.1"}));
    m_trace.clear();
    QTest::mouseClick(Window().JvBitBtn6, Qt::LeftButton);  // "Attiva lettore"
    ASSERT_GE(m_trace.size(), 1u);
    EXPECT_EQ(m_trace[0],
              (TracedStatement{"UPDATE manager SET attivo = ? WHERE id = ?", {Int(1), Int(2)}}));
    EXPECT_EQ(Texts(), Then({m_trace[0].sql}, Reload("'Sala d''attesa'")));
    // The reload shows the group in group-name order again, from its first row.
    EXPECT_EQ(GridColumn(), (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
    EXPECT_EQ(GridCurrentRow(), 0);

    // The first row is already active: nothing to write, yet the reload runs.
    m_trace.clear();
    Window().JvBitBtn6->click();
    EXPECT_EQ(Texts(), Reload("'Sala d''attesa'"));

    m_trace.clear();
    QTest::mouseClick(Window().JvBitBtn7, Qt::LeftButton);  // "Disattiva lettore"
    ASSERT_GE(m_trace.size(), 1u);
    EXPECT_EQ(m_trace[0],
              (TracedStatement{"UPDATE manager SET attivo = ? WHERE id = ?", {Int(0), Int(1)}}));
    EXPECT_EQ(Texts(), Then({m_trace[0].sql}, Reload("'Sala d''attesa'")));
    EXPECT_EQ(Stored("select attivo from manager order by id"),
              (std::vector<std::string>{"0", "1", "1"}));
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
}

TEST_F(ManagerWindowTest, deletingNeitherAsksNorReloadsButCtrlDeleteAsks) {
    Open();
    ChooseGroup("Atrio");
    m_trace.clear();
    QTest::mouseClick(Window().JvBitBtn4, Qt::LeftButton);  // "Rimuovi lettore"
    EXPECT_EQ(m_trace,
              (std::vector<TracedStatement>{{"DELETE FROM manager WHERE id = ?", {Int(3)}}}));
    EXPECT_TRUE(m_notices.questions.empty());
    EXPECT_TRUE(GridColumn().empty());
    // The group's last player is gone, its name stays until the next reload.
    EXPECT_EQ(SelectorItems(), (std::vector<std::string>{"Atrio", "Sala d'attesa"}));

    ChooseGroup("Sala d'attesa");
    ClickRow(1);
    Window().playlistdb->setFocus();
    m_trace.clear();
    m_notices.answerYes = false;
    QTest::keyClick(Window().playlistdb, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(m_notices.questions, (std::vector<std::string>{"Delete record?"}));
    EXPECT_TRUE(m_trace.empty());
    m_notices.answerYes = true;
    QTest::keyClick(Window().playlistdb, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(m_notices.questions.size(), 2u);
    EXPECT_EQ(m_trace,
              (std::vector<TracedStatement>{{"DELETE FROM manager WHERE id = ?", {Int(2)}}}));
    EXPECT_EQ(GridColumn(), (std::vector<std::string>{"10.0.0.1"}));
    EXPECT_EQ(Stored("select id from manager order by id"), (std::vector<std::string>{"1"}));
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
}

TEST_F(ManagerWindowTest, rowCommandsBeforeAnyGroupFailOnTheClosedDataset) {
    Open();
    m_trace.clear();
    for (QToolButton* button : {Window().JvBitBtn4, Window().JvBitBtn6, Window().JvBitBtn7}) {
        m_notices.errors.clear();
        button->click();
        EXPECT_EQ(m_notices.errors, (std::vector<std::string>{kClosed}))
            << button->text().toStdString();
    }
    // Add has shown the panel before it fails; save then only hides it.
    m_notices.errors.clear();
    Window().JvBitBtn3->click();
    EXPECT_EQ(m_notices.errors, (std::vector<std::string>{kClosed}));
    EXPECT_TRUE(Window().JvPanel2->isVisible());
    Window().JvImgBtn1->click();
    EXPECT_FALSE(Window().JvPanel2->isVisible());

    // An edit that cannot start shows no panel and leaves the grid usable.
    m_notices.errors.clear();
    QTest::mouseClick(Window().JvBitBtn5, Qt::LeftButton);  // "Modifica lettore"
    EXPECT_EQ(m_notices.errors, (std::vector<std::string>{kClosed}));
    EXPECT_FALSE(Window().JvPanel2->isVisible());
    EXPECT_TRUE(Window().playlistdb->isEnabled());
    EXPECT_TRUE(m_trace.empty());
}

TEST_F(ManagerWindowTest, anEmptyResultRefusesDeleteAndEditsANewRow) {
    Open();
    ChooseGroup("Nessuno");
    Window().JvBitBtn4->click();
    EXPECT_EQ(m_notices.errors, (std::vector<std::string>{kEmpty}));
    m_trace.clear();
    Window().JvBitBtn5->click();
    EXPECT_EQ(m_notices.errors.size(), 1u);
    EXPECT_EQ(Window().Store().qfiles.State(), DatasetState::Insert);
    EXPECT_TRUE(Window().JvPanel2->isVisible());
    EXPECT_EQ(Window().JvFilenameEdit1->text(), "");
    EXPECT_FALSE(Window().CheckBox1->isChecked());
    // The new row's group is empty: the selector shows its prompt again, quietly.
    EXPECT_EQ(Window().ListaPlurilist->currentText(), "");
    EXPECT_TRUE(m_trace.empty());
}

TEST_F(ManagerWindowTest, missingRegistryFileShowsTheDriverErrorAndKeepsTheGroupNames) {
    Open();
    ChooseGroup("Atrio");
#ifdef _WIN32
    GTEST_SKIP() << "Windows removes no file a program holds open, so the registry cannot go "
                    "while the manager is connected to it";
#endif
    std::filesystem::remove(m_file);
    QTest::mouseClick(Window().JvBitBtn2, Qt::LeftButton);  // "Aggiorna gruppi"
    EXPECT_EQ(m_notices.errors, (std::vector<std::string>{"[AnyDAC][Phys][ODBC]database file '" +
                                                          m_file.string() + "' does not exist."}));
    EXPECT_EQ(SelectorItems(), (std::vector<std::string>{"Atrio", "Sala d'attesa"}));
    EXPECT_EQ(Window().ListaPlurilist->currentText(), "Atrio");
    EXPECT_FALSE(Window().Store().conn.Connected());
    EXPECT_TRUE(GridColumn().empty());
    EXPECT_FALSE(std::filesystem::exists(m_file));
}

TEST_F(ManagerWindowTest, missingRegistryFileAtStartShowsTheErrorAndNoGroups) {
    std::filesystem::remove(m_file);
    Open();
    EXPECT_EQ(m_notices.errors, (std::vector<std::string>{"[AnyDAC][Phys][ODBC]database file '" +
                                                          m_file.string() + "' does not exist."}));
    EXPECT_TRUE(SelectorItems().empty());
    EXPECT_TRUE(Window().isVisible());
}

TEST_F(ManagerWindowTest, rightClickMakesTheRowCurrentAndOpensTheMenu) {
    Open();
    ChooseGroup("Sala d'attesa");
    ASSERT_EQ(GridCurrentRow(), 0);
    // What the right button's release brings the grid; the menu makes the row current itself.
    QWidget* viewport = Window().playlistdb->viewport();
    QContextMenuEvent click(QContextMenuEvent::Mouse, RowCentre(1),
                            viewport->mapToGlobal(RowCentre(1)));
    QApplication::sendEvent(viewport, &click);
    EXPECT_EQ(GridCurrentRow(), 1);
    EXPECT_EQ(Window().Store().qfiles.CurrentRow(), 1u);
    EXPECT_EQ(Window().CurrentFilePlay(), "/media/due.mp4");
    EXPECT_TRUE(Window().popup3->isVisible());
    Window().popup3->hide();
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
}

TEST_F(ManagerWindowTest, menuOffersTheGroupCommandsInOrder) {
    Open();
    std::vector<std::string> shown;
    for (QAction* action : Window().popup3->actions()) {
        if (action->isVisible()) {
            shown.push_back(action->isSeparator() ? "-" : action->text().toStdString());
        }
    }
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "1 - &Inizializza lettori", "2 - Copia &files nei lettori",
                         "3 - &Carica files nei lettori", "-", "&Play", "&Pausa", "&Stop"}));
    EXPECT_EQ(Window().JvBitBtn8->menu(), Window().popup3);
}

}  // namespace
}  // namespace orvanta::registry::ui::test

namespace orvanta::registry::ui::test {
namespace {

class SelectorTest : public ManagerWindowFixture {};

TEST_F(SelectorTest, typedPrefixOfAGroupStaysAsTypedAndSavesANewGroup) {
    AddPlayer("Sala", "10.0.0.1", 7001, true, "/media/uno.mp4");
    Open();
    QLineEdit& edit = *Window().ListaPlurilist->lineEdit();
    QTest::keyClicks(&edit, "Sal");
    EXPECT_EQ(Window().ListaPlurilist->currentText(), "Sal");
    EXPECT_EQ(SelectorColour(), kRed);

    Window().JvBitBtn3->click();  // "&Aggiungi lettore"
    Window().JvImgBtn1->click();  // "&Salva"
    EXPECT_EQ(Stored("select manager_list_name from manager order by id"),
              (std::vector<std::string>{"Sala", "Sal"}));
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
}

TEST_F(SelectorTest, groupListIsAlphabeticalWithoutRegardToCase) {
    for (const char* group : {"Zeta", "beta", "Sala", "Alpha"}) {
        AddPlayer(group, "10.0.0.1", 7001, true, "/media/uno.mp4");
    }
    Open();
    EXPECT_EQ(SelectorItems(), (std::vector<std::string>{"Alpha", "beta", "Sala", "Zeta"}));
}

TEST_F(SelectorTest, menuHintsNeverReachTheStatusBar) {
    AddPlayer("Sala", "10.0.0.1", 7001, true, "/media/uno.mp4");
    Open();
    Window().Preparalettori1->hover();
    Window().Preparalettori1->showStatusText(Window().popup3);
    EXPECT_EQ(Window().statusBar()->currentMessage(), "");
    EXPECT_EQ(Window().Preparalettori1->property("Hint").toString(),
              "Si connette ai lettori  e li prepara alla riproduzione");
}

TEST_F(SelectorTest, untouchedNewRowIsDroppedWhenTheGridLosesTheFocus) {
    AddPlayer("Sala", "10.0.0.1", 7001, true, "/media/uno.mp4");
    Open();
    ChooseGroup("Sala");
    Window().activateWindow();
    Window().playlistdb->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Window().playlistdb->hasFocus(); }));
    Window().Store().NewPlayer();
    ASSERT_EQ(Window().Store().qfiles.State(), db::DatasetState::Insert);

    Window().ListaPlurilist->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Window().playlistdb->hasFocus(); }));
    EXPECT_EQ(Window().Store().qfiles.State(), db::DatasetState::Browse);
    EXPECT_EQ(GridColumn(), (std::vector<std::string>{"10.0.0.1"}));

    // Added through the button, the row survives the focus going to the panel.
    Window().playlistdb->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Window().playlistdb->hasFocus(); }));
    QTest::mouseClick(Window().JvBitBtn3, Qt::LeftButton);
    Window().JvIPAddress1->setFocus();
    // The focus has really left the grid for the panel's box before the row is looked at.
    ASSERT_TRUE(QTest::qWaitFor([&] {
        QWidget* focus = QApplication::focusWidget();
        return focus &&
               (focus == Window().JvIPAddress1 || Window().JvIPAddress1->isAncestorOf(focus));
    }));
    EXPECT_EQ(Window().Store().qfiles.State(), db::DatasetState::Insert);
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
}

}  // namespace
}  // namespace orvanta::registry::ui::test

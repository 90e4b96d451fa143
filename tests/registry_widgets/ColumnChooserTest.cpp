#include <gtest/gtest.h>

#include "QtPrinters.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTest>

#include "GridModel.h"
#include "TestNotices.h"
#include "registry/widgets/ColumnChooser.h"
#include "registry/widgets/PlayerGrid.h"

namespace orvanta::registry::widgets {
namespace {

class ColumnChooserTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_model = test::MakePlayerModel(3);
        m_grid.setModel(m_model.get());
    }
    static QStringList Labels(const ColumnChooser& chooser) {
        QStringList labels;
        for (int i = 0; i < chooser.Entries().count(); ++i) {
            labels << chooser.Entries().item(i)->text();
        }
        return labels;
    }
    static void Tick(ColumnChooser& chooser, int entry, bool ticked) {
        chooser.Entries().item(entry)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    }

    test::RecordingNotices m_notices;
    std::unique_ptr<QStandardItemModel> m_model;
    QTableView m_grid;
};

TEST_F(ColumnChooserTest, listsTheFieldColumnsInFieldOrderWithTheirTitles) {
    m_grid.setColumnHidden(5, true);
    ColumnChooser chooser(m_grid, m_notices);
    EXPECT_EQ(chooser.windowTitle(), QStringLiteral("Visualizza colonne"));
    // The query's fields start with id, then attivo; the first column has no field.
    EXPECT_EQ(Labels(chooser), (QStringList{"id", "Attivo", "Lista", "IP Player", "Porta Player",
                                            "File da riprodurre"}));
    const std::vector<int> columns = {2, 1, 3, 4, 5, 6};
    for (int entry = 0; entry < 6; ++entry) {
        EXPECT_EQ(chooser.ColumnOf(entry), columns[entry]);
        EXPECT_EQ(chooser.Entries().item(entry)->checkState() == Qt::Checked, columns[entry] != 5);
    }
    EXPECT_EQ(chooser.OkButton().text(), QStringLiteral("&OK"));
    EXPECT_TRUE(chooser.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(chooser.windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_FALSE(chooser.windowFlags().testFlag(Qt::WindowCloseButtonHint));
}

TEST_F(ColumnChooserTest, realNamesBoxAppearsOnlyWhenATitleDiffersAndRelabelsThoseEntries) {
    ColumnChooser chooser(m_grid, m_notices);
    EXPECT_FALSE(chooser.RealNames().isHidden());
    EXPECT_EQ(chooser.RealNames().text(), QStringLiteral("[Usa nomi reali dei campi]"));
    chooser.RealNames().setChecked(true);
    // "Attivo" and "id" equal their fields but for case: they keep their labels.
    EXPECT_EQ(Labels(chooser),
              (QStringList{"id", "Attivo", "Lista [manager_list_name]", "IP Player [player_ip]",
                           "Porta Player [player_port]", "File da riprodurre [player_file_play]"}));
    chooser.RealNames().setChecked(false);
    EXPECT_EQ(Labels(chooser).at(2), QStringLiteral("Lista"));

    for (int column = 3; column < 7; ++column) {
        m_model->setHeaderData(
            column, Qt::Horizontal,
            m_model->headerData(column, Qt::Horizontal, kFieldNameRole).toString().toUpper());
    }
    ColumnChooser sameNames(m_grid, m_notices);
    EXPECT_TRUE(sameNames.RealNames().isHidden());
}

TEST_F(ColumnChooserTest, lastTickedEntryCannotBeUnticked) {
    ColumnChooser chooser(m_grid, m_notices);
    for (int entry = 0; entry < 5; ++entry) {
        Tick(chooser, entry, false);
    }
    EXPECT_TRUE(m_notices.warnings.empty());
    Tick(chooser, 5, false);
    EXPECT_EQ(m_notices.warnings,
              (std::vector<std::string>{"Almeno una colonna deve essere visibile!"}));
    EXPECT_EQ(chooser.Entries().item(5)->checkState(), Qt::Checked);

    // Unticking through the keyboard takes the same road.
    chooser.Entries().setCurrentRow(5);
    chooser.show();
    chooser.Entries().setFocus();
    QTest::keyClick(&chooser.Entries(), Qt::Key_Space);
    EXPECT_EQ(m_notices.warnings.size(), 2u);
    EXPECT_EQ(chooser.Entries().item(5)->checkState(), Qt::Checked);
}

TEST_F(ColumnChooserTest, okOrEnterAppliesTheTicksAndEscapeDoesNot) {
    {
        ColumnChooser chooser(m_grid, m_notices);
        chooser.show();
        Tick(chooser, 0, false);  // id
        QTest::keyClick(&chooser, Qt::Key_Escape);
        EXPECT_EQ(chooser.result(), QDialog::Rejected);
        EXPECT_FALSE(m_grid.isColumnHidden(2));
    }
    {
        ColumnChooser chooser(m_grid, m_notices);
        chooser.show();
        Tick(chooser, 0, false);  // id
        Tick(chooser, 4, false);  // Porta Player
        chooser.Entries().setFocus();
        QTest::keyClick(&chooser.Entries(), Qt::Key_Return);
        EXPECT_EQ(chooser.result(), QDialog::Accepted);
        EXPECT_TRUE(m_grid.isColumnHidden(2));
        EXPECT_TRUE(m_grid.isColumnHidden(5));
        EXPECT_FALSE(m_grid.isColumnHidden(0));  // not listed, never touched
        EXPECT_FALSE(m_grid.isColumnHidden(1));
    }
    {
        ColumnChooser chooser(m_grid, m_notices);
        chooser.show();
        EXPECT_EQ(chooser.Entries().item(0)->checkState(), Qt::Unchecked);
        Tick(chooser, 0, true);
        QTest::mouseClick(&chooser.OkButton(), Qt::LeftButton);
        EXPECT_EQ(chooser.result(), QDialog::Accepted);
        EXPECT_FALSE(m_grid.isColumnHidden(2));
        EXPECT_TRUE(m_grid.isColumnHidden(5));
    }
}

TEST_F(ColumnChooserTest, growsToShowEveryEntryUnlessTheyNeedFourHundredPixels) {
    ColumnChooser chooser(m_grid, m_notices);
    chooser.Prepare(QPoint(10, 10));
    EXPECT_GE(chooser.width(), ColumnChooser::kMinimumWidth);
    EXPECT_GE(chooser.height(), ColumnChooser::kMinimumHeight);
    chooser.show();
    QCoreApplication::processEvents();
    const QListWidget& list = chooser.Entries();
    // All six entries are in view, and the last one step less would not show them all.
    EXPECT_TRUE(list.viewport()->rect().contains(list.visualItemRect(list.item(5))));
    const int entry = list.sizeHintForRow(0);
    EXPECT_LT(list.viewport()->height() - entry, 6 * entry);

    QStandardItemModel wide(1, 41);
    for (int column = 1; column < 41; ++column) {
        wide.setHeaderData(column, Qt::Horizontal, QStringLiteral("field%1").arg(column),
                           kFieldNameRole);
    }
    QTableView wideGrid;
    wideGrid.setModel(&wide);
    ColumnChooser tall(wideGrid, m_notices);
    tall.Prepare(QPoint(10, 10));
    EXPECT_EQ(tall.Entries().count(), 40);
    EXPECT_EQ(tall.height(), ColumnChooser::kTallestList);
}

TEST_F(ColumnChooserTest, staysInsideTheWorkArea) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    ColumnChooser chooser(m_grid, m_notices);
    chooser.Prepare(area.bottomRight() - QPoint(20, 20));
    const QRect placed(chooser.pos(), chooser.size());
    EXPECT_TRUE(area.contains(placed)) << placed.x() << "," << placed.y();
    EXPECT_EQ(placed.right(), area.right());
    EXPECT_EQ(placed.bottom(), area.bottom());

    ColumnChooser left(m_grid, m_notices);
    left.Prepare(area.topLeft() - QPoint(50, 50));
    EXPECT_EQ(left.pos(), area.topLeft());

    ColumnChooser free(m_grid, m_notices);
    free.Prepare(area.topLeft() + QPoint(30, 40));
    EXPECT_EQ(free.pos(), area.topLeft() + QPoint(30, 40));
}

TEST(ColumnChooserOnGridTest, hidingAColumnLetsTheOthersFillTheGrid) {
    test::RecordingNotices notices;
    auto model = test::MakePlayerModel(3);
    PlayerGrid grid(notices);
    grid.setModel(model.get());
    grid.SetDesignWidths({33, 81, 33, 121, 121, 121, 357});
    grid.resize(600, 150);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    grid.SetChooserRunner([](ColumnChooser& chooser) {
        chooser.Entries().item(5)->setCheckState(Qt::Unchecked);  // "File da riprodurre"
        chooser.accept();
        return chooser.result();
    });
    const int lista = grid.columnWidth(3);
    grid.OpenColumnChooser();
    EXPECT_TRUE(grid.isColumnHidden(6));
    int sum = 0;
    for (int column = 0; column < 6; ++column) {
        sum += grid.columnWidth(column);
    }
    EXPECT_EQ(sum, grid.viewport()->width());
    EXPECT_GT(grid.columnWidth(3), lista);
}

}  // namespace
}  // namespace orvanta::registry::widgets

#include <gtest/gtest.h>

#include "QtPrinters.h"

#include <numeric>
#include <vector>

#include <QAbstractTableModel>
#include <QApplication>
#include <QEnterEvent>
#include <QListWidget>
#include <QScreen>
#include <QScrollBar>
#include <QTest>

#include "GridModel.h"
#include "Pixels.h"
#include "TestNotices.h"
#include "registry/widgets/ColumnChooser.h"
#include "registry/widgets/PlayerGrid.h"
#include "registry/widgets/PlayerGridHeader.h"
#include "tests/support/Wait.h"

namespace orvanta::registry::widgets {
namespace {

using test::BoundingBox;
using test::Is;
using test::IsNot;
using test::PixelAt;

const std::vector<int> kDesignWidths = {33, 81, 33, 121, 121, 121, 357};

class PlayerGridTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_model = test::MakePlayerModel(20);
        m_grid.setModel(m_model.get());
        m_grid.SetDesignWidths(kDesignWidths);
        m_grid.setGeometry(40, 40, 600, 160);
        m_grid.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_grid));
        // Shown alone, the grid takes the focus; the tests that want it give it back.
        m_grid.clearFocus();
        ASSERT_FALSE(m_grid.hasFocus());
    }

    // Where a cell's centre lands in a picture of the whole grid.
    QPoint CellCentre(int row, int column) const {
        return m_grid.viewport()->mapTo(&m_grid,
                                        m_grid.visualRect(m_model->index(row, column)).center());
    }
    QRect CellRect(int row, int column) const {
        const QRect cell = m_grid.visualRect(m_model->index(row, column));
        return cell.translated(m_grid.viewport()->mapTo(&m_grid, QPoint(0, 0)));
    }
    // What the grid shows on screen, from its window's backing store (not a fresh render).
    QImage OnScreen() const {
        QCoreApplication::processEvents();
        return m_grid.screen()->grabWindow(m_grid.winId()).toImage();
    }
    int SumOfVisibleColumns() const {
        int sum = 0;
        for (int column = 0; column < m_grid.model()->columnCount(); ++column) {
            if (!m_grid.isColumnHidden(column)) {
                sum += m_grid.columnWidth(column);
            }
        }
        return sum;
    }

    test::RecordingNotices m_notices;
    std::unique_ptr<QStandardItemModel> m_model;
    PlayerGrid m_grid{m_notices};
};

TEST_F(PlayerGridTest, rowsAndTitlesHaveTheDesignHeightsPlusTheirGridLine) {
    EXPECT_EQ(m_grid.rowHeight(0), PlayerGrid::kRowHeight + 1);
    EXPECT_EQ(m_grid.horizontalHeader()->height(), PlayerGrid::kTitleHeight + 1);
    EXPECT_EQ(m_grid.verticalHeader()->width(), 11 + 1);
}

TEST_F(PlayerGridTest, everySecondRowOnScreenIsGreyAndScrollingSwapsTheColours) {
    // Column 0 is bound to no field, so its cells show only their background.
    QImage shown = OnScreen();
    for (int row = 0; row < 4; ++row) {
        const QColor expected = row % 2 == 1 ? QColor(0xE0, 0xE0, 0xE0) : QColor(Qt::white);
        EXPECT_EQ(PixelAt(shown, CellCentre(row, 0)), expected) << "row " << row;
    }
    // Scrolled by one row, the player that was grey is now first on screen and white.
    m_grid.verticalScrollBar()->setValue(1);
    shown = OnScreen();
    EXPECT_EQ(m_grid.ScreenPosition(1), 0);
    EXPECT_EQ(PixelAt(shown, CellCentre(1, 0)), QColor(Qt::white));
    EXPECT_EQ(PixelAt(shown, CellCentre(2, 0)), QColor(0xE0, 0xE0, 0xE0));
    EXPECT_EQ(PixelAt(shown, CellCentre(3, 0)), QColor(Qt::white));
}

TEST_F(PlayerGridTest, currentRowTakesTheHighlightOnlyWhileFocused) {
    m_grid.setCurrentIndex(m_model->index(2, 3));
    m_grid.activateWindow();
    m_grid.setFocus();
    ASSERT_TRUE(test::WaitUntil([&] {
        QCoreApplication::processEvents();
        return m_grid.hasFocus();
    }));
    const QColor highlight = m_grid.palette().color(QPalette::Active, QPalette::Highlight);
    QImage shown = OnScreen();
    EXPECT_EQ(PixelAt(shown, CellCentre(2, 0)), highlight);
    EXPECT_EQ(PixelAt(shown, CellCentre(1, 0)), QColor(0xE0, 0xE0, 0xE0));

    m_grid.setCurrentIndex(m_model->index(3, 3));
    shown = OnScreen();
    EXPECT_EQ(PixelAt(shown, CellCentre(2, 0)), QColor(Qt::white));
    EXPECT_EQ(PixelAt(shown, CellCentre(3, 0)), highlight);

    m_grid.clearFocus();
    shown = OnScreen();
    EXPECT_EQ(PixelAt(shown, CellCentre(3, 0)), QColor(0xE0, 0xE0, 0xE0));
}

TEST_F(PlayerGridTest, frameIsGreyAndWhiteAndTurnsDarkBlueUnderThePointerOrWithFocus) {
    const QColor blue(0, 56, 115);
    const auto frameColours = [&] {
        const QImage shown = OnScreen();
        const int w = shown.width();
        const int h = shown.height();
        return std::vector<QColor>{PixelAt(shown, {0, h / 2}),     PixelAt(shown, {1, h / 2}),
                                   PixelAt(shown, {w - 1, h / 2}), PixelAt(shown, {w / 2, 1}),
                                   PixelAt(shown, {w / 2, h - 1}), PixelAt(shown, {w / 2, h - 2})};
    };
    const std::vector<QColor> idle = {QColor(0x808080), Qt::white,        QColor(0x808080),
                                      Qt::white,        QColor(0x808080), Qt::white};
    EXPECT_EQ(frameColours(), idle);

    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(45, 45));
    QCoreApplication::sendEvent(&m_grid, &enter);
    EXPECT_EQ(frameColours(), std::vector<QColor>(6, blue));

    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&m_grid, &leave);
    EXPECT_EQ(frameColours(), idle);

    m_grid.activateWindow();
    m_grid.setFocus();
    ASSERT_TRUE(test::WaitUntil([&] {
        QCoreApplication::processEvents();
        return m_grid.hasFocus();
    }));
    EXPECT_EQ(frameColours(), std::vector<QColor>(6, blue));
}

TEST_F(PlayerGridTest, flagCellsShowACentredCheckBoxTickedOrEmpty) {
    const QImage shown = m_grid.grab().toImage();
    const QRect ticked = CellRect(0, 1);    // row 0: true, on white
    const QRect unticked = CellRect(1, 1);  // row 1: false, on grey
    const QRect tickedBox = BoundingBox(shown, ticked, IsNot(Qt::white));
    const QRect emptyBox = BoundingBox(shown, unticked, IsNot(QColor(0xE0, 0xE0, 0xE0)));
    ASSERT_FALSE(tickedBox.isEmpty());
    ASSERT_FALSE(emptyBox.isEmpty());
    for (const auto& [cell, box] : {std::pair{ticked, tickedBox}, std::pair{unticked, emptyBox}}) {
        EXPECT_LE(std::abs(box.center().x() - cell.center().x()), 1);
        EXPECT_LE(std::abs(box.center().y() - cell.center().y()), 1);
        EXPECT_LT(box.width(), cell.width() / 2);  // a small picture, not text
    }
    // The tick: dark pixels inside the ticked box's border, none inside the empty one's.
    const auto dark = [](QColor c) { return c.lightness() < 128; };
    EXPECT_FALSE(BoundingBox(shown, tickedBox.adjusted(2, 2, -2, -2), dark).isEmpty());
    EXPECT_TRUE(BoundingBox(shown, emptyBox.adjusted(2, 2, -2, -2), dark).isEmpty());
    if (const char* keep = getenv("KEEP_PICTURES")) {
        shown.save(QString::fromLocal8Bit(keep) + QStringLiteral("/grid.png"));
    }
}

TEST_F(PlayerGridTest, visibleColumnsFillTheWidthAtEverySize) {
    EXPECT_EQ(SumOfVisibleColumns(), m_grid.viewport()->width());
    // Wider: design proportions are kept (within rounding).
    m_grid.resize(900, 160);
    QCoreApplication::processEvents();
    EXPECT_EQ(SumOfVisibleColumns(), m_grid.viewport()->width());
    const double factor = double(m_grid.viewport()->width() - 7) /
                          std::accumulate(kDesignWidths.begin(), kDesignWidths.end(), 0);
    for (int column = 0; column < 6; ++column) {
        EXPECT_NEAR(m_grid.ColumnContentWidth(column), kDesignWidths[column] * factor, 1.5)
            << column;
    }
    // Narrower, and with a column hidden: the rest close the gap.
    m_grid.resize(450, 160);
    m_grid.setColumnHidden(6, true);
    QCoreApplication::processEvents();
    EXPECT_EQ(SumOfVisibleColumns(), m_grid.viewport()->width());
    // A user's width change is scaled back to fill the grid.
    m_grid.setColumnWidth(3, 200);
    QCoreApplication::processEvents();
    EXPECT_EQ(SumOfVisibleColumns(), m_grid.viewport()->width());
    EXPECT_FALSE(m_grid.horizontalScrollBar()->isVisible());
}

// A query model that can be closed (no columns) and reopened, as a re-query does.
class ReopenedModel : public QAbstractTableModel {
public:
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : m_rows;
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : m_columns;
    }
    QVariant data(const QModelIndex&, int) const override { return {}; }
    void Reopen(int rows, int columns) {
        beginResetModel();
        m_rows = rows;
        m_columns = columns;
        endResetModel();
    }

private:
    int m_rows = 3;
    int m_columns = 7;
};

TEST_F(PlayerGridTest, columnsKeepTheirWidthsAndVisibilityThroughClosedAndNewModels) {
    m_grid.resize(600, 420);  // tall enough for every model here: no scroll bar comes and goes
    ReopenedModel query;
    m_grid.setModel(&query);
    m_grid.setColumnHidden(2, true);
    m_grid.setColumnWidth(6, 150);  // as a drag would; the fit rescales the rest
    QCoreApplication::processEvents();
    std::vector<int> widths;
    for (int column = 0; column < 7; ++column) {
        widths.push_back(m_grid.columnWidth(column));
    }
    const auto expectSameColumns = [&](const char* step) {
        QCoreApplication::processEvents();
        for (int column = 0; column < 7; ++column) {
            EXPECT_EQ(m_grid.columnWidth(column), widths[column]) << step << " " << column;
        }
        EXPECT_TRUE(m_grid.isColumnHidden(2)) << step;
        EXPECT_EQ(SumOfVisibleColumns(), m_grid.viewport()->width()) << step;
    };
    query.Reopen(10, 7);
    expectSameColumns("reset");
    query.Reopen(0, 0);  // closed
    query.Reopen(4, 7);
    expectSameColumns("reopened");
    m_grid.setModel(m_model.get());
    expectSameColumns("other model");
}

TEST_F(PlayerGridTest, titleClicksMoveAndTurnTheMarkerByTheirOwnRule) {
    std::vector<int> clicked;
    QObject::connect(&m_grid, &PlayerGrid::TitleClicked,
                     [&](int column) { clicked.push_back(column); });
    QHeaderView* titles = m_grid.horizontalHeader();
    const auto clickTitle = [&](int column) {
        const int x = titles->sectionViewportPosition(column) + titles->sectionSize(column) / 2;
        QTest::mouseClick(titles->viewport(), Qt::LeftButton, {}, QPoint(x, titles->height() / 2));
    };
    EXPECT_EQ(m_grid.Marker().Column(), SortMarker::kNone);
    const std::vector<bool> directions = {true, false, true};
    for (const bool up : directions) {
        clickTitle(3);  // "Lista"
        EXPECT_EQ(m_grid.Marker().Column(), 3);
        EXPECT_EQ(m_grid.Marker().Up(), up);
    }
    clickTitle(4);  // "IP Player"
    EXPECT_EQ(m_grid.Marker().Column(), 4);
    EXPECT_TRUE(m_grid.Marker().Up());
    EXPECT_EQ(clicked, (std::vector<int>{3, 3, 3, 4}));

    // A press on the border between two titles starts a width drag, not a click.
    const int border = titles->sectionViewportPosition(5) - 1;
    QTest::mouseClick(titles->viewport(), Qt::LeftButton, {}, QPoint(border, titles->height() / 2));
    EXPECT_EQ(clicked.size(), 4u);
    // Nothing but a title click moves it: a new model (a refresh) leaves it in place.
    auto other = test::MakePlayerModel(3);
    m_grid.setModel(other.get());
    EXPECT_EQ(m_grid.Marker().Column(), 4);
    m_grid.setModel(m_model.get());
}

TEST_F(PlayerGridTest, doubleClicksAnywhereOnTheGridAreReported) {
    int doubleClicks = 0;
    QObject::connect(&m_grid, &PlayerGrid::GridDoubleClicked, [&] { ++doubleClicks; });
    QTest::mouseDClick(m_grid.viewport(), Qt::LeftButton, {},
                       CellCentre(1, 3) - m_grid.viewport()->pos());
    QHeaderView* titles = m_grid.horizontalHeader();
    QTest::mouseDClick(titles->viewport(), Qt::LeftButton, {},
                       QPoint(titles->sectionViewportPosition(4) + 10, 8));
    EXPECT_EQ(doubleClicks, 2);
}

TEST_F(PlayerGridTest, cornerCellShowsADownwardTriangleAndOpensTheChooserBelowIt) {
    const QRect corner = m_grid.CornerCellRect();
    const QImage shown = m_grid.grab().toImage();
    const QRect mark = BoundingBox(shown, corner.adjusted(2, 2, -2, -2), Is(Qt::black));
    ASSERT_FALSE(mark.isEmpty());
    // Downward: the top row of the mark is its widest, the bottom row a single pixel.
    const int topRow =
        BoundingBox(shown, QRect(mark.left(), mark.top(), mark.width(), 1), Is(Qt::black)).width();
    const int bottomRow =
        BoundingBox(shown, QRect(mark.left(), mark.bottom(), mark.width(), 1), Is(Qt::black))
            .width();
    EXPECT_EQ(topRow, mark.width());
    EXPECT_EQ(bottomRow, 1);

    int runs = 0;
    QPoint placed;
    int entries = 0;
    m_grid.SetChooserRunner([&](ColumnChooser& chooser) {
        ++runs;
        placed = chooser.pos();
        entries = chooser.Entries().count();
        return int(QDialog::Rejected);
    });
    QWidget* cell = m_grid.childAt(corner.center());
    ASSERT_NE(cell, nullptr);
    QTest::mouseClick(cell, Qt::LeftButton, {}, cell->rect().center());
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(entries, 6);
    EXPECT_EQ(placed, m_grid.mapToGlobal(QPoint(corner.left(), corner.bottom() + 1)));
    // A right click is no click on the corner.
    QTest::mouseClick(cell, Qt::RightButton, {}, cell->rect().center());
    EXPECT_EQ(runs, 1);
}

// The title row on its own, without the grid's width fit, to look at single titles.
class PlayerGridHeaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_model = test::MakePlayerModel(1);
        m_titles.setModel(m_model.get());
        m_titles.setFixedHeight(18);
        for (int column = 0; column < 7; ++column) {
            m_titles.resizeSection(column, 80);
        }
        m_titles.resizeSection(2, 9);  // too narrow for the marker beside a margin
        m_titles.setGeometry(0, 0, 600, 18);
        m_titles.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_titles));
    }
    QPoint Centre(int column) const {
        return QPoint(m_titles.sectionViewportPosition(column) + m_titles.sectionSize(column) / 2,
                      9);
    }
    QRect Section(int column) const {
        return QRect(m_titles.sectionViewportPosition(column), 0, m_titles.sectionSize(column), 18);
    }
    QImage Picture() { return m_titles.grab().toImage(); }

    std::unique_ptr<QStandardItemModel> m_model;
    PlayerGridHeader m_titles;
};

TEST_F(PlayerGridHeaderTest, markerSitsThreePixelsFromTheRightEdgeAndShowsItsDirection) {
    const QColor grey(0x80, 0x80, 0x80);
    QTest::mouseClick(m_titles.viewport(), Qt::LeftButton, {}, Centre(4));
    // The right end of the title: the last 3 + 7 pixels before the grid line.
    const QRect section = Section(4);
    const QRect end(section.right() - 1 - 3 - 7 + 1, 1, 7 + 3, 16);
    QImage picture = Picture();
    QRect marker = BoundingBox(picture, end, Is(grey));
    ASSERT_EQ(marker.size(), QSize(7, 4));
    EXPECT_EQ(marker.right(), section.right() - 1 - 3);  // 3 pixels in from the title's edge
    EXPECT_LE(std::abs(marker.center().y() - 8), 1);
    const auto rowWidth = [&](int y) {
        return BoundingBox(picture, QRect(marker.left(), y, 7, 1), Is(grey)).width();
    };
    EXPECT_EQ(rowWidth(marker.top()), 1);  // up: the point on top
    EXPECT_EQ(rowWidth(marker.bottom()), 7);

    QTest::mouseClick(m_titles.viewport(), Qt::LeftButton, {}, Centre(4));
    picture = Picture();
    EXPECT_EQ(rowWidth(marker.top()), 7);  // down
    EXPECT_EQ(rowWidth(marker.bottom()), 1);

    // A title too narrow for it carries no marker (but is marked all the same).
    const QImage unmarked = picture.copy(Section(2));
    QTest::mouseClick(m_titles.viewport(), Qt::LeftButton, {}, Centre(2));
    EXPECT_EQ(m_titles.Marker().Column(), 2);
    picture = Picture();
    EXPECT_EQ(picture.copy(Section(2)), unmarked);
    EXPECT_TRUE(BoundingBox(picture, end, Is(grey)).isEmpty());
}

TEST_F(PlayerGridHeaderTest, heldTitleLooksPressedWithItsTextOnePixelRightAndDown) {
    const QColor grey(0x80, 0x80, 0x80);
    const QRect inside = Section(3).adjusted(2, 2, -12, -2);  // text area, clear of the marker
    const QRect before = BoundingBox(Picture(), inside, Is(grey));
    ASSERT_FALSE(before.isEmpty());
    int clicks = 0;
    QObject::connect(&m_titles, &PlayerGridHeader::TitleClicked, [&] { ++clicks; });

    QTest::mousePress(m_titles.viewport(), Qt::LeftButton, {}, Centre(3));
    EXPECT_EQ(m_titles.PressedSection(), 3);
    EXPECT_EQ(BoundingBox(Picture(), inside, Is(grey)), before.translated(1, 1));

    // Dragged off the title it pops up; released elsewhere it is no click.
    QTest::mouseMove(m_titles.viewport(), Centre(5));
    EXPECT_EQ(m_titles.PressedSection(), -1);
    EXPECT_EQ(BoundingBox(Picture(), inside, Is(grey)), before);
    QTest::mouseRelease(m_titles.viewport(), Qt::LeftButton, {}, Centre(5));
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(m_titles.Marker().Column(), SortMarker::kNone);
}

}  // namespace
}  // namespace orvanta::registry::widgets

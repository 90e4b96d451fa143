#pragma once

#include <functional>
#include <vector>

#include <QColor>
#include <QTableView>

#include "core/Notices.h"
#include "registry/widgets/SortMarker.h"

namespace orvanta::registry::widgets {

class ColumnChooser;
class CornerCell;
class PlayerGridHeader;

// The player grid: a read-only, whole-row table whose visible columns always fill its width
// (see ColumnFit.h), with alternating grey rows by screen position, check-box flag cells, a
// two-pixel frame that turns dark blue under the pointer or with the focus, a title row with
// its own sort marker, and a column chooser behind the top-left cell.
//
// Sizes follow the design values, which count a cell without its grid line; here every cell
// carries its own line at the right and bottom, so a section is one pixel wider or taller.
class PlayerGrid : public QTableView {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 17;
    static constexpr int kTitleHeight = 17;
    static inline const QColor kGreyRow{0xE0, 0xE0, 0xE0};
    static inline const QColor kWhiteRow{0xFF, 0xFF, 0xFF};
    static inline const QColor kFrameOuter{0x80, 0x80, 0x80};
    static inline const QColor kFrameActive{0, 56, 115};

    // The chooser is run modally by the runner; tests replace it so no dialog blocks.
    using ChooserRunner = std::function<int(ColumnChooser&)>;

    explicit PlayerGrid(Notices& notices, QWidget* parent = nullptr);

    // The columns keep their widths and visibility when the model is replaced or reset, even
    // through a reset to no columns at all (a closed query): they belong to the grid.
    void setModel(QAbstractItemModel* model) override;

    // Design widths per logical column (without grid lines); the fit scales them afterwards.
    void SetDesignWidths(const std::vector<int>& widths);
    // A column's width without its grid line.
    int ColumnContentWidth(int column) const;
    // Scales the visible columns to the client width now. The grid also does it by itself
    // whenever it is shown and its size, layout or a column width changes.
    void FitColumns();

    // 0 for the first row under the titles, 1 for the second, ...
    int ScreenPosition(int row) const;
    // The second, fourth, ... row on screen is grey.
    static bool IsGreyPosition(int screenPosition) { return screenPosition % 2 == 1; }

    const SortMarker& Marker() const;
    PlayerGridHeader& Titles() const { return *m_titles; }
    // True while the pointer is over the grid or it has the focus: the frame is dark blue.
    bool FrameHighlighted() const { return m_hovered || hasFocus(); }
    // The top-left cell, in the grid's coordinates.
    QRect CornerCellRect() const;

    void SetChooserRunner(ChooserRunner runner) { m_runChooser = std::move(runner); }
    void OpenColumnChooser();

signals:
    // A click on a column title (logical column index; 0 is the column bound to no field).
    void TitleClicked(int column);
    // A double click anywhere on the grid, titles and indicator included.
    void GridDoubleClicked();

protected:
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    struct ColumnState {
        int width;  // without the grid line
        bool hidden;
    };

    int GridLine() const { return showGrid() ? 1 : 0; }
    void FitIfShown();
    void PaintFrame();
    void RecordColumn(int column, int newSize);
    void RestoreColumns();

    Notices& m_notices;
    PlayerGridHeader* m_titles;
    CornerCell* m_corner;
    ChooserRunner m_runChooser;
    std::vector<ColumnState> m_columns;
    int m_sectionCount = 0;  // the header's section count when the columns were last restored
    bool m_fitting = false;
    bool m_restoring = false;
    bool m_hovered = false;
};

}  // namespace orvanta::registry::widgets

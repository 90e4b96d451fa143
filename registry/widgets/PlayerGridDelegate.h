#pragma once

#include <QStyledItemDelegate>

namespace orvanta::registry::widgets {

class PlayerGrid;

// Draws the grid's cells: grey and white rows by their position on screen, the current row
// in the highlight colours while the grid has the focus, flag cells as a centred check box.
class PlayerGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    PlayerGridDelegate(const PlayerGrid& grid, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    const PlayerGrid& m_grid;
};

}  // namespace orvanta::registry::widgets

#include "registry/widgets/RowIndicator.h"

#include <qdrawutil.h>
#include <QItemSelectionModel>
#include <QPainter>

#include "registry/widgets/Triangles.h"

namespace orvanta::registry::widgets {

RowIndicator::RowIndicator(QWidget* parent) : QHeaderView(Qt::Vertical, parent) {
    setSectionsClickable(true);
    setHighlightSections(false);
    setMinimumSectionSize(1);
    setSectionResizeMode(QHeaderView::Fixed);
}

void RowIndicator::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    if (!rect.isValid()) {
        return;
    }
    painter->save();
    painter->setClipRect(rect);
    const QRect cell = rect.adjusted(0, 0, -1, -1);
    qDrawWinButton(painter, cell, palette(), false, &palette().brush(QPalette::Button));
    painter->fillRect(rect.right(), rect.top(), 1, rect.height(), palette().color(QPalette::Mid));
    painter->fillRect(rect.left(), rect.bottom(), rect.width(), 1, palette().color(QPalette::Mid));
    const QItemSelectionModel* selection = selectionModel();
    if (selection != nullptr && selection->currentIndex().row() == logicalIndex) {
        const int left = cell.left() + (cell.width() - kTriangleDepth) / 2;
        const int top = cell.top() + (cell.height() - kTriangleBase) / 2;
        DrawTriangle(*painter, QPoint(left, top), Pointing::Right, Qt::black);
    }
    painter->restore();
}

}  // namespace orvanta::registry::widgets

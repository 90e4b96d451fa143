#pragma once

#include <QHeaderView>

namespace orvanta::registry::widgets {

// The row indicator column at the left of the grid: one button-faced cell per row, with a
// small black triangle beside the current row.
class RowIndicator : public QHeaderView {
    Q_OBJECT
public:
    explicit RowIndicator(QWidget* parent = nullptr);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
};

}  // namespace orvanta::registry::widgets

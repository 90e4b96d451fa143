#include "registry/widgets/PlayerGridDelegate.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

#include "registry/widgets/GridRoles.h"
#include "registry/widgets/PlayerGrid.h"

namespace orvanta::registry::widgets {

namespace {
constexpr int kTextInset = 2;
}  // namespace

PlayerGridDelegate::PlayerGridDelegate(const PlayerGrid& grid, QObject* parent)
    : QStyledItemDelegate(parent), m_grid(grid) {}

void PlayerGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    QColor background = PlayerGrid::kWhiteRow;
    QColor foreground = Qt::black;
    if (m_grid.hasFocus() && index.row() == m_grid.currentIndex().row()) {
        background = m_grid.palette().color(QPalette::Active, QPalette::Highlight);
        foreground = m_grid.palette().color(QPalette::Active, QPalette::HighlightedText);
    } else if (PlayerGrid::IsGreyPosition(m_grid.ScreenPosition(index.row()))) {
        background = PlayerGrid::kGreyRow;
    }
    painter->save();
    painter->setClipRect(option.rect);
    painter->fillRect(option.rect, background);

    const QVariant flag = index.data(kFlagRole);
    if (flag.isValid()) {
        QStyle* style = m_grid.style();
        QStyleOptionButton box;
        box.initFrom(&m_grid);
        const int width = style->pixelMetric(QStyle::PM_IndicatorWidth, &box, &m_grid);
        const int height = style->pixelMetric(QStyle::PM_IndicatorHeight, &box, &m_grid);
        box.rect = QRect(option.rect.left() + (option.rect.width() - width) / 2,
                         option.rect.top() + (option.rect.height() - height) / 2, width, height);
        box.state = QStyle::State_Enabled | (flag.toBool() ? QStyle::State_On : QStyle::State_Off);
        box.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver);
        style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, &m_grid);
    } else {
        painter->setFont(option.font);
        painter->setPen(foreground);
        painter->drawText(option.rect.adjusted(kTextInset, 0, 0, 0),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          index.data(Qt::DisplayRole).toString());
    }
    painter->restore();
}

}  // namespace orvanta::registry::widgets

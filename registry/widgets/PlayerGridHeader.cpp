#include "registry/widgets/PlayerGridHeader.h"

#include <qdrawutil.h>
#include <QMouseEvent>
#include <QPainter>

#include "registry/widgets/Triangles.h"

namespace orvanta::registry::widgets {

namespace {
const QColor kTitleColor(0x80, 0x80, 0x80);
// Gap between the marker and the title's right edge.
constexpr int kMarkerInset = 3;
// Left gap of the title text.
constexpr int kTextInset = 2;
}  // namespace

PlayerGridHeader::PlayerGridHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(true);
    setSectionsMovable(false);
    setSectionResizeMode(QHeaderView::Interactive);
    setHighlightSections(false);
    setMinimumSectionSize(1);
    setMouseTracking(true);
    connect(this, &QHeaderView::sectionPressed, this, &PlayerGridHeader::OnPressed);
    connect(this, &QHeaderView::sectionClicked, this, &PlayerGridHeader::OnClicked);
}

void PlayerGridHeader::OnPressed(int logicalIndex) {
    m_held = logicalIndex;
    m_over = true;
    viewport()->update();
}

void PlayerGridHeader::OnClicked(int logicalIndex) {
    m_marker.Click(logicalIndex);
    viewport()->update();
    emit TitleClicked(logicalIndex);
}

void PlayerGridHeader::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_buttonDown = true;
    }
    QHeaderView::mousePressEvent(event);
}

void PlayerGridHeader::mouseMoveEvent(QMouseEvent* event) {
    QHeaderView::mouseMoveEvent(event);
    if (m_held >= 0) {
        const bool over = logicalIndexAt(event->position().toPoint()) == m_held;
        if (over != m_over) {
            m_over = over;
            viewport()->update();
        }
    }
}

void PlayerGridHeader::mouseReleaseEvent(QMouseEvent* event) {
    // The base class reports the click (OnClicked) when released on the pressed title.
    QHeaderView::mouseReleaseEvent(event);
    if (m_held >= 0) {
        m_held = -1;
        m_over = false;
        viewport()->update();
    }
    if (event->button() == Qt::LeftButton && m_buttonDown) {
        m_buttonDown = false;
        emit ButtonReleased();
    }
}

void PlayerGridHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    if (!rect.isValid()) {
        return;
    }
    painter->save();
    painter->setClipRect(rect);
    // The title cell leaves its right and bottom pixel to the grid lines, like the cells.
    const QRect cell = rect.adjusted(0, 0, -1, -1);
    const bool pressed = PressedSection() == logicalIndex;
    qDrawWinButton(painter, cell, palette(), pressed, &palette().brush(QPalette::Button));
    painter->fillRect(rect.right(), rect.top(), 1, rect.height(), palette().color(QPalette::Mid));
    painter->fillRect(rect.left(), rect.bottom(), rect.width(), 1, palette().color(QPalette::Mid));

    const QString title = model() != nullptr
                              ? model()->headerData(logicalIndex, orientation()).toString()
                              : QString();
    QFont titleFont = font();
    titleFont.setBold(true);
    painter->setFont(titleFont);
    painter->setPen(kTitleColor);
    const int shift = pressed ? 1 : 0;
    const QRect textRect = cell.adjusted(kTextInset + shift, shift, shift, shift);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, title);

    if (m_marker.Column() == logicalIndex) {
        const int left = cell.right() - kMarkerInset - kTriangleBase + 1;
        const int top = cell.top() + (cell.height() - kTriangleDepth) / 2;
        // Drawn only when the whole triangle fits inside the title.
        if (left >= cell.left() && top >= cell.top()) {
            DrawTriangle(*painter, QPoint(left, top), m_marker.Up() ? Pointing::Up : Pointing::Down,
                         kTitleColor);
        }
    }
    painter->restore();
}

}  // namespace orvanta::registry::widgets

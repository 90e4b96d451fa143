#include "registry/widgets/CornerCell.h"

#include <qdrawutil.h>
#include <QMouseEvent>
#include <QPainter>

#include "registry/widgets/Triangles.h"

namespace orvanta::registry::widgets {

CornerCell::CornerCell(std::function<void()> onClick, QWidget* parent)
    : QWidget(parent), m_onClick(std::move(onClick)) {}

void CornerCell::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect all = rect();
    const QRect cell = all.adjusted(0, 0, -1, -1);
    qDrawWinButton(&painter, cell, palette(), m_pressed, &palette().brush(QPalette::Button));
    painter.fillRect(all.right(), all.top(), 1, all.height(), palette().color(QPalette::Mid));
    painter.fillRect(all.left(), all.bottom(), all.width(), 1, palette().color(QPalette::Mid));
    const int left = cell.left() + (cell.width() - kTriangleBase) / 2;
    const int top = cell.top() + (cell.height() - kTriangleDepth) / 2;
    DrawTriangle(painter, QPoint(left, top), Pointing::Down, Qt::black);
}

void CornerCell::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        update();
    }
}

void CornerCell::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_pressed) {
        return;
    }
    m_pressed = false;
    update();
    if (rect().contains(event->position().toPoint()) && m_onClick) {
        m_onClick();
    }
}

}  // namespace orvanta::registry::widgets

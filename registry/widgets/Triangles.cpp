#include "registry/widgets/Triangles.h"

#include <QPainter>

namespace orvanta::registry::widgets {

void DrawTriangle(QPainter& painter, QPoint topLeft, Pointing pointing, const QColor& color,
                  int base) {
    const int depth = base / 2 + 1;
    const int x = topLeft.x();
    const int y = topLeft.y();
    // Row i (counted from the tip) is 2i + 1 pixels long.
    for (int i = 0; i < depth; ++i) {
        const int length = 2 * i + 1;
        const int offset = depth - 1 - i;
        switch (pointing) {
            case Pointing::Up:
                painter.fillRect(x + offset, y + i, length, 1, color);
                break;
            case Pointing::Down:
                painter.fillRect(x + offset, y + depth - 1 - i, length, 1, color);
                break;
            case Pointing::Right:
                painter.fillRect(x + depth - 1 - i, y + offset, 1, length, color);
                break;
        }
    }
}

}  // namespace orvanta::registry::widgets

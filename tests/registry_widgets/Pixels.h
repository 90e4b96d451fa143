#pragma once

#include <functional>

#include <QColor>
#include <QImage>
#include <QRect>

namespace orvanta::test {

inline QColor PixelAt(const QImage& image, QPoint point) {
    return QColor::fromRgb(image.pixel(point));
}

// The bounding box of the pixels inside area that satisfy the test (empty when none do).
inline QRect BoundingBox(const QImage& image, const QRect& area,
                         const std::function<bool(QColor)>& test) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (test(QColor::fromRgb(image.pixel(x, y)))) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

inline std::function<bool(QColor)> Is(QColor wanted) {
    return [wanted](QColor c) { return c.rgb() == wanted.rgb(); };
}

inline std::function<bool(QColor)> IsNot(QColor unwanted) {
    return [unwanted](QColor c) { return c.rgb() != unwanted.rgb(); };
}

}  // namespace orvanta::test

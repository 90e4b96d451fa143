#pragma once

#include <QColor>
#include <QPoint>

class QPainter;

namespace orvanta::registry::widgets {

enum class Pointing { Up, Down, Right };

// Small filled triangles drawn pixel by pixel (no antialiasing), so they look the same on
// every style: the sort marker, the corner cell's chooser mark and the row indicator.
// A triangle of the given size (base length, an odd number) has base / 2 + 1 rows.
inline constexpr int kTriangleBase = 7;
inline constexpr int kTriangleDepth = kTriangleBase / 2 + 1;

// Draws with its bounding box's top-left at topLeft. Up and Down boxes are base wide and
// depth high; Right boxes are depth wide and base high.
void DrawTriangle(QPainter& painter, QPoint topLeft, Pointing pointing, const QColor& color,
                  int base = kTriangleBase);

}  // namespace orvanta::registry::widgets

#pragma once

#include <Qt>

namespace orvanta::registry::widgets {

// Item data role of a flag cell: a bool there makes the grid draw a ticked or empty check
// box instead of text.
inline constexpr int kFlagRole = Qt::UserRole + 1;
// Horizontal header data role: the field name behind a column (absent for a column
// bound to no field).
inline constexpr int kFieldNameRole = Qt::UserRole + 2;
// Horizontal header data role: the field's position in the query, which orders the column
// chooser's entries. Without it the chooser follows the column order.
inline constexpr int kFieldIndexRole = Qt::UserRole + 3;

}  // namespace orvanta::registry::widgets

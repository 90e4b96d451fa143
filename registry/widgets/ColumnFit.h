#pragma once

#include <vector>

namespace orvanta::registry::widgets {

// Width of the row indicator column at the left of the grid, without its grid line.
inline constexpr int kIndicatorWidth = 11;

// Scales the visible columns' widths (grid lines not included) so that they fill the client
// width exactly: available = client − indicator − one grid line for the indicator − one
// grid line per column. When available equals the sum the widths come back unchanged;
// otherwise every column but the last becomes round-half-even(width × available ÷ sum),
// at least 1, and the last takes what is left, also at least 1 (a narrow grid may then
// overflow instead of getting a column of no or negative width).
std::vector<int> FitColumnWidths(int clientWidth, int gridLineWidth,
                                 const std::vector<int>& widths);

}  // namespace orvanta::registry::widgets

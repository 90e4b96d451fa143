#include "registry/widgets/ColumnFit.h"

#include <algorithm>
#include <cstdint>
#include <numeric>

#include "registry/widgets/Rounding.h"

namespace orvanta::registry::widgets {

std::vector<int> FitColumnWidths(int clientWidth, int gridLineWidth,
                                 const std::vector<int>& widths) {
    if (widths.empty()) {
        return widths;
    }
    const std::int64_t count = static_cast<std::int64_t>(widths.size());
    const std::int64_t available =
        std::int64_t{clientWidth} - kIndicatorWidth - gridLineWidth - gridLineWidth * count;
    const std::int64_t sum = std::accumulate(widths.begin(), widths.end(), std::int64_t{0});
    // A zero sum has no proportions to keep; factor exactly 1 leaves everything as it is.
    if (sum <= 0 || available == sum) {
        return widths;
    }
    std::vector<int> fitted(widths.size());
    std::int64_t used = 0;
    for (std::size_t i = 0; i + 1 < widths.size(); ++i) {
        const std::int64_t scaled = RoundHalfEven(std::int64_t{widths[i]} * available, sum);
        fitted[i] = static_cast<int>(std::max<std::int64_t>(scaled, 1));
        used += fitted[i];
    }
    fitted.back() = static_cast<int>(std::max<std::int64_t>(available - used, 1));
    return fitted;
}

}  // namespace orvanta::registry::widgets

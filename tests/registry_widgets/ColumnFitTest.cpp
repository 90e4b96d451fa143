#include <gtest/gtest.h>

#include "QtPrinters.h"

#include <numeric>
#include <vector>

#include "registry/widgets/ColumnFit.h"
#include "registry/widgets/Rounding.h"

namespace orvanta::registry::widgets {
namespace {

TEST(RoundHalfEvenTest, halvesGoToTheEvenNeighbour) {
    const struct {
        long long numerator, denominator, rounded;
    } cases[] = {
        {1, 2, 0},  {3, 2, 2},  {5, 2, 2},  {7, 2, 4},  {-1, 2, 0}, {-3, 2, -2},
        {12, 8, 2}, {36, 8, 4}, {10, 4, 2}, {11, 4, 3}, {9, 4, 2},  {-7, 4, -2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RoundHalfEven(c.numerator, c.denominator), c.rounded)
            << c.numerator << "/" << c.denominator;
    }
}

// available = client - 11 - line - line * columns
TEST(ColumnFitTest, scalesByTheAvailableWidth) {
    const struct {
        const char* name;
        int client;
        int line;
        std::vector<int> widths;
        std::vector<int> fitted;
    } cases[] = {
        {"factor exactly 1 changes nothing", 11 + 1 + 3 + 60, 1, {10, 20, 30}, {10, 20, 30}},
        // 1 * 12 / 8 = 1.5 -> 2 and 3 * 12 / 8 = 4.5 -> 4: both halves to the even side.
        {"halves round to even", 11 + 1 + 3 + 12, 1, {1, 3, 4}, {2, 4, 6}},
        // 6.67 -> 7, 6.67 -> 7, and the last takes the remaining 6.
        {"last column takes the remainder", 11 + 1 + 3 + 20, 1, {10, 10, 10}, {7, 7, 6}},
        {"grows as well as shrinks", 11 + 1 + 2 + 300, 1, {50, 100}, {100, 200}},
        {"no grid lines", 11 + 40, 0, {10, 30}, {10, 30}},
        {"no grid lines, scaled", 11 + 80, 0, {10, 30}, {20, 60}},
        {"single column takes everything", 11 + 1 + 1 + 500, 1, {33}, {500}},
        // 0.5 -> 0 would vanish: at least 1; the last gets the rest, also at least 1.
        {"never below one pixel", 11 + 1 + 3 + 51, 1, {100, 1, 1}, {50, 1, 1}},
        {"no columns", 500, 1, {}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FitColumnWidths(c.client, c.line, c.widths), c.fitted) << c.name;
    }
}

TEST(ColumnFitTest, fillsTheClientExactlyAtEveryWidth) {
    const std::vector<int> design = {33, 81, 33, 121, 121, 121, 357};
    for (int client = 100; client <= 2000; client += 7) {
        const std::vector<int> fitted = FitColumnWidths(client, 1, design);
        const int available = client - 11 - 1 - static_cast<int>(design.size());
        EXPECT_EQ(std::accumulate(fitted.begin(), fitted.end(), 0), available) << client;
        // A second fit at the same width is the factor-1 case: nothing moves.
        EXPECT_EQ(FitColumnWidths(client, 1, fitted), fitted) << client;
    }
}

}  // namespace
}  // namespace orvanta::registry::widgets

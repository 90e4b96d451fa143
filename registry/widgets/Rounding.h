#pragma once

#include <cstdint>

namespace orvanta::registry::widgets {

// numerator / denominator rounded to the nearest whole number, a half going to the even
// neighbour. Exact for integers, so a true half is never mistaken for 0.4999...
// The denominator must be positive.
inline std::int64_t RoundHalfEven(std::int64_t numerator, std::int64_t denominator) {
    std::int64_t quotient = numerator / denominator;
    std::int64_t remainder = numerator % denominator;
    if (remainder < 0) {  // make the remainder non-negative: floor division
        remainder += denominator;
        quotient -= 1;
    }
    const std::int64_t twice = 2 * remainder;
    if (twice > denominator || (twice == denominator && quotient % 2 != 0)) {
        quotient += 1;
    }
    return quotient;
}

}  // namespace orvanta::registry::widgets

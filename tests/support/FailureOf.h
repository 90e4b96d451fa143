#pragma once

#include <string>

#include "core/Failure.h"

namespace orvanta::test {

// The text of the failure an operation raises; empty when it succeeds.
template <typename Operation>
std::string FailureOf(Operation&& operation) {
    try {
        operation();
    } catch (const Failure& e) {
        return e.what();
    }
    return {};
}

}  // namespace orvanta::test

#pragma once

#include <stdexcept>
#include <string>

namespace orvanta {

// Every failure the operator may read: the message is the exact text of the error box
// (before the full-stop rule is applied by the dispatcher).
class Failure : public std::runtime_error {
public:
    explicit Failure(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace orvanta

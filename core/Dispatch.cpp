#include "core/Dispatch.h"

#include <exception>

namespace orvanta {

std::string ErrorBoxText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') {
        return message + ".";
    }
    return message;
}

void RunGuarded(Notices& notices, const std::function<void()>& handler) noexcept {
    std::string text;
    try {
        handler();
        return;
    } catch (const std::exception& e) {
        text = e.what();
    } catch (...) {
        text = "Unknown error";
    }
    // Showing the box must not let anything escape either.
    try {
        notices.ShowError(ErrorBoxText(text));
    } catch (...) {
    }
}

}  // namespace orvanta

#include "core/Dispatch.h"

#include <cstdio>
#include <exception>
#include <utility>

namespace orvanta {

std::string ErrorBoxText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') {
        return message + ".";
    }
    return message;
}

std::string ErrorBoxTextOf(const std::exception_ptr& raised) {
    try {
        std::rethrow_exception(raised);
    } catch (const std::exception& e) {
        return ErrorBoxText(e.what());
    } catch (...) {
        return ErrorBoxText("Unknown error");
    }
}

void RunGuarded(Notices& notices, const std::function<void()>& handler) noexcept {
    std::string text;
    try {
        handler();
        return;
    } catch (...) {
        try {
            text = ErrorBoxTextOf(std::current_exception());
        } catch (...) {
            return;
        }
    }
    // Showing the box must not let anything escape either.
    try {
        notices.ShowError(text);
    } catch (...) {
    }
}

namespace {

UncaughtFailureHandler& CurrentUncaughtHandler() {
    static UncaughtFailureHandler handler;
    return handler;
}

}  // namespace

UncaughtFailureHandler SetUncaughtFailureHandler(UncaughtFailureHandler handler) {
    return std::exchange(CurrentUncaughtHandler(), std::move(handler));
}

void ReportUncaughtFailure(const std::string& message) noexcept {
    try {
        if (const UncaughtFailureHandler& handler = CurrentUncaughtHandler()) {
            handler(message);
            return;
        }
        std::fprintf(stderr, "%s\n", message.c_str());
    } catch (...) {
    }
}

}  // namespace orvanta

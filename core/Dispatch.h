#pragma once

#include <exception>
#include <functional>
#include <string>

#include "core/Notices.h"

namespace orvanta {

inline constexpr const char* kApplicationTitle = "KELT Orvanta Manager";

// The error box appends a full stop when the message's last byte sorts after ".".
std::string ErrorBoxText(const std::string& message);

// The error box's text for a raised exception, as RunGuarded shows it.
std::string ErrorBoxTextOf(const std::exception_ptr& raised);

// The one boundary between the event loop and the operations: runs the handler and turns
// any exception it raises into the error box. Every slot, timer tick and menu command goes
// through here, so no exception ever unwinds into Qt.
void RunGuarded(Notices& notices, const std::function<void()>& handler) noexcept;

// The application's handler for failures that reach no caller: a lower layer reports them and
// goes on. The application points it at the error box; until then the text goes to standard
// error. Returns the handler it replaced.
using UncaughtFailureHandler = std::function<void(const std::string& message)>;
UncaughtFailureHandler SetUncaughtFailureHandler(UncaughtFailureHandler handler);
void ReportUncaughtFailure(const std::string& message) noexcept;

}  // namespace orvanta

#pragma once

#include <string>

namespace orvanta::db {

// The platform's side of loading a library at run time. A library, once loaded, stays loaded
// for the life of the process. Failures give the operating system's own text, ended by a line
// break as the system's message texts are.

// Any exported function, to be cast to its real type by the caller.
using LibraryFunction = void (*)();

// The loaded library, or null with the system's text in `error`.
void* LoadLibraryByName(const std::string& name, std::string& error);

// The exported function, or null with the system's text in `error`.
LibraryFunction LibraryEntryPoint(void* library, const char* name, std::string& error);

// The ODBC driver manager's library on this platform.
const char* DriverManagerLibraryName();

// The window a driver would parent a dialog to: the desktop where there is one. The layer
// never lets a driver prompt, so this only completes the call.
void* DesktopWindowHandle();

}  // namespace orvanta::db

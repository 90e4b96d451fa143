#pragma once

#include <string>

namespace orvanta {

// Windows' text for a system error code (FormatMessage's, in the system's own language) as it
// reads inside a sentence of the caller's: without the line break, blanks and full stop the
// system ends it with. "System error N" where the system has no text for the code.
std::string SystemErrorText(unsigned long code);

}  // namespace orvanta

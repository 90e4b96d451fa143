#pragma once

#include "link/DateTimeText.h"

namespace orvanta::link {

// The user's current date and time settings, read afresh at every call so that a change is
// seen at once. Windows reads the locale information; elsewhere Qt's system locale stands in.
LocaleDescription SystemLocaleDescription();

}  // namespace orvanta::link

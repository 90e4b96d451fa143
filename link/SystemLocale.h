#pragma once

#include "link/DateTimeText.h"
#include "link/UserLocale.h"

class QLocale;

namespace orvanta::link {

// Maps a Qt locale onto the date and time settings the recorded message uses:
// - the short date format becomes the picture; the first unquoted run of non-letters between
//   two of its fields is the date separator, and every unquoted occurrence of it turns into "/";
// - the short time format gives the rest: a doubled hour letter ("hh", "HH") asks for leading-zero
//   hours, an AM/PM marker ("AP", "ap", "A", "a") for the 12-hour clock and, when it comes before
//   the hour, for the designator before the time; the run of non-letters after the hour is the
//   time separator;
// - the designators and the day and month names are the locale's, in the local 8-bit encoding.
LocaleDescription DescribeLocale(const QLocale& locale);

}  // namespace orvanta::link

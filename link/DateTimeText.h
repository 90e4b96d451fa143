#pragma once

#include <array>
#include <functional>
#include <string>

namespace orvanta::link {

// A moment on the local clock.
struct LocalDateTime {
    int year = 2000;
    int month = 1;      // 1..12
    int day = 1;        // 1..31
    int dayOfWeek = 6;  // 0 = Sunday
    int hour = 0;       // 0..23
    int minute = 0;
    int second = 0;
};

// Now, on the local clock (one file a platform).
LocalDateTime LocalNow();

// What the date and time texts of a recorded message take from the user's locale.
struct LocaleDescription {
    // Day (d, dd, ddd, dddd), month (M, MM, MMM, MMMM; m works too), year (yy, yyyy), quoted
    // literals; every "/" stands for the date separator.
    std::string shortDatePicture = "dd/MM/yyyy";
    std::string dateSeparator = "/";
    std::string timeSeparator = ":";
    bool leadingZeroHours = true;
    bool twelveHourClock = false;
    std::string amDesignator = "AM";
    std::string pmDesignator = "PM";
    bool designatorBeforeTime = false;
    std::array<std::string, 12> shortMonthNames;
    std::array<std::string, 12> longMonthNames;
    std::array<std::string, 7> shortDayNames;  // Sunday first
    std::array<std::string, 7> longDayNames;
};

using LocalClock = std::function<LocalDateTime()>;
using LocaleSource = std::function<LocaleDescription()>;

// The date rendered with the short-date picture.
std::string DateText(const LocaleDescription& locale, const LocalDateTime& when);
// "h:mm:ss" ("hh" with leading-zero hours), 1-12 plus the designator on a 12-hour clock, every
// ":" rendered as the time separator.
std::string TimeText(const LocaleDescription& locale, const LocalDateTime& when);

}  // namespace orvanta::link

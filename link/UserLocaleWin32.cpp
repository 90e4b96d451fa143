#include <windows.h>

#include "link/UserLocale.h"

namespace orvanta::link {

namespace {

// One setting of the user's locale in the ANSI code page; empty when the system has none.
std::string Setting(LCTYPE type) {
    char buffer[256];
    const int length = ::GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buffer, sizeof buffer);
    return length > 1 ? std::string(buffer, static_cast<std::size_t>(length - 1)) : std::string();
}

// A numeric setting ("0", "1"); true unless it is "0" or missing.
bool Flag(LCTYPE type) {
    const std::string value = Setting(type);
    return !value.empty() && value != "0";
}

}  // namespace

LocaleDescription SystemLocaleDescription() {
    LocaleDescription out;
    if (std::string picture = Setting(LOCALE_SSHORTDATE); !picture.empty()) {
        out.shortDatePicture = picture;
    }
    if (std::string separator = Setting(LOCALE_SDATE); !separator.empty()) {
        out.dateSeparator = separator;
    }
    if (std::string separator = Setting(LOCALE_STIME); !separator.empty()) {
        out.timeSeparator = separator;
    }
    out.leadingZeroHours = Flag(LOCALE_ITLZERO);
    out.twelveHourClock = !Flag(LOCALE_ITIME);
    out.amDesignator = Setting(LOCALE_S1159);
    out.pmDesignator = Setting(LOCALE_S2359);
    out.designatorBeforeTime = Flag(LOCALE_ITIMEMARKPOSN);
    for (int month = 0; month < 12; ++month) {
        out.shortMonthNames[month] = Setting(LOCALE_SABBREVMONTHNAME1 + month);
        out.longMonthNames[month] = Setting(LOCALE_SMONTHNAME1 + month);
    }
    // The system's names start on Monday; these start on Sunday.
    for (int day = 0; day < 7; ++day) {
        const int fromMonday = (day + 6) % 7;
        out.shortDayNames[day] = Setting(LOCALE_SABBREVDAYNAME1 + fromMonday);
        out.longDayNames[day] = Setting(LOCALE_SDAYNAME1 + fromMonday);
    }
    return out;
}

}  // namespace orvanta::link

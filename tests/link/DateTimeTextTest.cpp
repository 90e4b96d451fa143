#include <gtest/gtest.h>

#include "link/DateTimeText.h"

namespace orvanta::link {
namespace {

// Tuesday 5 March 2024, 09:07:03 and 21:07:03; midnight and noon for the 12-hour clock.
constexpr LocalDateTime kMorning{2024, 3, 5, 2, 9, 7, 3};
constexpr LocalDateTime kEvening{2024, 3, 5, 2, 21, 7, 3};
constexpr LocalDateTime kMidnight{2024, 3, 5, 2, 0, 0, 0};
constexpr LocalDateTime kNoon{2024, 3, 5, 2, 12, 30, 59};

LocaleDescription Picture(const std::string& picture, const std::string& separator) {
    LocaleDescription locale;
    locale.shortDatePicture = picture;
    locale.dateSeparator = separator;
    locale.shortMonthNames[2] = "mar";
    locale.longMonthNames[2] = "marzo";
    locale.shortDayNames[2] = "mar";
    locale.longDayNames[2] = "marted\xEC";
    return locale;
}

TEST(DateTextTest, pictureTokensAndSeparator) {
    struct Case {
        std::string picture, separator, text;
    };
    const Case cases[] = {
        {"dd/MM/yyyy", "/", "05/03/2024"},
        {"dd/MM/yyyy", ".", "05.03.2024"},
        {"d/M/yy", "-", "5-3-24"},
        {"yyyy/MM/dd", ". ", "2024. 03. 05"},
        {"dddd d MMMM yyyy", "/", "marted\xEC 5 marzo 2024"},
        {"ddd d/MMM", "/", "mar 5/mar"},
        {"dd/mm/yy", "/", "05/03/24"},
        {"'d' d'''", "/", "d 5'"},
        {"d \"/y\"", "/", "5 /y"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DateText(Picture(c.picture, c.separator), kMorning), c.text) << c.picture;
    }
}

TEST(TimeTextTest, hoursSeparatorAndDesignators) {
    struct Case {
        bool leadingZero, twelveHour, markBefore;
        std::string separator;
        LocalDateTime when;
        std::string text;
    };
    const Case cases[] = {
        {false, false, false, ":", kMorning, "9:07:03"},
        {true, false, false, ":", kMorning, "09:07:03"},
        {true, false, false, ".", kEvening, "21.07.03"},
        {false, true, false, ":", kEvening, "9:07:03 PM"},
        {false, true, false, ":", kMidnight, "12:00:00 AM"},
        {true, true, false, ":", kNoon, "12:30:59 PM"},
        {true, true, true, ":", kMorning, "AM 09:07:03"},
    };
    for (const Case& c : cases) {
        LocaleDescription locale;
        locale.leadingZeroHours = c.leadingZero;
        locale.twelveHourClock = c.twelveHour;
        locale.designatorBeforeTime = c.markBefore;
        locale.timeSeparator = c.separator;
        EXPECT_EQ(TimeText(locale, c.when), c.text) << c.text;
    }
}

}  // namespace
}  // namespace orvanta::link

#include <gtest/gtest.h>
#include <windows.h>

#include "link/DateTimeText.h"
#include "link/UserLocale.h"

namespace orvanta::link {
namespace {

// Tuesday 5 March 2024, 21:07:03.
constexpr LocalDateTime kEvening{2024, 3, 5, 2, 21, 7, 3};

TEST(UserLocaleWin32Test, englishUnitedStatesSettingsGiveItsTexts) {
    char name[LOCALE_NAME_MAX_LENGTH] = {};
    wchar_t wide[LOCALE_NAME_MAX_LENGTH] = {};
    if (!::GetUserDefaultLocaleName(wide, LOCALE_NAME_MAX_LENGTH) ||
        std::wstring(wide) != L"en-US") {
        ::WideCharToMultiByte(CP_ACP, 0, wide, -1, name, sizeof name, nullptr, nullptr);
        GTEST_SKIP() << "the user's locale is " << name << ", not en-US";
    }
    const LocaleDescription locale = SystemLocaleDescription();
    EXPECT_EQ(DateText(locale, kEvening), "3/5/2024");
    EXPECT_EQ(TimeText(locale, kEvening), "9:07:03 PM");
    EXPECT_EQ(locale.longMonthNames[2], "March");
    EXPECT_EQ(locale.shortDayNames[0], "Sun");
    EXPECT_EQ(locale.longDayNames[2], "Tuesday");
}

TEST(UserLocaleWin32Test, localClockIsTheSystemsLocalTime) {
    SYSTEMTIME before{};
    SYSTEMTIME after{};
    LocalDateTime now{};
    // Taken again when the second turned meanwhile.
    for (int attempt = 0; attempt < 5; ++attempt) {
        ::GetLocalTime(&before);
        now = LocalNow();
        ::GetLocalTime(&after);
        if (before.wSecond == after.wSecond && before.wMinute == after.wMinute) {
            break;
        }
    }
    EXPECT_EQ(now.year, after.wYear);
    EXPECT_EQ(now.month, after.wMonth);
    EXPECT_EQ(now.day, after.wDay);
    EXPECT_EQ(now.dayOfWeek, after.wDayOfWeek);
    EXPECT_EQ(now.hour, after.wHour);
    EXPECT_EQ(now.minute, after.wMinute);
    EXPECT_EQ(now.second, after.wSecond);
}

}  // namespace
}  // namespace orvanta::link

#include <gtest/gtest.h>

#include <QLocale>

#include "link/DateTimeText.h"
#include "link/SystemLocale.h"

namespace orvanta::link {
namespace {

// Tuesday 5 March 2024, 21:07:03.
constexpr LocalDateTime kEvening{2024, 3, 5, 2, 21, 7, 3};

TEST(DescribeLocaleTest, qtFormatsMapOntoTheSettings) {
    struct Case {
        const char* name;
        std::string date, time;
    };
    const Case cases[] = {
        {"it_IT", "05/03/24", "21:07:03"},      {"en_US", "3/5/24", "9:07:03 PM"},
        {"de_DE", "05.03.24", "21:07:03"},      {"fi_FI", "5.3.2024", "21.07.03"},
        {"hu_HU", "2024. 03. 05.", "21:07:03"},
    };
    for (const Case& c : cases) {
        const LocaleDescription locale = DescribeLocale(QLocale(QString::fromLatin1(c.name)));
        EXPECT_EQ(DateText(locale, kEvening), c.date) << c.name;
        EXPECT_EQ(TimeText(locale, kEvening), c.time) << c.name;
    }
    const LocaleDescription korean = DescribeLocale(QLocale(QLocale::Korean, QLocale::SouthKorea));
    EXPECT_TRUE(korean.twelveHourClock);
    EXPECT_TRUE(korean.designatorBeforeTime);
    EXPECT_FALSE(korean.leadingZeroHours);
}

}  // namespace
}  // namespace orvanta::link

#include "link/DateTimeText.h"

namespace orvanta::link {

namespace {

std::string Digits(int value, int width) {
    std::string text = std::to_string(value);
    while (static_cast<int>(text.size()) < width) {
        text.insert(text.begin(), '0');
    }
    return text;
}

template <std::size_t N>
std::string NameAt(const std::array<std::string, N>& names, int index) {
    return index >= 0 && index < static_cast<int>(N) ? names[index] : std::string();
}

}  // namespace

std::string DateText(const LocaleDescription& locale, const LocalDateTime& when) {
    const std::string& picture = locale.shortDatePicture;
    std::string out;
    std::size_t i = 0;
    while (i < picture.size()) {
        const char c = picture[i];
        std::size_t run = 1;
        while (i + run < picture.size() && picture[i + run] == c) {
            ++run;
        }
        if (c == '\'' || c == '"') {
            // Quoted literal; a doubled quote inside stands for one.
            std::size_t j = i + 1;
            while (j < picture.size()) {
                if (picture[j] == c) {
                    if (j + 1 < picture.size() && picture[j + 1] == c) {
                        out += c;
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                out += picture[j++];
            }
            i = j;
            continue;
        }
        if (c == 'd') {
            if (run == 1 || run == 2) {
                out += Digits(when.day, static_cast<int>(run));
            } else if (run == 3) {
                out += NameAt(locale.shortDayNames, when.dayOfWeek);
            } else {
                out += NameAt(locale.longDayNames, when.dayOfWeek);
            }
        } else if (c == 'M' || c == 'm') {
            if (run == 1 || run == 2) {
                out += Digits(when.month, static_cast<int>(run));
            } else if (run == 3) {
                out += NameAt(locale.shortMonthNames, when.month - 1);
            } else {
                out += NameAt(locale.longMonthNames, when.month - 1);
            }
        } else if (c == 'y') {
            out += run <= 2 ? Digits(when.year % 100, 2) : Digits(when.year, 4);
        } else if (c == '/') {
            for (std::size_t k = 0; k < run; ++k) {
                out += locale.dateSeparator;
            }
        } else {
            out.append(run, c);
        }
        i += run;
    }
    return out;
}

std::string TimeText(const LocaleDescription& locale, const LocalDateTime& when) {
    int hour = when.hour;
    if (locale.twelveHourClock) {
        hour %= 12;
        if (hour == 0) {
            hour = 12;
        }
    }
    std::string time = Digits(hour, locale.leadingZeroHours ? 2 : 1) + locale.timeSeparator +
                       Digits(when.minute, 2) + locale.timeSeparator + Digits(when.second, 2);
    if (!locale.twelveHourClock) {
        return time;
    }
    const std::string& designator = when.hour < 12 ? locale.amDesignator : locale.pmDesignator;
    return locale.designatorBeforeTime ? designator + " " + time : time + " " + designator;
}

}  // namespace orvanta::link

#include "link/SystemLocale.h"

#include <QLocale>
#include <QString>

#include <vector>

namespace orvanta::link {

namespace {

std::string Bytes(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

bool IsLetter(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// A Qt date/time format cut into fields (runs of one letter), quoted literals (kept with their
// quotes) and unquoted literal runs.
struct Piece {
    enum Kind { Field, Quoted, Literal } kind;
    QString text;
};

std::vector<Piece> Pieces(const QString& format) {
    std::vector<Piece> pieces;
    qsizetype i = 0;
    while (i < format.size()) {
        const QChar c = format[i];
        qsizetype j = i + 1;
        if (c == u'\'') {
            while (j < format.size()) {
                if (format[j] == u'\'') {
                    if (j + 1 < format.size() && format[j + 1] == u'\'') {
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                ++j;
            }
            pieces.push_back({Piece::Quoted, format.mid(i, j - i)});
        } else if (IsLetter(c)) {
            while (j < format.size() && format[j] == c) {
                ++j;
            }
            pieces.push_back({Piece::Field, format.mid(i, j - i)});
        } else {
            while (j < format.size() && !IsLetter(format[j]) && format[j] != u'\'') {
                ++j;
            }
            pieces.push_back({Piece::Literal, format.mid(i, j - i)});
        }
        i = j;
    }
    return pieces;
}

void DescribeDate(const QString& format, LocaleDescription& out) {
    const std::vector<Piece> pieces = Pieces(format);
    QString separator;
    for (std::size_t k = 1; k + 1 < pieces.size(); ++k) {
        if (pieces[k].kind == Piece::Literal && pieces[k - 1].kind == Piece::Field &&
            pieces[k + 1].kind == Piece::Field) {
            separator = pieces[k].text;
            break;
        }
    }
    QString picture;
    for (const Piece& piece : pieces) {
        if (piece.kind != Piece::Literal || separator == u"/") {
            picture += piece.text;
            continue;
        }
        // Quote what the picture would otherwise read as a separator or a quote.
        QString text = piece.text;
        text.replace(u'/', QStringLiteral("'/'"));
        text.replace(u'"', QStringLiteral("'\"'"));
        if (!separator.isEmpty()) {
            text.replace(separator, QStringLiteral("/"));
        }
        picture += text;
    }
    out.shortDatePicture = Bytes(picture);
    out.dateSeparator = separator.isEmpty() ? "/" : Bytes(separator);
}

void DescribeTime(const QString& format, LocaleDescription& out) {
    const std::vector<Piece> pieces = Pieces(format);
    int hourAt = -1;
    int markAt = -1;
    for (int k = 0; k < static_cast<int>(pieces.size()); ++k) {
        const Piece& piece = pieces[k];
        if (piece.kind != Piece::Field) {
            continue;
        }
        const QChar letter = piece.text[0];
        if (hourAt < 0 && (letter == u'h' || letter == u'H')) {
            hourAt = k;
        } else if (markAt < 0 && (letter == u'a' || letter == u'A')) {
            markAt = k;
        }
    }
    out.leadingZeroHours = hourAt >= 0 && pieces[hourAt].text.size() >= 2;
    out.twelveHourClock = markAt >= 0;
    out.designatorBeforeTime = markAt >= 0 && hourAt >= 0 && markAt < hourAt;
    // Without a separator after the hour, the default ":" stays.
    if (hourAt >= 0 && hourAt + 2 < static_cast<int>(pieces.size()) &&
        pieces[hourAt + 1].kind == Piece::Literal && pieces[hourAt + 2].kind == Piece::Field) {
        out.timeSeparator = Bytes(pieces[hourAt + 1].text);
    }
}

}  // namespace

LocaleDescription DescribeLocale(const QLocale& locale) {
    LocaleDescription out;
    DescribeDate(locale.dateFormat(QLocale::ShortFormat), out);
    DescribeTime(locale.timeFormat(QLocale::ShortFormat), out);
    out.amDesignator = Bytes(locale.amText());
    out.pmDesignator = Bytes(locale.pmText());
    for (int month = 1; month <= 12; ++month) {
        out.shortMonthNames[month - 1] = Bytes(locale.monthName(month, QLocale::ShortFormat));
        out.longMonthNames[month - 1] = Bytes(locale.monthName(month, QLocale::LongFormat));
    }
    // Qt counts Monday as 1 and Sunday as 7; the names here start on Sunday.
    for (int day = 0; day < 7; ++day) {
        const int qtDay = day == 0 ? 7 : day;
        out.shortDayNames[day] = Bytes(locale.dayName(qtDay, QLocale::ShortFormat));
        out.longDayNames[day] = Bytes(locale.dayName(qtDay, QLocale::LongFormat));
    }
    return out;
}

}  // namespace orvanta::link

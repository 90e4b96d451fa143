#include "registry/widgets/DisplayText.h"

#include <QByteArray>
#include <QStringDecoder>

#include <algorithm>
#include <array>

#include "registry/widgets/SystemCodePage.h"

namespace orvanta::registry::widgets {

namespace {

// Windows-1252 from 0x80 to 0x9F; the unassigned bytes keep their own number.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool Windows1252Byte(char16_t c, char& byte) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        byte = static_cast<char>(c);
        return true;
    }
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == c) {
            byte = static_cast<char>(0x80 + i);
            return true;
        }
    }
    return false;
}

QString FromUtf8(std::string_view bytes) {
    // A leading byte-order mark is part of the value: it must come back too.
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom |
                                                       QStringConverter::Flag::Stateless);
    return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

bool IsBidiControl(char16_t c) {
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E ||
           c == 0x200F || c == 0x061C;
}

}  // namespace

TextEncoding SystemEncoding() {
    return codepage::IsSystemAnsi() ? TextEncoding::SystemAnsi : TextEncoding::Utf8;
}

TextEncoding ShownEncoding(std::string_view bytes) {
    if (codepage::IsSystemAnsi()) {
        return codepage::FromAnsi(bytes) ? TextEncoding::SystemAnsi : TextEncoding::Windows1252;
    }
    // Valid UTF-8 is what comes back unchanged from a round trip (no replacement character,
    // no overlong or surrogate forms).
    const QString text = FromUtf8(bytes);
    const QByteArray back = text.toUtf8();
    return std::string_view(back.constData(), static_cast<std::size_t>(back.size())) == bytes
               ? TextEncoding::Utf8
               : TextEncoding::Windows1252;
}

QString Decoded(std::string_view bytes, TextEncoding encoding) {
    if (encoding == TextEncoding::Utf8) {
        return FromUtf8(bytes);
    }
    if (encoding == TextEncoding::SystemAnsi) {
        if (const auto text = codepage::FromAnsi(bytes)) {
            return *text;
        }
    }
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        text.append(QChar(b >= 0x80 && b < 0xA0 ? kHighControls[b - 0x80] : char16_t{b}));
    }
    return text;
}

std::string Encoded(const QString& text, TextEncoding encoding) {
    if (encoding == TextEncoding::SystemAnsi) {
        if (auto bytes = codepage::ToAnsi(text)) {
            return std::move(*bytes);
        }
        return Encoded(text, TextEncoding::Utf8);
    }
    if (encoding == TextEncoding::Windows1252) {
        std::string bytes;
        bytes.reserve(static_cast<std::size_t>(text.size()));
        char byte = 0;
        for (const QChar c : text) {
            if (!Windows1252Byte(c.unicode(), byte)) {
                return Encoded(text, TextEncoding::Utf8);
            }
            bytes.push_back(byte);
        }
        return bytes;
    }
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString ShownText(std::string_view bytes) {
    return Decoded(bytes, ShownEncoding(bytes));
}

QString WithBidiControlsShown(const QString& text) {
    const auto first =
        std::find_if(text.begin(), text.end(), [](QChar c) { return IsBidiControl(c.unicode()); });
    if (first == text.end()) {
        return text;
    }
    QString shown(text.begin(), first - text.begin());
    for (auto c = first; c != text.end(); ++c) {
        if (IsBidiControl(c->unicode())) {
            shown += QString::asprintf("<U+%04X>", static_cast<unsigned>(c->unicode()));
        } else {
            shown += *c;
        }
    }
    return shown;
}

ShownValue::ShownValue(std::string bytes)
    : m_bytes(std::move(bytes)),
      m_encoding(ShownEncoding(m_bytes)),
      m_text(Decoded(m_bytes, m_encoding)) {}

std::string ShownValue::BytesFor(const QString& text) const {
    return text == m_text ? m_bytes : Encoded(text, m_encoding);
}

}  // namespace orvanta::registry::widgets

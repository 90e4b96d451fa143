#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace orvanta::registry::widgets {

// Text is bytes below the widgets and is never transcoded there. A widget shows a value
// readably whatever its bytes. On Linux: valid UTF-8 as UTF-8, anything else as Windows-1252,
// in which every byte stands for one character (the five bytes Windows-1252 leaves unassigned
// stand for the control characters of the same number), so the way back gives the same bytes.
// On Windows, text is in the system's ANSI code page, as every program there writes it: a value
// is shown in that code page, and as Windows-1252 only when it would not come back unchanged.
enum class TextEncoding { Utf8, Windows1252, SystemAnsi };

// What text is in where nothing says otherwise: UTF-8 on Linux, the ANSI code page on Windows
// (UTF-8 where Windows is set to use it as that code page).
TextEncoding SystemEncoding();

// The encoding a value is shown in.
TextEncoding ShownEncoding(std::string_view bytes);
QString Decoded(std::string_view bytes, TextEncoding encoding);
// The text's bytes in an encoding. A character that Windows-1252 has no byte for makes the whole
// text UTF-8 rather than lose it.
std::string Encoded(const QString& text, TextEncoding encoding);

// The widget boundary, for registry text, peers' text and the program's own texts alike.
QString ShownText(std::string_view bytes);

// A peer's text as it is read, not edited: every bidirectional control character (embeddings,
// overrides, isolates, the direction marks) is written out as "<U+202E>" and the like, so that
// nothing a player or a server sends can reorder what the operator reads. Only for text that
// never goes back: the marks are not the value's characters.
QString WithBidiControlsShown(const QString& text);

// A value as a widget shows it, remembered so that it goes back byte for byte: while the
// widget's text is the one shown, the value's own bytes; once the operator has changed it, the
// new text in the encoding the value was shown in. Text typed where no value was shown is
// UTF-8, the system's own encoding.
class ShownValue {
public:
    ShownValue() = default;
    explicit ShownValue(std::string bytes);

    const std::string& Bytes() const { return m_bytes; }
    TextEncoding Encoding() const { return m_encoding; }
    // The text the widget shows for the value.
    const QString& Text() const { return m_text; }
    // A widget that rewrites what it is given (the address box, the file box's quotes) tells
    // what it shows.
    void SetText(const QString& shown) { m_text = shown; }

    std::string BytesFor(const QString& text) const;

private:
    std::string m_bytes;
    TextEncoding m_encoding = SystemEncoding();
    QString m_text;
};

}  // namespace orvanta::registry::widgets

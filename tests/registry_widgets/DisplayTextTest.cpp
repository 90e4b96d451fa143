#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <string>

#include "registry/widgets/DisplayText.h"
#include "tests/registry_widgets/QtPrinters.h"

namespace orvanta::registry::widgets {
namespace {

#ifdef _WIN32
// Windows' cases are those of Windows-1252, the ANSI code page of Western European Windows
// (and of wine in a C or Western locale).
bool AnsiIsWindows1252() {
    return ::GetACP() == 1252;
}

TEST(DisplayTextTest, valueShowsInTheSystemsAnsiCodePageNotAsAUtf8Guess) {
    if (!AnsiIsWindows1252()) {
        GTEST_SKIP() << "the cases are Windows-1252's; the ANSI code page here is " << ::GetACP();
    }
    struct Case {
        std::string bytes;
        QString shown;
    };
    const Case cases[] = {
        {"Sala d'attesa", QStringLiteral("Sala d'attesa")},
        {"", QString()},
        {"Citt\xE0", QStringLiteral(u"Citt\u00E0")},
        // UTF-8 bytes are two characters of the code page, as every Windows program shows them.
        {"Citt\xC3\xA0", QStringLiteral(u"Citt\u00C3\u00A0")},
        {"\x80 \x9F", QStringLiteral(u"\u20AC \u0178")},
        {"C:\\media\\caff\xE8.mp4", QStringLiteral(u"C:\\media\\caff\u00E8.mp4")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ShownEncoding(c.bytes), TextEncoding::SystemAnsi) << c.bytes;
        EXPECT_EQ(ShownText(c.bytes), c.shown) << c.bytes;
        EXPECT_EQ(Encoded(ShownText(c.bytes), TextEncoding::SystemAnsi), c.bytes) << c.bytes;
    }
}
#else
TEST(DisplayTextTest, valueShowsAsUtf8WhenItIsAndAsWindows1252Otherwise) {
    struct Case {
        std::string bytes;
        TextEncoding encoding;
        QString shown;
    };
    const Case cases[] = {
        {"Sala d'attesa", TextEncoding::Utf8, QStringLiteral("Sala d'attesa")},
        {"", TextEncoding::Utf8, QString()},
        {"Citt\xC3\xA0", TextEncoding::Utf8, QStringLiteral(u"Citt\u00E0")},
        {"Citt\xE0", TextEncoding::Windows1252, QStringLiteral(u"Citt\u00E0")},
        {"/media/caff\xE8.mp4", TextEncoding::Windows1252,
         QStringLiteral(u"/media/caff\u00E8.mp4")},
        {"\x80 \x9F \x81", TextEncoding::Windows1252, QStringLiteral(u"\u20AC \u0178 \u0081")},
        // What a UTF-8 decoder would take in but not give back the same.
        {"\xC0\xAF", TextEncoding::Windows1252, QStringLiteral(u"\u00C0\u00AF")},  // overlong "/"
        {"\xED\xA0\x80", TextEncoding::Windows1252, QStringLiteral(u"\u00ED\u00A0\u20AC")},
        {"\xEF\xBB\xBFx", TextEncoding::Utf8, QStringLiteral(u"\uFEFFx")},       // the BOM stays
        {"Citt\xC3", TextEncoding::Windows1252, QStringLiteral(u"Citt\u00C3")},  // cut short
        {std::string("a\0b", 3), TextEncoding::Utf8, QString(QStringLiteral("a")) + QChar(0) + 'b'},
        // The program's own texts are single-byte text too.
        {"Il messaggio che scrivi qui sar\xE0 inviato a: ", TextEncoding::Windows1252,
         QStringLiteral(u"Il messaggio che scrivi qui sar\u00E0 inviato a: ")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ShownEncoding(c.bytes), c.encoding) << c.bytes;
        EXPECT_EQ(ShownText(c.bytes), c.shown) << c.bytes;
        // And back byte for byte.
        EXPECT_EQ(Encoded(ShownText(c.bytes), c.encoding), c.bytes) << c.bytes;
    }
}
#endif

TEST(DisplayTextTest, everySingleByteComesBackAsItWent) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    // Windows-1252 on Linux; on Windows the system's code page where every byte comes back
    // from it, Windows-1252 otherwise.
    const TextEncoding encoding = ShownEncoding(all);
    ASSERT_NE(encoding, TextEncoding::Utf8);
    const QString shown = ShownText(all);
    ASSERT_EQ(shown.size(), 256);
    EXPECT_EQ(Encoded(shown, encoding), all);
    EXPECT_EQ(shown.count(QChar(0xFFFD)), 0);
}

TEST(DisplayTextTest, anEditedValueGoesBackInTheEncodingItWasShownIn) {
#ifdef _WIN32
    if (!AnsiIsWindows1252()) {
        GTEST_SKIP() << "the cases are Windows-1252's; the ANSI code page here is " << ::GetACP();
    }
#endif
    ShownValue windows("Citt\xE0");
    EXPECT_EQ(windows.Text(), QStringLiteral(u"Citt\u00E0"));
    EXPECT_EQ(windows.BytesFor(windows.Text()), "Citt\xE0");
    EXPECT_EQ(windows.BytesFor(QStringLiteral(u"Citt\u00E0 vecchia")), "Citt\xE0 vecchia");
    EXPECT_EQ(windows.BytesFor(QStringLiteral(u"\u20AC 5")), "\x80 5");
    // A character Windows-1252 has no byte for: the whole text in UTF-8 rather than lost.
    EXPECT_EQ(windows.BytesFor(QStringLiteral(u"Citt\u00E0 \u03A9")), "Citt\xC3\xA0 \xCE\xA9");

    ShownValue utf8("Citt\xC3\xA0");
    EXPECT_EQ(utf8.BytesFor(utf8.Text()), "Citt\xC3\xA0");
#ifdef _WIN32
    // Shown in the code page, so an edit goes back in it; typed text too.
    EXPECT_EQ(utf8.BytesFor(QStringLiteral(u"Perch\u00E9")), "Perch\xE9");
    EXPECT_EQ(ShownValue().BytesFor(QStringLiteral(u"Perch\u00E9")), "Perch\xE9");
#else
    EXPECT_EQ(utf8.BytesFor(QStringLiteral(u"Perch\u00E9")), "Perch\xC3\xA9");

    // Nothing shown yet: typed text is UTF-8.
    EXPECT_EQ(ShownValue().BytesFor(QStringLiteral(u"Perch\u00E9")), "Perch\xC3\xA9");
#endif

    // A widget that shows the value rewritten gives back the value while its text stays.
    ShownValue address("010.000.000.001");
    address.SetText(QStringLiteral("10.0.0.1"));
    EXPECT_EQ(address.BytesFor(QStringLiteral("10.0.0.1")), "010.000.000.001");
    EXPECT_EQ(address.BytesFor(QStringLiteral("10.0.0.2")), "10.0.0.2");
}

TEST(DisplayTextTest, bidiControlsAreWrittenOutAndTheirNeighboursLeftAlone) {
    struct Case {
        QString text;
        QString shown;
    };
    const Case cases[] = {
        {QStringLiteral(u"\u202E!dekcah"), QStringLiteral("<U+202E>!dekcah")},
        {QStringLiteral(u"a\u202Ab\u202Bc\u202Cd\u202De"),
         QStringLiteral("a<U+202A>b<U+202B>c<U+202C>d<U+202D>e")},
        {QStringLiteral(u"\u2066\u2067\u2068\u2069"),
         QStringLiteral("<U+2066><U+2067><U+2068><U+2069>")},
        {QStringLiteral(u"x\u200Ey\u200Fz\u061C"), QStringLiteral("x<U+200E>y<U+200F>z<U+061C>")},
        // The characters next to each range are text of their own and stay as they are.
        {QStringLiteral(u"\u2029\u202F\u2065\u206A\u200D\u2010\u061B\u061D"),
         QStringLiteral(u"\u2029\u202F\u2065\u206A\u200D\u2010\u061B\u061D")},
        // Right-to-left letters are text, not controls.
        {QStringLiteral(u"\u05E9\u05DC\u05D5\u05DD"), QStringLiteral(u"\u05E9\u05DC\u05D5\u05DD")},
        {QString(), QString()},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WithBidiControlsShown(c.text), c.shown) << c.text.toStdString();
    }
}

}  // namespace
}  // namespace orvanta::registry::widgets

#include <gtest/gtest.h>

#include "QtPrinters.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "registry/widgets/AddressText.h"
#include "registry/widgets/FilenameEdit.h"
#include "registry/widgets/IpAddressEdit.h"
#include "registry/widgets/PortSpinEdit.h"
#include "tests/support/Wait.h"

namespace orvanta::registry::widgets {
namespace {

void FocusAndWait(QWidget& window, QWidget& target) {
    window.show();
    window.activateWindow();
    target.setFocus();
    ASSERT_TRUE(test::WaitUntil([&] {
        QCoreApplication::processEvents();
        return target.hasFocus();
    }));
}

// ---- address box ----

TEST(AddressTextTest, readsEachPartAsAWholeNumberWithinZeroTo255) {
    const std::pair<const char*, const char*> cases[] = {
        {"192.168.0.7", "192.168.0.7"},
        {"010.001.000.255", "10.1.0.255"},  // no leading zeros going out
        {"a.b.c.d", "0.0.0.0"},             // no number reads as 0
        {"1x.2.3.4", "0.2.3.4"},
        {"300.-1.2.3", "255.0.2.3"},  // out of range: the nearer bound
        {"99999999999999999999.1.1.1", "255.1.1.1"},
        {"1.2.3", "1.2.3.0"},  // missing parts are 0
        {"", "0.0.0.0"},
        {"1..3.4", "1.0.3.4"},
        {"1.2.3.4.5", "1.2.3.4"},       // a fifth part is ignored
        {" 7 . 8 .9.10 ", "7.8.9.10"},  // blanks around a number are not part of it
        {"+5.6.7.8", "5.6.7.8"},
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(AddressText(ParseAddressText(in)), out) << in;
    }
}

TEST(IpAddressEditTest, textGoesInAndComesOutByTheRule) {
    IpAddressEdit box;
    EXPECT_EQ(box.text(), QStringLiteral("0.0.0.0"));
    box.setText(QStringLiteral("010.1.300.x"));
    EXPECT_EQ(box.text(), QStringLiteral("10.1.255.0"));
    box.Field(2).clear();  // an empty field counts as 0
    EXPECT_EQ(box.text(), QStringLiteral("10.1.0.0"));
}

TEST(IpAddressEditTest, typingMovesAcrossTheFieldsAndCapsAt255) {
    QWidget window;
    IpAddressEdit box(&window);
    FocusAndWait(window, box.Field(0));
    box.Field(0).selectAll();
    // Each key goes where the focus is at that moment, as typing does.
    const auto type = [](const QString& keys) {
        for (const QChar key : keys) {
            QTest::keyClicks(QApplication::focusWidget(), QString(key));
        }
    };
    type(QStringLiteral("192"));  // a third digit moves on to the next field
    EXPECT_EQ(QApplication::focusWidget(), &box.Field(1));
    type(QStringLiteral("."));  // a dot in a field still empty stays there
    EXPECT_EQ(QApplication::focusWidget(), &box.Field(1));
    type(QStringLiteral("16.1 999"));
    EXPECT_EQ(box.text(), QStringLiteral("192.16.1.255"));
    EXPECT_EQ(QApplication::focusWidget(), &box.Field(3));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);  // back into the third
    EXPECT_EQ(QApplication::focusWidget(), &box.Field(2));
    EXPECT_EQ(box.text(), QStringLiteral("192.16.1.0"));
}

// ---- port box ----

class PortSpinEditTest : public ::testing::Test {
protected:
    void SetUp() override { FocusAndWait(m_window, m_box); }
    QLineEdit& Edit() { return *m_box.findChild<QLineEdit*>(); }
    // The operator replaces the whole text in one edit, as a paste does.
    void Paste(const QString& text) {
        QApplication::clipboard()->setText(text);
        Edit().selectAll();
        QTest::keyClick(&Edit(), Qt::Key_V, Qt::ControlModifier);
    }

    QWidget m_window;
    PortSpinEdit m_box{&m_window};
};

TEST_F(PortSpinEditTest, anEditThatCanStillReachTheRangeStaysAsTypedAndOthersAreClamped) {
    struct Case {
        const char* typed;
        const char* shown;  // right after the edit
        int value;          // what leaving the box makes of it
    };
    const Case cases[] = {
        {"8000", "8000", 8000},
        {"7000", "7000", 7000},
        {"33333", "33333", 33333},
        {"1", "1", 7000},  // 10000 to 19999 are still ahead
        {"80", "80", 7000},
        {"3", "3", 7000},
        {"", "", 7000},
        {"007500", "007500", 7500},
        {"99999", "33333", 33333},  // above the range: at once
        {"33334", "33333", 33333},
        {"123456789012345678901", "33333", 33333},
        {"5", "7000", 7000},  // neither 5xxx nor 5xxxx is a port of the range
        {"34", "7000", 7000},
        {"-5", "7000", 7000},
        {"abc", "7000", 7000},
        {"12ab", "7000", 7000},
    };
    for (const Case& c : cases) {
        Paste(QString::fromLatin1(c.typed));
        EXPECT_EQ(m_box.text(), QString::fromLatin1(c.shown)) << c.typed;
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(&m_box, &out);
        EXPECT_EQ(m_box.text(), QString::number(c.value)) << c.typed;
        EXPECT_EQ(m_box.value(), c.value) << c.typed;
    }
}

TEST_F(PortSpinEditTest, anyPortOfTheRangeCanBeTypedDigitByDigit) {
    for (const char* port : {"18380", "7000", "33333", "9999", "30001", "24680"}) {
        Edit().selectAll();
        QTest::keyClick(&Edit(), Qt::Key_Delete);
        QTest::keyClicks(&Edit(), QString::fromLatin1(port));
        EXPECT_EQ(m_box.text(), QString::fromLatin1(port));
        QTest::keyClick(&Edit(), Qt::Key_Return);
        EXPECT_EQ(m_box.text(), QString::fromLatin1(port));
        EXPECT_EQ(m_box.value(), QString::fromLatin1(port).toInt());
    }
    // One digit too many is above the range at once; Enter clamps a short text.
    Edit().selectAll();
    QTest::keyClicks(&Edit(), QStringLiteral("70008"));
    EXPECT_EQ(m_box.text(), QStringLiteral("33333"));
    Edit().selectAll();
    QTest::keyClicks(&Edit(), QStringLiteral("9"));
    EXPECT_EQ(m_box.text(), QStringLiteral("9"));
    QTest::keyClick(&m_box, Qt::Key_Enter);
    EXPECT_EQ(m_box.text(), QStringLiteral("7000"));
}

TEST_F(PortSpinEditTest, textFromTheProgramShowsAsGivenUntilTheOperatorTouchesIt) {
    for (const char* stored : {"80", "40000", "9001", "", "abc"}) {
        m_box.SetText(QString::fromLatin1(stored));
        EXPECT_EQ(m_box.text(), QString::fromLatin1(stored));
        // Passing through the box is no edit.
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(&m_box, &out);
        m_box.Settle();
        EXPECT_EQ(m_box.text(), QString::fromLatin1(stored));
    }
    // A step starts from the number the stored text stands for.
    m_box.SetText(QStringLiteral("80"));
    QTest::keyClick(&m_box, Qt::Key_Up);
    EXPECT_EQ(m_box.text(), QStringLiteral("7001"));
    m_box.SetText(QStringLiteral("40000"));
    m_box.stepDown();
    EXPECT_EQ(m_box.text(), QStringLiteral("33332"));
    // An edit of a stored text follows the typing rule.
    m_box.SetText(QStringLiteral("80"));
    Edit().setCursorPosition(2);
    QTest::keyClick(&Edit(), Qt::Key_0);
    EXPECT_EQ(m_box.text(), QStringLiteral("800"));
    m_box.Settle();
    EXPECT_EQ(m_box.text(), QStringLiteral("7000"));
}

TEST_F(PortSpinEditTest, arrowsStepByOneWithinTheRange) {
    m_box.SetText(QStringLiteral("7000"));
    QTest::keyClick(&m_box, Qt::Key_Down);
    EXPECT_EQ(m_box.text(), QStringLiteral("7000"));
    QTest::keyClick(&m_box, Qt::Key_Up);
    QTest::keyClick(&m_box, Qt::Key_Up);
    EXPECT_EQ(m_box.text(), QStringLiteral("7002"));
    m_box.SetText(QStringLiteral("33333"));
    m_box.stepUp();
    EXPECT_EQ(m_box.text(), QStringLiteral("33333"));
    m_box.stepDown();
    EXPECT_EQ(m_box.text(), QStringLiteral("33332"));
    // From a text still being typed, the step starts at its clamp.
    Edit().selectAll();
    QTest::keyClicks(&Edit(), QStringLiteral("2"));
    QTest::keyClick(&m_box, Qt::Key_Up);
    EXPECT_EQ(m_box.text(), QStringLiteral("7001"));
}

// ---- file box ----

class FilenameEditTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_temp.isValid());
        ASSERT_TRUE(QDir(m_temp.path()).mkpath(QStringLiteral("Media files")));
        ASSERT_TRUE(QDir(m_temp.path()).mkpath(QStringLiteral("plain")));
        m_box.SetBrowser(
            [this](QWidget*, const QString& caption, const QString& start, const QString& filter) {
                m_calls.push_back({caption, start, filter});
                return m_answer;
            });
    }
    QString Path(const char* relative) const {
        return m_temp.filePath(QString::fromLatin1(relative));
    }

    struct Call {
        QString caption, start, filter;
    };
    QTemporaryDir m_temp;
    FilenameEdit m_box;
    std::vector<Call> m_calls;
    QString m_answer;
};

TEST_F(FilenameEditTest, chosenPathWithABlankIsQuotedAndTheFileNameIsNot) {
    m_box.setText(QStringLiteral("Seleziona un file da riprodurre"));
    m_answer = Path("Media files/clip.mp4");
    QTest::mouseClick(&m_box.BrowseButton(), Qt::LeftButton);
    ASSERT_EQ(m_calls.size(), 1u);
    EXPECT_EQ(m_calls[0].caption, QStringLiteral("Browse"));
    EXPECT_EQ(m_calls[0].filter, QStringLiteral("All files (*)"));
    EXPECT_EQ(m_box.text(), QStringLiteral("\"") + m_answer + QStringLiteral("\""));
    EXPECT_EQ(m_box.FileName(), m_answer);

    m_answer = Path("plain/clip.mp4");
    m_box.Browse();
    EXPECT_EQ(m_box.text(), m_answer);
    EXPECT_EQ(m_box.FileName(), m_answer);

    m_answer.clear();  // cancelled: the text stays
    m_box.Browse();
    EXPECT_EQ(m_box.text(), Path("plain/clip.mp4"));
}

TEST_F(FilenameEditTest, fileNameDropsOnlyAPairOfSurroundingQuotes) {
    const std::pair<const char*, const char*> cases[] = {
        {"\"C:\\Media files\\clip.mp4\"", "C:\\Media files\\clip.mp4"},
        {"/media/clip.mp4", "/media/clip.mp4"},
        {"\"half quoted", "\"half quoted"},
        {"\"", "\""},
        {"\"\"", ""},
        {"a \"b\" c", "a \"b\" c"},
    };
    for (const auto& [text, name] : cases) {
        m_box.setText(QString::fromLatin1(text));
        EXPECT_EQ(m_box.FileName(), QString::fromLatin1(name)) << text;
    }
    EXPECT_EQ(FilenameEdit::Quoted(QStringLiteral("C:\\Media files\\clip.mp4")),
              QStringLiteral("\"C:\\Media files\\clip.mp4\""));
}

TEST_F(FilenameEditTest, dialogStartsInTheBoxFolderElseInThePreviousChoice) {
    // Nothing chosen yet and no folder in the box: the dialog's own default.
    m_box.setText(QStringLiteral("Seleziona un file da riprodurre"));
    m_box.Browse();
    EXPECT_EQ(m_calls.back().start, QString());

    m_answer = Path("plain/a.mp4");
    m_box.Browse();
    // A folder that exists in the box wins, quoted or not.
    m_box.setText(QStringLiteral("\"") + Path("Media files/x.mp4") + QStringLiteral("\""));
    m_box.Browse();
    EXPECT_EQ(m_calls.back().start, Path("Media files"));
    // A folder that does not exist, or none at all: the previous choice's folder.
    m_box.setText(Path("missing/x.mp4"));
    m_box.Browse();
    EXPECT_EQ(m_calls.back().start, Path("plain"));
    m_box.setText(QStringLiteral("clip.mp4"));
    m_box.Browse();
    EXPECT_EQ(m_calls.back().start, Path("plain"));
}

}  // namespace
}  // namespace orvanta::registry::widgets

// The real boxes show text that is not UTF-8 (a Windows-1252 file name in a failure, a reply
// from a peer) readably, as the windows show registry text.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>

#include <functional>
#include <string>

#include "app/QtNotices.h"
#include "tests/app/AnswerBox.h"

namespace orvanta::app {
namespace {

// Runs one box call and reads the text its box showed.
QString ShownBy(const std::function<void()>& call) {
    QString shown;
    AnswerBox(call, [&](QMessageBox& box) { shown = box.text(); });
    return shown;
}

TEST(BoxTextTest, everyBoxShowsSingleByteTextReadably) {
    QtNotices notices;
    const std::function<void(const std::string&)> boxes[] = {
        [&](const std::string& t) { notices.ShowError(t); },
        [&](const std::string& t) { notices.ShowMessage(t); },
        [&](const std::string& t) { notices.ShowWarning(t); },
        [&](const std::string& t) { notices.AskYesNo(t); },
    };
    const std::pair<std::string, QString> texts[] = {
        {"Impossibile aprire /media/caff\xE8.mp4",
         QStringLiteral(u"Impossibile aprire /media/caff\u00E8.mp4")},
        {"550 Citt\xE0: accesso negato", QStringLiteral(u"550 Citt\u00E0: accesso negato")},
#ifdef _WIN32
        // Windows shows every value in its ANSI code page (here Windows-1252), UTF-8 bytes too.
        {"550 Citt\xC3\xA0: accesso negato",
         QStringLiteral(u"550 Citt\u00C3\u00A0: accesso negato")},
#else
        {"550 Citt\xC3\xA0: accesso negato", QStringLiteral(u"550 Citt\u00E0: accesso negato")},
#endif
    };
    for (const auto& show : boxes) {
        for (const auto& [bytes, text] : texts) {
            EXPECT_EQ(ShownBy([&] { show(bytes); }), text) << bytes;
        }
    }
}

}  // namespace
}  // namespace orvanta::app

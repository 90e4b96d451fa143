// The real boxes show text that is not UTF-8 (a Windows-1252 file name in a failure, a reply
// from a peer) readably, as the windows show registry text.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include <functional>
#include <string>

#include "app/QtNotices.h"

namespace orvanta::app {
namespace {

// Runs one box call; once the box is up, reads its text and presses its first button.
QString ShownBy(const std::function<void()>& call) {
    QString shown;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) {
            return;
        }
        poll.stop();
        shown = box->text();
        box->buttons().front()->click();
    });
    poll.start();
    call();
    poll.stop();
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
        {"550 Citt\xC3\xA0: accesso negato", QStringLiteral(u"550 Citt\u00E0: accesso negato")},
    };
    for (const auto& show : boxes) {
        for (const auto& [bytes, text] : texts) {
            EXPECT_EQ(ShownBy([&] { show(bytes); }), text) << bytes;
        }
    }
}

}  // namespace
}  // namespace orvanta::app

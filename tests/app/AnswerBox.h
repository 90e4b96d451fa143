#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <functional>

namespace orvanta::app {

// Runs one call that opens a modal box; once the box is up, hands it to `read`, then presses its
// first button so the call returns.
inline void AnswerBox(const std::function<void()>& call,
                      const std::function<void(QMessageBox&)>& read) {
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) {
            return;
        }
        poll.stop();
        read(*box);
        box->buttons().front()->click();
    });
    poll.start();
    call();
    poll.stop();
}

}  // namespace orvanta::app

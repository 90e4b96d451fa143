#include "app/QtDesktopEffects.h"

#include <sys/resource.h>

#include <QApplication>
#include <QCursor>
#include <QThread>
#include <QWidget>

#include "core/Dispatch.h"

namespace orvanta::app {

void QtDesktopEffects::RestoreWindowTitled(const std::string& title) {
    // The application's own title names the main window, whatever caption it shows.
    if (title != kApplicationTitle) {
        return;
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->isMinimized()) {
            window->showNormal();
        }
    }
}

void QtDesktopEffects::SetNormalPriority() {
    ::setpriority(PRIO_PROCESS, 0, 0);
}

void QtDesktopEffects::MovePointerX(int x) {
    QCursor::setPos(x, QCursor::pos().y());
}

void QtDesktopEffects::MovePointer(int x, int y) {
    QCursor::setPos(x, y);
}

void QtDesktopEffects::FlashApplication(int milliseconds) {
    if (QWidget* window = QApplication::activeWindow()) {
        QApplication::alert(window, milliseconds);
    }
    QThread::msleep(static_cast<unsigned long>(milliseconds));
}

}  // namespace orvanta::app

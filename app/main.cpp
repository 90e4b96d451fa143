#include <QApplication>

#include "app/QtDesktopEffects.h"
#include "app/QtNotices.h"
#include "app/WindowSet.h"
#include "core/Dispatch.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    application.setApplicationName(QString::fromLocal8Bit(orvanta::kApplicationTitle));
    // Menus open with a slide where the desktop animates them.
    QApplication::setEffectEnabled(Qt::UI_AnimateMenu);

    orvanta::app::QtNotices notices;
    orvanta::app::QtDesktopEffects effects;
    {
        orvanta::app::WindowSet windows(notices, effects, {});
        windows.ShowMainWindow();
        application.exec();
    }
    return 0;
}

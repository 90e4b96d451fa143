#include <QApplication>

#include "app/TForm_manager.h"
#include "core/Dispatch.h"
#include "registry/ui/TFormMainManager.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    application.setApplicationName(QString::fromLocal8Bit(orvanta::kApplicationTitle));

    // Created in this order; destroyed in the reverse order when main returns.
    orvanta::registry::ui::TFormMainManager formMainManager;
    orvanta::app::TForm_manager formManager;

    formMainManager.show();
    application.exec();
    return 0;
}

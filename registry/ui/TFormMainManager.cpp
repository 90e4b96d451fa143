#include "registry/ui/TFormMainManager.h"

namespace orvanta::registry::ui {

TFormMainManager::TFormMainManager(QWidget* parent) : QMainWindow(parent) {
    setObjectName("FormMainManager");
    setWindowTitle("KELT Orvanta - Manager");
    setGeometry(67, 133, 898, 534);
}

}  // namespace orvanta::registry::ui

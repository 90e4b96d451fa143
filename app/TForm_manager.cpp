#include "app/TForm_manager.h"

#include <QPushButton>

namespace orvanta::app {

TForm_manager::TForm_manager(QWidget* parent) : QWidget(parent) {
    setObjectName("Form_manager");
    setWindowTitle("Form_manager");
    setGeometry(96, 110, 696, 480);
    // Its buttons would create further links; nothing ever shows the window, so they stay idle.
    int left = 8;
    for (const char* caption : {"Crea Man 1", "Crea Man 2", "Play 1 e 2"}) {
        auto* button = new QPushButton(caption, this);
        button->setGeometry(left, 8, 97, 25);
        left += 105;
    }
}

}  // namespace orvanta::app

#pragma once

#include <QMainWindow>

namespace orvanta::registry::ui {

// The operator's main window.
class TFormMainManager : public QMainWindow {
    Q_OBJECT
public:
    explicit TFormMainManager(QWidget* parent = nullptr);
};

}  // namespace orvanta::registry::ui

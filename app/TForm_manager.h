#pragma once

#include <QWidget>

namespace orvanta::app {

// A hidden test window created at start-up and never shown or used.
class TForm_manager : public QWidget {
    Q_OBJECT
public:
    explicit TForm_manager(QWidget* parent = nullptr);
};

}  // namespace orvanta::app

#pragma once

#include <functional>

#include <QWidget>

namespace orvanta::registry::widgets {

// The grid's top-left cell: a title-like button with a small filled downward triangle;
// a left click on it runs the given action (the column chooser).
class CornerCell : public QWidget {
public:
    CornerCell(std::function<void()> onClick, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::function<void()> m_onClick;
    bool m_pressed = false;
};

}  // namespace orvanta::registry::widgets

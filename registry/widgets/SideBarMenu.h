#pragma once

#include <QColor>
#include <QFont>
#include <QMenu>

namespace orvanta::registry::widgets {

// The popup menu with a side bar: items are drawn 31 pixels right of the menu's left edge;
// the leftmost 29 pixels carry a vertical gradient over the height of the visible items and
// the word "Orvanta" turned to read upwards. Hidden items take no room.
class SideBarMenu : public QMenu {
    Q_OBJECT
public:
    static constexpr int kItemIndent = 31;
    static constexpr int kBarWidth = 29;
    static constexpr int kTextBottomGap = 6;
    static inline const QColor kTopColor{255, 255, 138};
    static inline const QColor kBottomColor{255, 102, 28};
    static constexpr const char* kBarText = "Orvanta";

    explicit SideBarMenu(QWidget* parent = nullptr);

    // The bar's area inside the menu: its left edge, top and height (the visible items).
    QRect BarRect() const;
    // Pixel row y of a bar of height h: per channel top + (bottom - top) * y / h, truncated.
    static QColor BarColor(int y, int height);
    // Arial 12 point bold italic; Liberation Sans (same metrics) where Arial is missing.
    static QFont BarFont();
    // Left edge of the turned text inside the bar: (31 - h) / 2 - 0.5 rounded half to even,
    // minus 1, with h the height of "X" in the bar font.
    static int BarTextLeft();

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace orvanta::registry::widgets

#include "registry/widgets/SideBarMenu.h"

#include <algorithm>

#include <QFontMetrics>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>

#include "registry/widgets/DisplayText.h"
#include "registry/widgets/Rounding.h"

namespace orvanta::registry::widgets {

namespace {

// Widens every item by the indent and draws it that far to the right. No margins between
// the frame and the items, so the bar runs from the first item's top to the last one's
// bottom; the frame gets a pixel of its own (some styles draw it over the items' edges).
class SideBarStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_MenuHMargin || metric == PM_MenuVMargin) {
            return 0;
        }
        if (metric == PM_MenuPanelWidth) {
            return std::max(1, QProxyStyle::pixelMetric(metric, option, widget));
        }
        return QProxyStyle::pixelMetric(metric, option, widget);
    }

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override {
        QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
        if (type == CT_MenuItem) {
            result.rwidth() += SideBarMenu::kItemIndent;
        }
        return result;
    }

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        if (element == CE_MenuItem) {
            if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option)) {
                QStyleOptionMenuItem shifted(*item);
                shifted.rect.setLeft(shifted.rect.left() + SideBarMenu::kItemIndent);
                QProxyStyle::drawControl(element, &shifted, painter, widget);
                return;
            }
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

}  // namespace

SideBarMenu::SideBarMenu(QWidget* parent) : QMenu(parent) {
    auto* look = new SideBarStyle;
    look->setParent(this);
    setStyle(look);
}

QColor SideBarMenu::BarColor(int y, int height) {
    const auto channel = [&](int top, int bottom) { return top + (bottom - top) * y / height; };
    return QColor(channel(kTopColor.red(), kBottomColor.red()),
                  channel(kTopColor.green(), kBottomColor.green()),
                  channel(kTopColor.blue(), kBottomColor.blue()));
}

QFont SideBarMenu::BarFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setPixelSize(16);
    font.setBold(true);
    font.setItalic(true);
    return font;
}

int SideBarMenu::BarTextLeft() {
    // The height of a text is that of its line, ascent and descent, whatever its letters.
    const int h = QFontMetrics(BarFont()).height();
    // (31 - h) / 2 - 0.5 = (30 - h) / 2
    return static_cast<int>(RoundHalfEven(kItemIndent - 1 - h, 2)) - 1;
}

QRect SideBarMenu::BarRect() const {
    int top = -1;
    int left = 0;
    int height = 0;
    for (QAction* action : actions()) {
        if (!action->isVisible()) {
            continue;
        }
        const QRect item = actionGeometry(action);
        if (top < 0) {
            top = item.top();
            left = item.left();
        }
        height += item.height();
    }
    return top < 0 ? QRect() : QRect(left, top, kBarWidth, height);
}

void SideBarMenu::paintEvent(QPaintEvent* event) {
    QMenu::paintEvent(event);
    const QRect bar = BarRect();
    if (bar.isEmpty()) {
        return;
    }
    QPainter painter(this);
    for (int y = 0; y < bar.height(); ++y) {
        painter.fillRect(bar.left(), bar.top() + y, bar.width(), 1, BarColor(y, bar.height()));
    }
    painter.setClipRect(bar);
    const QFont font = BarFont();
    painter.setFont(font);
    painter.setPen(Qt::white);
    // The text's top-left corner stands 6 pixels above the bottom; turned a quarter to the
    // left, it reads upwards and its top faces the menu's left edge.
    painter.translate(bar.left() + BarTextLeft(), bar.bottom() + 1 - kTextBottomGap);
    painter.rotate(-90);
    painter.drawText(QPoint(0, QFontMetrics(font).ascent()), ShownText(kBarText));
}

}  // namespace orvanta::registry::widgets

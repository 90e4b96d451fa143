#include <gtest/gtest.h>

#include "QtPrinters.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QTest>

#include "Pixels.h"
#include "registry/widgets/SideBarMenu.h"

namespace orvanta::registry::widgets {
namespace {

using test::BoundingBox;
using test::PixelAt;

class SideBarMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_menu.addAction(QStringLiteral("1 - &Inizializza lettori"));
        m_menu.addAction(QStringLiteral("2 - Copia &files nei lettori"));
        m_menu.addAction(QStringLiteral("3 - &Carica files nei lettori"));
        m_menu.addSeparator();
        m_menu.addAction(QStringLiteral("Normalscreen"))->setVisible(false);
        m_menu.addAction(QStringLiteral("Fullscreen"))->setVisible(false);
        m_menu.addAction(QStringLiteral("&Play"));
        m_menu.addAction(QStringLiteral("&Pausa"));
        m_menu.addAction(QStringLiteral("&Stop"));
    }
    QImage Picture() {
        m_menu.popup(QPoint(20, 20));
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&m_menu));
        const QImage picture = m_menu.grab().toImage();
        if (const char* keep = getenv("KEEP_PICTURES")) {
            picture.save(QString::fromLocal8Bit(keep) + QStringLiteral("/menu.png"));
        }
        return picture;
    }
    // Expected colour of bar row y: per channel start + (end - start) * y / H, truncated.
    static QColor Gradient(int y, int height) {
        return QColor(255, 255 + (102 - 255) * y / height, 138 + (28 - 138) * y / height);
    }

    SideBarMenu m_menu;
};

TEST_F(SideBarMenuTest, barIsAVerticalGradientOverTheVisibleItems) {
    const QImage picture = Picture();
    const QRect bar = m_menu.BarRect();
    ASSERT_EQ(bar.width(), 29);
    int visibleHeight = 0;
    for (QAction* action : m_menu.actions()) {
        visibleHeight += action->isVisible() ? m_menu.actionGeometry(action).height() : 0;
    }
    EXPECT_EQ(bar.height(), visibleHeight);
    const int h = bar.height();
    // Left and right columns of the bar, clear of the text; top, middle, bottom and rows
    // where the integer division truncates.
    for (const int y : {0, 1, h / 3, h / 2, h - 7, h - 1}) {
        for (const int x : {bar.left(), bar.left() + 1, bar.right()}) {
            EXPECT_EQ(PixelAt(picture, {x, bar.top() + y}), Gradient(y, h)) << x << "," << y;
        }
    }
    EXPECT_EQ(PixelAt(picture, {bar.left(), bar.top()}), QColor(255, 255, 138));
}

TEST_F(SideBarMenuTest, hiddenItemsTakeNoRoom) {
    Picture();
    const int withHidden = m_menu.BarRect().height();
    SideBarMenu without;
    for (QAction* action : m_menu.actions()) {
        if (action->isVisible()) {
            without.addAction(action);
        }
    }
    without.popup(QPoint(20, 20));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&without));
    EXPECT_EQ(without.BarRect().height(), withHidden);
    EXPECT_EQ(without.height(), m_menu.height());
}

TEST_F(SideBarMenuTest, itemsAreDrawnFromThirtyOnePixelsOnwards) {
    const QImage picture = Picture();
    const QRect bar = m_menu.BarRect();
    // Between the bar and the items there is only the menu's background.
    const QColor background = PixelAt(picture, {bar.left() + 29, bar.top() + 2});
    EXPECT_TRUE(BoundingBox(picture, QRect(bar.left() + 29, bar.top(), 2, bar.height()),
                            test::IsNot(background))
                    .isEmpty());
    // The captions start right of that: dark text pixels exist only beyond x = 31.
    const auto dark = [](QColor c) { return c.lightness() < 100; };
    const QRect text = BoundingBox(
        picture, QRect(bar.left() + 29, bar.top(), picture.width() - 29 - bar.left(), bar.height()),
        dark);
    ASSERT_FALSE(text.isEmpty());
    EXPECT_GE(text.left(), bar.left() + 31);
}

TEST_F(SideBarMenuTest, wordStandsUpwardsSixPixelsAboveTheBottomInWhiteBoldItalic) {
    const QFont font = SideBarMenu::BarFont();
    const QString family = QFontInfo(font).family();
    EXPECT_TRUE(family == QStringLiteral("Arial") || family == QStringLiteral("Liberation Sans"))
        << family.toStdString();
    EXPECT_TRUE(QFontInfo(font).bold());
    EXPECT_TRUE(QFontInfo(font).italic());
    EXPECT_EQ(QFontInfo(font).pixelSize(), 16);

    const QImage picture = Picture();
    const QRect bar = m_menu.BarRect();
    const QRect word = BoundingBox(picture, bar, [](QColor c) { return c == QColor(Qt::white); });
    ASSERT_FALSE(word.isEmpty());
    // Upwards: much taller than wide; its glyphs keep to the text cell across the bar.
    EXPECT_GT(word.height(), 2 * word.width());
    const int cellLeft = bar.left() + SideBarMenu::BarTextLeft();
    EXPECT_GE(word.left(), cellLeft);
    EXPECT_LT(word.right(), cellLeft + QFontMetrics(font).height());
    // It starts at 6 pixels above the bottom (a glyph's side bearing may leave a pixel more).
    EXPECT_LE(word.bottom(), bar.bottom() - 6);
    EXPECT_GE(word.bottom(), bar.bottom() - 6 - 2);
    // A 16-pixel bold italic line is 17 to 19 pixels high; (31 - h) / 2 - 0.5 is then 6.5,
    // 6 or 5.5, rounded to even 6, 6 and 6: the text cell starts at 5 for all of them.
    const int lineHeight = QFontMetrics(font).height();
    ASSERT_GE(lineHeight, 17);
    ASSERT_LE(lineHeight, 19);
    EXPECT_EQ(SideBarMenu::BarTextLeft(), 5);
}

}  // namespace
}  // namespace orvanta::registry::widgets

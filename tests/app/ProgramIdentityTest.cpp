#include "app/ProgramIdentity.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QMessageBox>

#include "app/WindowSet.h"
#include "registry/ui/TFormMainManager.h"
#include "tests/support/RecordingDoubles.h"

namespace orvanta::app {
namespace {

TEST(ProgramIdentityTest, theDrawnIconIsCompiledInAndRendersAtAnySize) {
    for (int size : {16, 64, 256}) {
        const QImage image = ProgramIcon().pixmap(size, size).toImage();
        ASSERT_EQ(image.size(), QSize(size, size)) << "the SVG icon cannot be read";
        // The play sign in the screen is white; the bottom-left corner stays transparent.
        const QColor play = image.pixelColor(size * 58 / 128, size * 64 / 128);
        EXPECT_GT(play.lightness(), 240) << size;
        EXPECT_EQ(image.pixelColor(1, size - 2).alpha(), 0) << size;
    }
}

TEST(ProgramIdentityTest, windowsAndBoxesShowTheProgramsIcon) {
    ApplyProgramIdentity(*qApp);
    EXPECT_EQ(QApplication::applicationName(), "KELT Orvanta Manager");
    const qint64 icon = QApplication::windowIcon().cacheKey();
    EXPECT_FALSE(QApplication::windowIcon().isNull());

    test::RecordingNotices notices;
    test::RecordingEffects effects;
    WindowSet windows(notices, effects, {});
    EXPECT_EQ(windows.FormMainManager().windowIcon().cacheKey(), icon);
    QMessageBox box(QMessageBox::Warning, "KELT Orvanta Manager", "testo");
    EXPECT_EQ(box.windowIcon().cacheKey(), icon);
}

}  // namespace
}  // namespace orvanta::app

#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>

#ifndef _WIN32
#include "app/QtDesktopEffects.h"
#endif
#include "app/TForm_manager.h"
#include "app/WindowSet.h"
#include "core/Dispatch.h"
#include "link/TForm1.h"
#include "registry/ui/TFormMainManager.h"
#include "tests/support/LoopbackPeer.h"
#include "tests/support/RecordingDoubles.h"

namespace orvanta::app {
namespace {

class WindowSetTest : public ::testing::Test {
protected:
    test::RecordingNotices m_notices;
    test::RecordingEffects m_effects;
};

TEST_F(WindowSetTest, onlyTheManagerWindowIsShown) {
    WindowSet windows(m_notices, m_effects, {});
    windows.ShowMainWindow();

    EXPECT_EQ(windows.FormMainManager().windowTitle(), "KELT Orvanta - Manager");
    EXPECT_EQ(windows.FormMainManager().geometry(), QRect(67, 133, 898, 534));
    EXPECT_TRUE(windows.FormMainManager().isVisible());
    EXPECT_FALSE(windows.Form_manager().isVisible());
    EXPECT_EQ(windows.Form_manager().windowTitle(), "Form_manager");
    int shown = 0;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        shown += window->isVisible() && window->isWindow() ? 1 : 0;
    }
    EXPECT_EQ(shown, 1);
}

TEST_F(WindowSetTest, startUpLinkPollsAndActsOnTheDesktop) {
    WindowSet windows(m_notices, m_effects, {});
    EXPECT_TRUE(windows.Form1().Timer1.isActive());
    EXPECT_EQ(windows.Form1().Timer1.interval(), 500);
    EXPECT_FALSE(windows.Form1().IdTCPClient1.IsOpen());
    EXPECT_EQ(m_effects.calls, (std::vector<std::string>{
                                   "RestoreWindowTitled KELT Orvanta Manager", "SetNormalPriority",
                                   "UnblockInput", "MovePointerX 586", "MovePointer 586 363"}));
    // Its poll does nothing while the channel has never opened.
    windows.Form1().Timer1Timer();
    EXPECT_TRUE(m_notices.errors.empty());
}

// Qt's desktop effects are the program's only off Windows; a Windows build uses core's
// Win32DesktopEffects, tested with the system's own cursor in core_tests.
#ifndef _WIN32
TEST_F(WindowSetTest, realEffectsPutThePointerAt586And363) {
    QtDesktopEffects effects;
    WindowSet windows(m_notices, effects, {});
    EXPECT_EQ(QCursor::pos(), QPoint(586, 363));
}
#endif

TEST_F(WindowSetTest, closingSendsNoFarewellOnAConnectedLink) {
    test::LoopbackPeer player;
    {
        WindowSet windows(m_notices, m_effects, {});
        link::TForm1& link = windows.Form1();
        link.edServer.Text = "127.0.0.1";
        link.sePort.SetValue(player.Port());
        link.BtnConnectClick();
        ASSERT_TRUE(player.WaitForBytes(20));
    }
    EXPECT_TRUE(player.WaitForClientClosed());
    EXPECT_EQ(player.Received(), "UtenteNonImpostato\r\n");
}

}  // namespace
}  // namespace orvanta::app

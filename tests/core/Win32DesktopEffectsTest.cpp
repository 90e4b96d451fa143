#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>

#include "core/Win32DesktopEffects.h"

namespace orvanta {
namespace {

TEST(Win32DesktopEffectsTest, normalPriorityReturnsTheProcessFromAnyOtherClass) {
    Win32DesktopEffects effects;
    for (DWORD other : {IDLE_PRIORITY_CLASS, HIGH_PRIORITY_CLASS, BELOW_NORMAL_PRIORITY_CLASS}) {
        ASSERT_TRUE(::SetPriorityClass(::GetCurrentProcess(), other));
        effects.SetNormalPriority();
        EXPECT_EQ(::GetPriorityClass(::GetCurrentProcess()),
                  static_cast<DWORD>(NORMAL_PRIORITY_CLASS))
            << other;
    }
}

TEST(Win32DesktopEffectsTest, pointerGoesWhereTheLinkPutsIt) {
    Win32DesktopEffects effects;
    // The program moves the pointer with its windows on the desktop; wine makes a process's
    // desktop on first use, and places no pointer without one.
    ::GetDesktopWindow();
    POINT at{};
    if (!::SetCursorPos(40, 30) || !::GetCursorPos(&at) || at.x != 40 || at.y != 30) {
        GTEST_SKIP() << "this desktop does not let the pointer be placed";
    }
    effects.MovePointerX(586);
    ASSERT_TRUE(::GetCursorPos(&at));
    EXPECT_EQ(at.x, 586);
    EXPECT_EQ(at.y, 30);
    effects.MovePointer(586, 363);
    ASSERT_TRUE(::GetCursorPos(&at));
    EXPECT_EQ(at.x, 586);
    EXPECT_EQ(at.y, 363);
}

TEST(Win32DesktopEffectsTest, unblockingInputClearsTheScreenSaverFlag) {
    Win32DesktopEffects effects;
    BOOL running = FALSE;
    if (!::SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, TRUE, nullptr, 0) ||
        !::SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0) || !running) {
        GTEST_SKIP() << "this desktop keeps no screen-saver flag";
    }
    effects.UnblockInput();
    ASSERT_TRUE(::SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0));
    EXPECT_FALSE(running);
}

TEST(Win32DesktopEffectsTest, minimisedWindowWithTheTitleIsRestored) {
    Win32DesktopEffects effects;
    HWND window =
        ::CreateWindowExA(0, "STATIC", "Orvanta restore test", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                          nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
    if (!window) {
        GTEST_SKIP() << "no window can be made on this desktop";
    }
    ::ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(::IsIconic(window));
    effects.RestoreWindowTitled("Some other title");
    EXPECT_TRUE(::IsIconic(window));
    effects.RestoreWindowTitled("Orvanta restore test");
    EXPECT_FALSE(::IsIconic(window));
    // Flashing a process without the application's window only waits.
    // (GetTickCount moves in steps of up to 16 ms: too coarse to see a 50 ms wait.)
    const auto before = std::chrono::steady_clock::now();
    effects.FlashApplication(50);
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(45));
    ::DestroyWindow(window);
}

}  // namespace
}  // namespace orvanta

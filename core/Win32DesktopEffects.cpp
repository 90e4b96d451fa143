#include "core/Win32DesktopEffects.h"

#include <windows.h>

#include "core/Dispatch.h"

namespace orvanta {

namespace {

// This process's top-level window with the application's title; null when it has none.
HWND ApplicationWindow() {
    struct Search {
        DWORD process;
        HWND found;
    } search{::GetCurrentProcessId(), nullptr};
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(data);
            DWORD process = 0;
            ::GetWindowThreadProcessId(window, &process);
            char title[256] = {};
            ::GetWindowTextA(window, title, sizeof title);
            if (process == s.process && std::string(title) == kApplicationTitle) {
                s.found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

void Win32DesktopEffects::RestoreWindowTitled(const std::string& title) {
    if (HWND window = ::FindWindowA(nullptr, title.c_str())) {
        ::ShowWindow(window, SW_RESTORE);
    }
}

void Win32DesktopEffects::SetNormalPriority() {
    ::SetPriorityClass(::GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
}

void Win32DesktopEffects::UnblockInput() {
    ::BlockInput(FALSE);
    ::SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, 0, nullptr, 0);
}

void Win32DesktopEffects::MovePointerX(int x) {
    POINT at{};
    ::GetCursorPos(&at);
    ::SetCursorPos(x, at.y);
}

void Win32DesktopEffects::MovePointer(int x, int y) {
    ::SetCursorPos(x, y);
}

void Win32DesktopEffects::FlashApplication(int milliseconds) {
    HWND window = ApplicationWindow();
    FLASHWINFO flash{sizeof(FLASHWINFO), window, FLASHW_TRAY, 1, 0};
    if (window) {
        ::FlashWindowEx(&flash);
    }
    ::Sleep(static_cast<DWORD>(milliseconds > 0 ? milliseconds : 0));
    if (window) {
        flash.dwFlags = FLASHW_STOP;
        ::FlashWindowEx(&flash);
    }
}

}  // namespace orvanta

#pragma once

#include "core/DesktopEffects.h"

namespace orvanta {

// The link's desktop effects through the Windows API itself: restoring the application's
// window, the normal priority class, unblocking input and clearing the screen-saver flag,
// moving the pointer and flashing the taskbar entry. Windows builds only.
class Win32DesktopEffects : public DesktopEffects {
public:
    void RestoreWindowTitled(const std::string& title) override;
    void SetNormalPriority() override;
    void UnblockInput() override;
    void MovePointerX(int x) override;
    void MovePointer(int x, int y) override;
    void FlashApplication(int milliseconds) override;
};

}  // namespace orvanta

#pragma once

#include "core/DesktopEffects.h"

namespace orvanta::app {

// What Linux and Qt offer of the link's desktop effects: restoring the minimised main window,
// the normal scheduling priority, moving the pointer and the taskbar alert. Input blocking
// does not exist on this platform, so unblocking it does nothing.
class QtDesktopEffects : public DesktopEffects {
public:
    void RestoreWindowTitled(const std::string& title) override;
    void SetNormalPriority() override;
    void MovePointerX(int x) override;
    void MovePointer(int x, int y) override;
    void FlashApplication(int milliseconds) override;
};

}  // namespace orvanta::app

#pragma once

#include <string>

namespace orvanta {

// Desktop operations a link performs when it is created. The default does nothing, so the
// core runs without a display; the window layer supplies the real ones.
class DesktopEffects {
public:
    virtual ~DesktopEffects() = default;
    virtual void RestoreWindowTitled(const std::string& /*title*/) {}
    virtual void SetNormalPriority() {}
    virtual void UnblockInput() {}
    virtual void MovePointerX(int /*x*/) {}
    virtual void MovePointer(int /*x*/, int /*y*/) {}
    // Flash the application's taskbar entry on, wait, and flash it back.
    virtual void FlashApplication(int /*milliseconds*/) {}
};

}  // namespace orvanta

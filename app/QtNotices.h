#pragma once

#include "core/Descriptors.h"
#include "core/Notices.h"

namespace orvanta::app {

// The real boxes: modal QMessageBox instances captioned with the application title. Their
// nested event loop keeps every timer ticking while they are open. Every text shows as plain
// text, exactly as received.
class QtNotices : public Notices {
public:
    QtNotices() = default;
    // The reserve is released while a box is open, so the box can be drawn even when the
    // program has no other descriptor left.
    explicit QtNotices(DescriptorReserve& reserve) : m_reserve(&reserve) {}

    void ShowError(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    void ShowWarning(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;

private:
    DescriptorReserve* m_reserve = nullptr;
};

}  // namespace orvanta::app

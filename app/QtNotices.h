#pragma once

#include "core/Notices.h"

namespace orvanta::app {

// The real boxes: modal QMessageBox instances captioned with the application title. Their
// nested event loop keeps every timer ticking while they are open. Every text shows as plain
// text, exactly as received.
class QtNotices : public Notices {
public:
    void ShowError(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    void ShowWarning(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
};

}  // namespace orvanta::app

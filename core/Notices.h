#pragma once

#include <string>

namespace orvanta {

// The modal boxes the operator sees. The real implementation lives with the windows and
// runs a nested event loop (timers keep ticking); tests record the texts and answer at once.
class Notices {
public:
    virtual ~Notices() = default;
    // Error box: caption = application title, error icon, OK. Text already has the full-stop rule.
    virtual void ShowError(const std::string& text) = 0;
    // Plain box: caption = application title, no icon, OK, centred on the screen.
    virtual void ShowMessage(const std::string& text) = 0;
    // Warning icon, OK.
    virtual void ShowWarning(const std::string& text) = 0;
    // Confirmation with Yes and No; true for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;
};

}  // namespace orvanta

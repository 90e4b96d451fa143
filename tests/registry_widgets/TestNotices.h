#pragma once

#include <string>
#include <vector>

#include "core/Notices.h"

namespace orvanta::test {

// Records the boxes' texts and answers at once.
struct RecordingNotices : Notices {
    std::vector<std::string> errors;
    std::vector<std::string> messages;
    std::vector<std::string> warnings;
    void ShowError(const std::string& text) override { errors.push_back(text); }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void ShowWarning(const std::string& text) override { warnings.push_back(text); }
    bool AskYesNo(const std::string&) override { return true; }
};

}  // namespace orvanta::test

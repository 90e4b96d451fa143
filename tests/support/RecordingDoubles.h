#pragma once

#include <string>
#include <vector>

#include "core/DesktopEffects.h"
#include "core/Notices.h"

namespace orvanta::test {

// Boxes that record their texts and answer at once, so no test ever blocks on a dialog.
class RecordingNotices : public Notices {
public:
    void ShowError(const std::string& text) override { errors.push_back(text); }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void ShowWarning(const std::string& text) override { warnings.push_back(text); }
    bool AskYesNo(const std::string& text) override {
        questions.push_back(text);
        return answerYes;
    }

    std::vector<std::string> errors, messages, warnings, questions;
    bool answerYes = true;
};

// Desktop effects that record each call in order.
class RecordingEffects : public DesktopEffects {
public:
    void RestoreWindowTitled(const std::string& title) override {
        calls.push_back("RestoreWindowTitled " + title);
    }
    void SetNormalPriority() override { calls.push_back("SetNormalPriority"); }
    void UnblockInput() override { calls.push_back("UnblockInput"); }
    void MovePointerX(int x) override { calls.push_back("MovePointerX " + std::to_string(x)); }
    void MovePointer(int x, int y) override {
        calls.push_back("MovePointer " + std::to_string(x) + " " + std::to_string(y));
    }
    void FlashApplication(int ms) override { calls.push_back("Flash " + std::to_string(ms)); }

    std::vector<std::string> calls;
};

}  // namespace orvanta::test

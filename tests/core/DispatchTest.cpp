#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "core/Dispatch.h"
#include "core/Failure.h"

namespace orvanta {
namespace {

struct RecordingNotices : Notices {
    std::vector<std::string> errors;
    void ShowError(const std::string& text) override { errors.push_back(text); }
    void ShowMessage(const std::string&) override {}
    void ShowWarning(const std::string&) override {}
    bool AskYesNo(const std::string&) override { return true; }
};

TEST(ErrorBoxTextTest, fullStopOnlyAfterBytesSortingAfterDot) {
    const std::pair<std::string, std::string> cases[] = {
        {"Not Connected", "Not Connected."},
        {"Connection refused.", "Connection refused."},
        {"Operation would block. ", "Operation would block. "},
        {"ends with dash -", "ends with dash -"},
        {"ends with digit 5", "ends with digit 5."},
        {"reply\r\n", "reply\r\n"},
        {"", ""},
        {"accent \xE8", "accent \xE8."},
    };
    for (const auto& [message, shown] : cases) {
        EXPECT_EQ(ErrorBoxText(message), shown) << message;
    }
}

TEST(RunGuardedTest, failureReachesErrorBoxAndDoesNotEscape) {
    RecordingNotices notices;
    bool after = false;
    RunGuarded(notices, [&] {
        throw Failure("Not Connected");
        after = true;
    });
    RunGuarded(notices, [] { throw std::runtime_error("other"); });
    RunGuarded(notices, [] {});
    EXPECT_FALSE(after);
    EXPECT_EQ(notices.errors, (std::vector<std::string>{"Not Connected.", "other."}));
}

}  // namespace
}  // namespace orvanta

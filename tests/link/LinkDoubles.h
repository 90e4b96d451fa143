#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <memory>
#include <string>
#include <vector>

#include "core/DesktopEffects.h"
#include "core/Failure.h"
#include "core/Notices.h"
#include "link/ChatWindow.h"
#include "link/TForm1.h"
#include "tests/support/FailureOf.h"
#include "tests/support/LoopbackPeer.h"
#include "tests/support/RecordingDoubles.h"
#include "tests/support/Wait.h"

namespace orvanta::link::test {

using orvanta::test::LoopbackPeer;
using orvanta::test::WaitUntil;

// Timers need an application object; one lives for the whole test program.
QCoreApplication& Application();

using orvanta::test::RecordingEffects;
using orvanta::test::RecordingNotices;

class FakeChatWindow : public ChatWindow {
public:
    explicit FakeChatWindow(std::string caption) : m_caption(std::move(caption)) {}
    std::string Caption() const override { return m_caption; }
    void Show() override { calls.push_back("Show"); }
    void SetUtenteMittenteText(const std::string& text) override {
        calls.push_back("UtenteMittente=" + text);
    }
    void SetEdtRecTextText(const std::string& text) override {
        calls.push_back("edtRecText=" + text);
    }
    void ExecuteActreceiv() override { calls.push_back("actreceiv"); }
    void StartPhantomFlash() override { calls.push_back("flash"); }

    std::vector<std::string> calls;

private:
    std::string m_caption;
};

using orvanta::test::FailureOf;

// A link with recording doubles, a settable current file and chat-window list, and a loopback
// player to connect to.
class LinkFixture : public ::testing::Test {
protected:
    LinkFixture() { Application(); }

    std::unique_ptr<TForm1> MakeLink() {
        return std::make_unique<TForm1>(LinkEnvironment{
            .notices = m_notices,
            .effects = m_effects,
            .currentFile = [this] { return m_currentFile; },
            .chatWindows = [this] { return m_chatWindows; },
            .clock = [this] { return m_now; },
            .locale = [this] { return m_locale; },
        });
    }

    // Connects the link to the loopback player and waits for the greeting.
    void Connect(TForm1& link) {
        link.edServer.Text = "127.0.0.1";
        link.sePort.SetValue(m_peer.Port());
        link.BtnConnectClick();
        ASSERT_TRUE(m_peer.WaitForConnections(1));
        ASSERT_TRUE(m_peer.WaitForBytes(link.edUserName.Text.size() + 2));
    }

    // Bytes the player received after the greeting.
    std::string SentAfterGreeting(std::size_t bytes) {
        const std::size_t greeting = std::string("UtenteNonImpostato\r\n").size();
        EXPECT_TRUE(m_peer.WaitForBytes(greeting + bytes));
        return m_peer.Received().substr(greeting);
    }

    // The player sends the line; the link's poll runs until the line has been handled. A plain
    // marker line follows it, so a line with no visible effect is known to be handled too; the
    // marker is taken off the log again.
    void Deliver(TForm1& link, const std::string& line) {
        const std::string marker = "--handled--";
        m_peer.Send(line + "\r\n" + marker + "\r\n");
        ASSERT_TRUE(WaitUntil([&] {
            link.Timer1Timer();
            return !link.memLines.Lines.empty() && link.memLines.Lines.back() == marker;
        }));
        link.memLines.Lines.pop_back();
    }

    LoopbackPeer m_peer;
    RecordingNotices m_notices;
    RecordingEffects m_effects;
    std::string m_currentFile;
    std::vector<ChatWindow*> m_chatWindows;
    LocalDateTime m_now;
    LocaleDescription m_locale;
};

}  // namespace orvanta::link::test

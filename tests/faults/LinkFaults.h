#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/Dispatch.h"
#include "link/TForm1.h"
#include "tests/support/LoopbackPeer.h"
#include "tests/support/RecordingDoubles.h"

namespace orvanta::faults {

// A player link as the program makes it, with recording boxes, connected to a loopback player.
// Ticks and clicks go through the failure dispatcher, so failures land in the error box.
class LinkFaultFixture : public ::testing::Test {
protected:
    std::unique_ptr<link::TForm1> MakeLink() {
        auto form = std::make_unique<link::TForm1>(
            link::LinkEnvironment{m_notices, m_effects, [this] { return m_currentFile; }});
        // The tests drive the poll themselves.
        form->Timer1.stop();
        return form;
    }

    // Connects the link to the player and waits for its greeting to arrive.
    void Connect(link::TForm1& form, int connection = 0) {
        form.edServer.Text = "127.0.0.1";
        form.sePort.SetValue(m_player.Port());
        form.BtnConnectClick();
        ASSERT_TRUE(m_player.WaitForConnections(connection + 1));
        ASSERT_TRUE(m_player.WaitForBytes(form.edUserName.Text.size() + 2, connection));
    }

    void Tick(link::TForm1& form) {
        RunGuarded(m_notices, [&] { form.Timer1Timer(); });
    }
    void Click(const std::function<void()>& handler) { RunGuarded(m_notices, handler); }

    test::LoopbackPeer m_player;
    test::RecordingNotices m_notices;
    test::RecordingEffects m_effects;
    std::string m_currentFile;
};

}  // namespace orvanta::faults

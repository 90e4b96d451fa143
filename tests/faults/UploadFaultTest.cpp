// FTP servers that fail an upload: the operator reads the failure, and copying the files again
// stores the whole file.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>

#include "tests/db/TempDatabase.h"
#include "tests/faults/LinkFaults.h"
#include "tests/ftp/ScriptedFtpServer.h"

namespace orvanta::faults {
namespace {

using ftp::test::Fd;
using ftp::test::ScriptedFtpServer;
using ftp::test::ScriptedSession;

class UploadFaultTest : public LinkFaultFixture {
protected:
    UploadFaultTest() {
        // Larger than the system's buffers, so a dropped data connection is met while sending.
        for (std::size_t i = 0; m_content.size() < 8u * 1024u * 1024u; ++i) {
            m_content += "blocco " + std::to_string(i) + "\n";
        }
        m_currentFile = (m_folder.Path() / "clip.mp4").string();
        std::ofstream(m_currentFile, std::ios::binary) << m_content;
    }

    // A link logged in to the server, as the initialize command leaves it.
    std::unique_ptr<link::TForm1> LoggedInLink(const ScriptedFtpServer& server) {
        auto form = MakeLink();
        form->IdFTP.Host = "127.0.0.1";
        form->IdFTP.Port = server.Port();
        form->IdFTP.ConnectAndLogin();
        return form;
    }

    // The server's side of an upload that goes through: the whole file arrives.
    static std::string StoreWhole(ScriptedSession& s) {
        Fd data = s.AcceptStore("clip.mp4");
        std::string stored = ScriptedSession::ReceiveAll(data);
        s.Reply("226 Transfer complete.");
        return stored;
    }

    orvanta::test::TempFolder m_folder;
    std::string m_content;
};

TEST_F(UploadFaultTest, dataConnectionDroppedHalfWayFailsTheCopyAndTheNextCopyStoresTheFile) {
    std::string firstPart;
    std::string stored;
    ScriptedFtpServer server([&](ScriptedSession& s) {
        s.Login();
        Fd data = s.AcceptStore("clip.mp4");
        firstPart = ScriptedSession::ReceiveSomeThenReset(data, 100000);
        s.Reply("426 Connection closed; transfer aborted.");
        // The aborted transfer's reply is still unread when the operator copies again: the
        // client first brings the conversation back in step.
        s.Expect("NOOP");
        s.Reply("200 NOOP command successful.");
        stored = StoreWhole(s);
        s.ReadUntilClosed();
    });
    auto form = LoggedInLink(server);

    Click([&] { form->btnInviaFileClick(); });
    ASSERT_EQ(m_notices.errors.size(), 1u);
    EXPECT_TRUE(m_notices.errors[0] == "Socket Error # 10054\r\nConnection reset by peer." ||
                m_notices.errors[0] ==
                    "Socket Error # 10058\r\nCannot send or receive after socket is closed.")
        << m_notices.errors[0];
    EXPECT_EQ(form->barprog.Max(), static_cast<std::int64_t>(m_content.size()));
    EXPECT_GE(form->barprog.Position(), 100000);
    EXPECT_LT(form->barprog.Position(), form->barprog.Max());

    Click([&] { form->btnInviaFileClick(); });
    EXPECT_EQ(m_notices.errors.size(), 1u) << m_notices.errors.back();
    EXPECT_EQ(form->barprog.Position(), form->barprog.Max());
    form.reset();
    EXPECT_EQ(server.Finish(), "");
    EXPECT_GE(firstPart.size(), 100000u);
    EXPECT_TRUE(stored == m_content) << stored.size() << " of " << m_content.size() << " bytes";
}

TEST_F(UploadFaultTest, serverThatNeverConnectsBackTimesOutAndTheNextCopyStoresTheFile) {
    std::string stored;
    ScriptedFtpServer server([&](ScriptedSession& s) {
        s.Login();
        s.Read();
        s.Reply("200 PORT command successful.");
        s.Expect("STOR clip.mp4");
        s.Reply("150 Opening data connection.");
        // No data connection. The server gives up only once the client has moved on.
        s.Expect("NOOP");
        s.Reply("425 Can't open data connection.");
        s.Reply("200 NOOP command successful.");
        stored = StoreWhole(s);
        s.ReadUntilClosed();
    });
    auto form = LoggedInLink(server);
    form->IdFTP.DataConnectionTimeout = std::chrono::milliseconds(300);

    Click([&] { form->btnInviaFileClick(); });
    EXPECT_EQ(m_notices.errors,
              std::vector<std::string>{"Socket Error # 10060\r\nConnection timed out."});
    EXPECT_EQ(form->barprog.Position(), 0);

    Click([&] { form->btnInviaFileClick(); });
    EXPECT_EQ(m_notices.errors.size(), 1u) << m_notices.errors.back();
    EXPECT_EQ(form->barprog.Position(), static_cast<std::int64_t>(m_content.size()));
    form.reset();
    EXPECT_EQ(server.Finish(), "");
    EXPECT_TRUE(stored == m_content) << stored.size() << " of " << m_content.size() << " bytes";
}

TEST_F(UploadFaultTest, serverRefusingNoopAfterAFailedTransferFailsTheCopyInsteadOfHanging) {
    ScriptedFtpServer server([&](ScriptedSession& s) {
        s.Login();
        s.Read();
        s.Reply("200 PORT command successful.");
        s.Expect("STOR clip.mp4");
        s.Reply("150 Opening data connection.");
        s.Expect("NOOP");
        s.Reply("425 Can't open data connection.");
        s.Reply("502 Command not implemented.");
        s.ReadUntilClosed();
    });
    auto form = LoggedInLink(server);
    form->IdFTP.DataConnectionTimeout = std::chrono::milliseconds(300);

    Click([&] { form->btnInviaFileClick(); });
    Click([&] { form->btnInviaFileClick(); });
    EXPECT_EQ(m_notices.errors,
              (std::vector<std::string>{"Socket Error # 10060\r\nConnection timed out.",
                                        "Command not implemented.\r\n"}));
    form.reset();
    EXPECT_EQ(server.Finish(), "");
}

TEST_F(UploadFaultTest, serverThatStopsReadingTheDataFailsTheCopyInsteadOfHanging) {
    ScriptedFtpServer server([&](ScriptedSession& s) {
        s.Login();
        // Connects and never reads: the system's buffers fill and the client's sends stall.
        Fd data = s.AcceptStore("clip.mp4");
        s.ReadUntilClosed();
    });
    auto form = LoggedInLink(server);
    form->IdFTP.DataSendStallTimeout = std::chrono::milliseconds(300);

    Click([&] { form->btnInviaFileClick(); });
    EXPECT_EQ(m_notices.errors,
              std::vector<std::string>{"Socket Error # 10060\r\nConnection timed out."});
    EXPECT_GT(form->barprog.Position(), 0);
    EXPECT_LT(form->barprog.Position(), form->barprog.Max());
    form.reset();
    EXPECT_EQ(server.Finish(), "");
}

}  // namespace
}  // namespace orvanta::faults

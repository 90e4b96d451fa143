#include <gtest/gtest.h>

#include "tests/link/LinkDoubles.h"

namespace orvanta::link::test {
namespace {

using State = ControlChannel::State;

class TForm1Test : public LinkFixture {};

TEST_F(TForm1Test, creationActsOnTheDesktopAndStartsOnlyThePoll) {
    auto link = MakeLink();
    EXPECT_EQ(m_effects.calls, (std::vector<std::string>{
                                   "RestoreWindowTitled KELT Orvanta Manager",
                                   "SetNormalPriority",
                                   "UnblockInput",
                                   "MovePointerX 586",
                                   "MovePointer 586 363",
                               }));
    EXPECT_TRUE(link->Timer1.isActive());
    EXPECT_EQ(link->Timer1.interval(), 500);
    const std::pair<QTimer*, int> stopped[] = {
        {&link->Timer2, 30000},
        {&link->timergetusrstatus, 5000},
        {&link->TimerSyncRoster, 600000},
        {&link->timersyncmymess, 600000},
        {&link->timersyncusrstatus, 600000},
    };
    for (auto [timer, interval] : stopped) {
        EXPECT_FALSE(timer->isActive());
        EXPECT_EQ(timer->interval(), interval);
    }
    EXPECT_EQ(link->sePort.Value(), 9876);
    EXPECT_EQ(link->IdFTP.Host, "localhost");
    EXPECT_EQ(link->IdFTP.Port, 69);
    EXPECT_EQ(link->IdFTP.Username, "orvanta");
    EXPECT_EQ(link->IdFTP.Password, "brindlemoss");
    EXPECT_EQ(link->IdTCPClient1.GetState(), State::NeverOpened);
    // A link that never connected polls and does nothing.
    EXPECT_NO_THROW(link->Timer1Timer());
}

TEST_F(TForm1Test, connectGreetsWithTheUserNameAndSetsTheFtpPort) {
    auto link = MakeLink();
    Connect(*link);
    EXPECT_EQ(m_peer.Received(), "UtenteNonImpostato\r\n");
    EXPECT_TRUE(link->IdTCPClient1.IsOpen());
    EXPECT_EQ(link->IdFTP.Port, m_peer.Port() + 1);
    EXPECT_EQ(link->IdFTP.Host, "localhost");  // the group commands set it
}

TEST_F(TForm1Test, connectOnAnOpenLinkDoesNothing) {
    auto link = MakeLink();
    Connect(*link);
    link->IdFTP.Port = 1;
    link->sePort.SetValue(m_peer.Port());
    link->BtnConnectClick();
    EXPECT_EQ(link->IdFTP.Port, 1);
    EXPECT_FALSE(m_peer.WaitForConnections(2, std::chrono::milliseconds(200)));
    EXPECT_EQ(m_peer.Received(), "UtenteNonImpostato\r\n");
}

TEST_F(TForm1Test, emptyUserNameOrHostShowsThePlainBoxAndOpensNothing) {
    struct Case {
        std::string user, host;
    };
    for (const Case& c : {Case{"", "127.0.0.1"}, Case{"UtenteNonImpostato", ""}}) {
        m_notices.messages.clear();
        auto link = MakeLink();
        link->edUserName.Text = c.user;
        link->edServer.Text = c.host;
        link->sePort.SetValue(m_peer.Port());
        EXPECT_NO_THROW(link->BtnConnectClick());
        EXPECT_EQ(m_notices.messages,
                  std::vector<std::string>{"Impossibile contattare il player."});
        EXPECT_EQ(link->IdTCPClient1.GetState(), State::NeverOpened);
        EXPECT_EQ(link->IdFTP.Port, 69);
    }
    EXPECT_EQ(m_peer.ConnectionCount(), 0);
}

TEST_F(TForm1Test, refusedConnectionFailsAndLeavesTheFtpPort) {
    int closedPort;
    {
        LoopbackPeer gone;
        closedPort = gone.Port();
    }
    auto link = MakeLink();
    link->edServer.Text = "127.0.0.1";
    link->sePort.SetValue(closedPort);
    EXPECT_EQ(FailureOf([&] { link->BtnConnectClick(); }),
              "Socket Error # 10061\r\nConnection refused.");
    EXPECT_EQ(link->IdFTP.Port, 69);
    EXPECT_EQ(FailureOf([&] { link->btnPlayClick(); }), "Connection Closed Gracefully.");
}

TEST_F(TForm1Test, portTextThatIsNotANumberReadsAsZero) {
    const std::pair<std::string, int> cases[] = {
        {"9876", 9876}, {" 21", 21}, {"-5", -5},  {"+7", 7},
        {"12a", 0},     {"", 0},     {"0x10", 0}, {"99999999999", 0},
    };
    for (const auto& [text, value] : cases) {
        SpinEdit spin{text};
        EXPECT_EQ(spin.Value(), value) << text;
    }
}

TEST_F(TForm1Test, playerCommandsAreSentByteForByte) {
    auto link = MakeLink();
    Connect(*link);
    m_currentFile = "C:\\media\\clip one.mp4";
    link->btnPlayClick();
    link->btnpauseClick();
    link->btnstopClick();
    link->btnfullscreenClick();
    link->btnnormalscreenClick();
    link->btn_prepfileplayClick();
    m_currentFile = "C:/media/clip.mp4";  // the row current when the command runs
    link->btn_prepfileplayClick();
    m_currentFile = "\\\\server\\share\\clip.mp4";
    link->btn_prepfileplayClick();
    const std::string expected =
        "@PLAY:<USERID>COMANDO PLAY</USERID>\r\n"
        "@PAUSE:<USERID>COMANDO PAUSE</USERID>\r\n"
        "@STOP:<USERID>COMANDO STOP</USERID>\r\n"
        "@FULLSCREEN:<USERID>COMANDO FULLSCREEN</USERID>\r\n"
        "@NOFULLSCREEN:<USERID>COMANDO FULLSCREEN</USERID>\r\n"
        "@RENDERFILE:<FILE>clip one.mp4</FILE>\r\n"
        "@RENDERFILE:<FILE>clip.mp4</FILE>\r\n"
        "@RENDERFILE:<FILE>clip.mp4</FILE>\r\n";
    EXPECT_EQ(SentAfterGreeting(expected.size()), expected);
}

TEST_F(TForm1Test, commandsOnALinkThatNeverConnectedFailWithNotConnected) {
    auto link = MakeLink();
    void (TForm1::*const commands[])() = {
        &TForm1::btnPlayClick,       &TForm1::btnpauseClick,        &TForm1::btnstopClick,
        &TForm1::btnfullscreenClick, &TForm1::btnnormalscreenClick, &TForm1::btn_prepfileplayClick,
        &TForm1::BtnAuthClick,       &TForm1::Button1Click,         &TForm1::Button3Click,
    };
    for (auto command : commands) {
        EXPECT_EQ(FailureOf([&] { ((*link).*command)(); }), "Not Connected");
    }
}

TEST_F(TForm1Test, pollHandlesOneLinePerTick) {
    auto link = MakeLink();
    Connect(*link);
    m_peer.Send("first\r\n@CLIENTS:alpha\r\nthird\r\n");
    ASSERT_TRUE(WaitUntil([&] {
        link->Timer1Timer();
        return !link->memLines.Lines.empty();
    }));
    EXPECT_EQ(link->memLines.Lines, std::vector<std::string>{"first"});
    EXPECT_TRUE(link->lbClients.Items.empty());
    link->Timer1Timer();
    EXPECT_EQ(link->lbClients.Items, std::vector<std::string>{"alpha"});
    EXPECT_EQ(link->memLines.Lines.size(), 1u);
    link->Timer1Timer();
    EXPECT_EQ(link->memLines.Lines, (std::vector<std::string>{"first", "third"}));
}

TEST_F(TForm1Test, receivedLinesAreLoggedOrDispatched) {
    struct Case {
        std::string line;
        std::vector<std::string> log;  // what the line adds to the log
        std::vector<std::string> clients;
    };
    const Case cases[] = {
        {"@reply : x", {"CMD: x"}, {}},
        {" @x", {" @x"}, {}},
        {"@CLIENTS", {}, {}},
        {"@UNKNOWN:<A>b</A>", {}, {}},
        {"@REPLY:", {"CMD: "}, {}},
        {"plain with cr\r", {"plain with cr\r"}, {}},
        {"@clients:a b\r", {}, {"a", "b"}},
        {"@USERSTATUS:<USERID>1</USERID><STATUS>on</STATUS>", {}, {"a", "b"}},
        {"@ADDUSERLIST:<LISTA>z</LISTA>", {}, {"a", "b"}},
    };
    auto link = MakeLink();
    Connect(*link);
    for (const Case& c : cases) {
        const std::vector<std::string> before = link->memLines.Lines;
        Deliver(*link, c.line);
        std::vector<std::string> added(link->memLines.Lines.begin() + before.size(),
                                       link->memLines.Lines.end());
        EXPECT_EQ(added, c.log) << c.line;
        EXPECT_EQ(link->lbClients.Items, c.clients) << c.line;
    }
    EXPECT_TRUE(m_notices.errors.empty());
}

TEST_F(TForm1Test, playerClosingIsReportedOnceThroughTheErrorBox) {
    auto link = MakeLink();
    Connect(*link);
    link->Timer2.start();  // to see the disconnect handler stop it
    m_peer.Send("last words\r\n");
    m_peer.Close();
    ASSERT_TRUE(WaitUntil([&] {
        QCoreApplication::processEvents();
        return !m_notices.errors.empty();
    }));
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{"Connection Closed Gracefully."});
    EXPECT_EQ(link->memLines.Lines, std::vector<std::string>{"last words"});
    EXPECT_FALSE(link->IdTCPClient1.IsOpen());
    EXPECT_FALSE(link->Timer2.isActive());
    EXPECT_TRUE(link->Timer1.isActive());
    for (int i = 0; i < 3; ++i) {
        EXPECT_NO_THROW(link->Timer1Timer());
    }
    EXPECT_EQ(m_notices.errors.size(), 1u);
}

TEST_F(TForm1Test, disconnectAndDestructionCloseWithoutAnyLine) {
    auto link = MakeLink();
    Connect(*link);
    link->Timer2.start();
    link->BtnDisconnectClick();
    EXPECT_EQ(link->IdTCPClient1.GetState(), State::NeverOpened);
    EXPECT_FALSE(link->Timer2.isActive());
    EXPECT_TRUE(m_peer.WaitForClientClosed(0));
    EXPECT_NO_THROW(link->BtnDisconnectClick());

    link->BtnConnectClick();
    ASSERT_TRUE(m_peer.WaitForConnections(2));
    ASSERT_TRUE(m_peer.WaitForBytes(20, 1));
    link.reset();
    EXPECT_TRUE(m_peer.WaitForClientClosed(1));
    EXPECT_EQ(m_peer.Received(0), "UtenteNonImpostato\r\n");
    EXPECT_EQ(m_peer.Received(1), "UtenteNonImpostato\r\n");
    EXPECT_TRUE(m_notices.errors.empty());
}

TEST_F(TForm1Test, progressBarKeepsItsPositionWithinItsRange) {
    auto link = MakeLink();
    ProgressBar& bar = link->barprog;
    EXPECT_EQ(bar.Min(), 0);
    EXPECT_EQ(bar.Max(), 100);
    EXPECT_EQ(bar.Position(), 0);
    link->IdFTPWorkBegin(ftp::WorkMode::wmWrite, 5000000000);
    link->IdFTPWork(ftp::WorkMode::wmWrite, 4000000000);
    EXPECT_EQ(bar.Position(), 4000000000);
    link->IdFTPWorkBegin(ftp::WorkMode::wmWrite, 10);  // lowers the position with it
    EXPECT_EQ(bar.Max(), 10);
    EXPECT_EQ(bar.Position(), 10);
    link->IdFTPWork(ftp::WorkMode::wmWrite, 11);
    EXPECT_EQ(bar.Position(), 10);
    link->IdFTPWork(ftp::WorkMode::wmWrite, -1);
    EXPECT_EQ(bar.Position(), 0);
    link->IdFTPWorkBegin(ftp::WorkMode::wmWrite, -3);  // never below the minimum
    EXPECT_EQ(bar.Max(), 0);
}

}  // namespace
}  // namespace orvanta::link::test

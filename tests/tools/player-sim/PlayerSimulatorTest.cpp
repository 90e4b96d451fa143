#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "net/LineReader.h"
#include "tests/support/Wait.h"
#include "tools/player-sim/PlayerSimulator.h"

namespace orvanta::tools {
namespace {

TEST(PlayerSimulatorTest, answersEachCommandWithAStatusLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"UtenteNonImpostato", "p: connesso come UtenteNonImpostato"},
        {"@PLAY:<USERID>COMANDO PLAY</USERID>", "p: in riproduzione"},
        {"@pause : x", "p: in pausa"},
        {"@FULLSCREEN:<USERID>COMANDO FULLSCREEN</USERID>", "p: schermo intero"},
        {"@NOFULLSCREEN:<USERID>COMANDO FULLSCREEN</USERID>", "p: finestra"},
        {"@RENDERFILE:<FILE>clip 1.mp4</FILE>", "p: file caricato clip 1.mp4"},
        {"@WHAT:", "p: comando sconosciuto WHAT"},
        {"", ""},
    };
    for (const auto& [line, answer] : cases) {
        EXPECT_EQ(PlayerSimulator::AnswerFor("p", line), answer) << line;
    }
}

TEST(PlayerSimulatorTest, reportsLinesAndAnswersOverTheWire) {
    PlayerSimulator simulator("p", 0x7F000001, 0);
    std::mutex mutex;
    std::vector<std::string> seen;
    simulator.SetObserver([&](int connection, const std::string& line) {
        std::lock_guard lock(mutex);
        seen.push_back(std::to_string(connection) + " " + line);
    });
    std::thread server([&] { simulator.Run(); });

    net::Socket socket = net::ConnectTcp("127.0.0.1", simulator.Port());
    const std::string wire = "UtenteNonImpostato\r\n@STOP:<USERID>COMANDO STOP</USERID>\r\n";
    socket.SendAll(wire.data(), wire.size());
    net::LineReader reader;
    std::string first, second;
    EXPECT_EQ(reader.ReadLine(socket, 5000, first), net::LineReader::Result::Line);
    EXPECT_EQ(reader.ReadLine(socket, 5000, second), net::LineReader::Result::Line);
    socket.Close();
    EXPECT_TRUE(test::WaitUntil([&] {
        std::lock_guard lock(mutex);
        return seen.size() == 4;
    }));
    simulator.Stop();
    server.join();

    EXPECT_EQ(first, "p: connesso come UtenteNonImpostato");
    EXPECT_EQ(second, "p: fermo");
    EXPECT_EQ(seen, (std::vector<std::string>{"1 (connessione aperta)", "1 UtenteNonImpostato",
                                              "1 @STOP:<USERID>COMANDO STOP</USERID>",
                                              "1 (connessione chiusa)"}));
}

// A restarted simulator listens on its port at once, though the connection its previous run
// closed first still waits out its close on that port.
TEST(PlayerSimulatorTest, restartsOnTheSamePortRightAfterStoppingWithAPlayerConnected) {
    std::uint16_t port = 0;
    {
        const net::Socket probe = net::ListenTcp(0x7F000001, 0, 1);
        port = probe.LocalPort();
    }
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        std::unique_ptr<PlayerSimulator> simulator;
        ASSERT_NO_THROW(simulator = std::make_unique<PlayerSimulator>("p", 0x7F000001, port));
        std::thread server([&] { simulator->Run(); });
        net::Socket socket = net::ConnectTcp("127.0.0.1", port);
        const std::string wire = "UtenteNonImpostato\r\n";
        socket.SendAll(wire.data(), wire.size());
        net::LineReader reader;
        std::string answer;
        EXPECT_EQ(reader.ReadLine(socket, 5000, answer), net::LineReader::Result::Line);
        // The simulator ends first, with the player still connected.
        simulator->Stop();
        server.join();
        simulator.reset();
        EXPECT_EQ(reader.ReadLine(socket, 5000, answer), net::LineReader::Result::PeerClosed);
        socket.Close();
    }
}

}  // namespace
}  // namespace orvanta::tools

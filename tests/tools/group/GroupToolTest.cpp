// The group tool against simulated players on loopback: line peers on the control ports and
// real FTP servers one port above.
#include "tools/group/GroupTool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "registry/Schema.h"
#include "tests/db/TempDatabase.h"
#include "tests/ftp/TestSources.h"
#include "tests/registry/GroupCommandsPlayers.h"

namespace orvanta::tools {
namespace {

namespace fs = std::filesystem;
using test::SimulatedPlayer;

const std::string kGreeting = "UtenteNonImpostato\r\n";

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// A registry with players in group "Sala", the players themselves, and the tool run over them.
class GroupToolTest : public ::testing::Test {
protected:
    GroupToolTest() {
        test::ExecSql(m_registry, registry::kManagerTableSchema);
        m_bytes = ftp::test::Pattern(5 * 32768 + 321);
        std::ofstream(m_media, std::ios::binary) << m_bytes;
    }

    SimulatedPlayer& Player(bool withFtp = true) {
        m_players.push_back(std::make_unique<SimulatedPlayer>(
            m_folder.Path() / ("player" + std::to_string(m_players.size())), withFtp));
        AddRow(m_players.back()->Port(), m_media);
        return *m_players.back();
    }
    void AddRow(int port, const std::string& file, bool active = true,
                const std::string& group = "Sala") {
        test::ExecSql(m_registry,
                      "INSERT INTO manager (attivo, manager_list_name, player_ip, player_port, "
                      "player_file_play) VALUES (" +
                          std::string(active ? "1" : "0") + ", '" + group + "', '127.0.0.1', " +
                          std::to_string(port) + ", '" + file + "')");
    }
    Result Run(std::vector<std::string> args, bool terminal = false) {
        std::ostringstream out;
        std::ostringstream err;
        const GroupToolEnvironment environment{out, err, terminal,
                                               [this] { return m_folder.WithSeparator(); }};
        Result result;
        result.status = RunGroupTool(args, environment);
        result.out = out.str();
        result.err = err.str();
        return result;
    }
    std::vector<std::string> Args(const std::string& command) const {
        return {command, "--registry", m_registry.string(), "--group", "Sala"};
    }
    static std::string Label(int port) { return "127.0.0.1:" + std::to_string(port); }

    test::TempFolder m_folder;
    fs::path m_registry = m_folder.Path() / "players.db";
    fs::path m_media = m_folder.Path() / "clip one.bin";
    std::string m_bytes;
    std::vector<std::unique_ptr<SimulatedPlayer>> m_players;
};

TEST_F(GroupToolTest, copyStoresTheWholeFileOnEveryPlayerAtOnce) {
    for (int i = 0; i < 3; ++i) {
        Player();
    }
    const Result result = Run(Args("copy"));
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    const std::string size = std::to_string(m_bytes.size());
    for (auto& player : m_players) {
        SCOPED_TRACE(player->Port());
        EXPECT_TRUE(player->Stored("clip one.bin") == m_bytes);
        EXPECT_TRUE(player->Line().WaitForBytes(kGreeting.size()));
        EXPECT_EQ(player->Line().Received(), kGreeting) << "the greeting, and nothing else";
        const std::string label = Label(player->Port());
        EXPECT_NE(result.out.find(label + " connected\n"), std::string::npos) << result.out;
        EXPECT_NE(result.out.find(label + " sending " + size + " bytes\n"), std::string::npos);
        EXPECT_NE(result.out.find(label + " done " + size + " bytes in "), std::string::npos);
    }
    EXPECT_EQ(result.out.substr(result.out.rfind('\n', result.out.size() - 2) + 1),
              "3 of 3 players done\n");
    EXPECT_EQ(result.err, "");
}

TEST_F(GroupToolTest, copyFailuresStayWithTheirPlayersAndTheSummarySaysWhich) {
    SimulatedPlayer& first = Player();
    SimulatedPlayer& refusing = Player();
    fs::create_directory(refusing.Home() / "clip one.bin");  // the server refuses the store
    const int unreachable = test::RefusingPort();
    AddRow(unreachable, m_media);
    SimulatedPlayer& noFtp = Player(false);
    SimulatedPlayer& last = Player();

    const Result result = Run(Args("copy"), /*terminal=*/true);
    EXPECT_EQ(result.status, 1) << result.out << result.err;
    EXPECT_TRUE(first.Stored("clip one.bin") == m_bytes);
    EXPECT_TRUE(last.Stored("clip one.bin") == m_bytes);

    // The table at the end: one row per player, the error as the manager's box shows it.
    const std::size_t table = result.out.find("\nplayer ");
    ASSERT_NE(table, std::string::npos) << result.out;
    std::istringstream rows(result.out.substr(table + 1));
    std::vector<std::string> lines;
    for (std::string line; std::getline(rows, line);) {
        lines.push_back(line);
    }
    std::size_t width = 0;
    for (int port : {first.Port(), refusing.Port(), unreachable, noFtp.Port(), last.Port()}) {
        width = std::max(width, Label(port).size());
    }
    const auto row = [width](const std::string& label, const std::string& rest) {
        return label + std::string(width - label.size(), ' ') + "  " + rest;
    };
    ASSERT_EQ(lines.size(), 7u) << result.out;
    EXPECT_EQ(lines[0], row("player", "result  error"));
    EXPECT_EQ(lines[1], row(Label(first.Port()), "done"));
    EXPECT_EQ(lines[2], row(Label(refusing.Port()), "failed  Is a directory."));
    EXPECT_EQ(lines[3],
              row(Label(unreachable), "failed  Socket Error # 10061 Connection refused."));
    EXPECT_EQ(lines[4],
              row(Label(noFtp.Port()), "failed  Socket Error # 10061 Connection refused."));
    EXPECT_EQ(lines[5], row(Label(last.Port()), "done"));
    EXPECT_EQ(lines[6], "2 of 5 players done, 3 failed");
    // The live lines showed each upload's progress up to the file's size.
    EXPECT_NE(result.out.find(row(Label(first.Port()), "   0.2 MiB / 0.2 MiB    100%")),
              std::string::npos)
        << result.out;
}

TEST_F(GroupToolTest, commandLinesReachEveryConnectedPlayerAfterTheGreeting) {
    struct Case {
        std::string command;
        std::string line;
    };
    const Case cases[] = {
        {"play", "@PLAY:<USERID>COMANDO PLAY</USERID>\r\n"},
        {"pause", "@PAUSE:<USERID>COMANDO PAUSE</USERID>\r\n"},
        {"fullscreen", "@FULLSCREEN:<USERID>COMANDO FULLSCREEN</USERID>\r\n"},
        {"load", "@RENDERFILE:<FILE>clip one.bin</FILE>\r\n"},
    };
    SimulatedPlayer& one = Player(false);
    const int unreachable = test::RefusingPort();
    AddRow(unreachable, m_media);
    SimulatedPlayer& two = Player(false);
    int connection = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        const Result result = Run(Args(c.command));
        EXPECT_EQ(result.status, 1) << "one player cannot be reached";
        for (SimulatedPlayer* player : {&one, &two}) {
            ASSERT_TRUE(player->Line().WaitForBytes(kGreeting.size() + c.line.size(), connection));
            EXPECT_EQ(player->Line().Received(connection), kGreeting + c.line);
            EXPECT_TRUE(player->Line().WaitForClientClosed(connection));
            EXPECT_NE(result.out.find(Label(player->Port()) + " done\n"), std::string::npos);
        }
        EXPECT_NE(result.out.find(Label(unreachable) +
                                  " failed: Socket Error # 10061 Connection refused.\n"),
                  std::string::npos)
            << result.out;
        EXPECT_NE(result.out.find("2 of 3 players done, 1 failed\n"), std::string::npos);
        ++connection;
    }
}

TEST_F(GroupToolTest, fileAndRegistryDefaultToTheFirstActivePlayersFileAndTheProgramsFolder) {
    m_registry = m_folder.Path() / registry::kRegistryFileName;
    test::ExecSql(m_registry, registry::kManagerTableSchema);
    SimulatedPlayer inactive(m_folder.Path() / "inactive", false);
    AddRow(inactive.Port(), "/media/skipped.mp4", /*active=*/false);
    SimulatedPlayer player(m_folder.Path() / "active", false);
    AddRow(player.Port(), "C:\\media\\first.mp4");
    AddRow(test::RefusingPort(), "/media/second.mp4", /*active=*/false);

    const Result result = Run({"load", "--group", "Sala"});
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    const std::string line = "@RENDERFILE:<FILE>first.mp4</FILE>\r\n";
    ASSERT_TRUE(player.Line().WaitForBytes(kGreeting.size() + line.size()));
    EXPECT_EQ(player.Line().Received(), kGreeting + line);
    EXPECT_EQ(inactive.Line().ConnectionCount(), 0);
}

TEST_F(GroupToolTest, badInputIsRefusedBeforeAnyPlayerIsReached) {
    SimulatedPlayer& player = Player(false);
    AddRow(test::RefusingPort(), "", true, "Senza file");
    const std::string registry = m_registry.string();
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{}, "orvanta-group: no command given"},
        {{"stop", "--group", "Sala"}, "orvanta-group: unknown command 'stop'"},
        {{"play", "--registry", registry}, "orvanta-group: --group is needed"},
        {{"play", "pause", "--group", "Sala"}, "orvanta-group: unexpected argument 'pause'"},
        {{"play", "--group", "Sala", "--loud"}, "orvanta-group: unknown option '--loud'"},
        {{"play", "--group"}, "orvanta-group: --group needs a value"},
        {{"play", "--group", "Sala", "--group", "Sala"}, "orvanta-group: --group given twice"},
        {{"play", "--registry", registry + ".missing", "--group", "Sala"},
         "orvanta-group: no registry file at " + registry + ".missing\n"},
        {{"play", "--group", "Sala"},
         "orvanta-group: no registry file at " + m_folder.WithSeparator() + "data.mdb\n"},
        {{"play", "--registry", registry, "--group", "Sal"},
         "orvanta-group: no group 'Sal' in " + registry + "\n"},
        {{"copy", "--registry", registry, "--group", "Sala", "--file", "/no/such.mp4"},
         "orvanta-group: Cannot open file \"/no/such.mp4\". No such file or directory.\n"},
        {{"load", "--registry", registry, "--group", "Senza file"},
         "orvanta-group: the group's first active player has no file; give --file\n"},
    };
    for (const Case& c : cases) {
        const Result result = Run(c.args);
        EXPECT_EQ(result.status, 2) << ::testing::PrintToString(c.args);
        EXPECT_EQ(result.err.rfind(c.message, 0), 0u) << result.err;
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "one line: " << result.err;
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(player.Line().ConnectionCount(), 0);

    const Result help = Run({"play", "--registry", registry + ".missing", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: orvanta-group COMMAND --group NAME", 0), 0u);
    EXPECT_EQ(help.err, "");
}

TEST_F(GroupToolTest, aGroupWithNoActivePlayerReachesNoOneAndFails) {
    SimulatedPlayer player(m_folder.Path() / "idle", false);
    AddRow(player.Port(), m_media.string(), /*active=*/false);
    const Result result = Run(Args("play"));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "orvanta-group: Nessun lettore impostato o attivo.\n");
    EXPECT_EQ(player.Line().ConnectionCount(), 0);
}

}  // namespace
}  // namespace orvanta::tools

// The group tool against simulated players on loopback: line peers on the control ports and
// real FTP servers one port above.
#include "tools/group/GroupTool.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#else
#include <windows.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>

#include "net/Socket.h"
#include "registry/CommandJournal.h"
#include "registry/Schema.h"
#include "tests/db/TempDatabase.h"
#include "tests/ftp/TestSources.h"
#include "tests/registry/GroupCommandsPlayers.h"
#include "tests/support/SilentPeer.h"
#include "tests/support/SystemTexts.h"
#include "tests/support/Wait.h"

namespace orvanta::tools {
namespace {

namespace fs = std::filesystem;
using test::Printed;
using test::SimulatedPlayer;

const std::string kGreeting = "UtenteNonImpostato\r\n";
// A local time as the tool's first line and the journal write it.
const std::string kTime = "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}";

// The station's name as the system gives it: the host name; Windows names the computer by its
// NetBIOS name, in capitals.
std::string HostName() {
#ifdef _WIN32
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    return ::GetComputerNameExA(ComputerNameNetBIOS, name, &size) ? std::string(name, size) : "";
#else
    char name[256] = {};
    return ::gethostname(name, sizeof name - 1) == 0 ? name : "";
#endif
}

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
    void AddRow(int port, const fs::path& file, bool active = true,
                const std::string& group = "Sala") {
        test::ExecSql(m_registry,
                      "INSERT INTO manager (attivo, manager_list_name, player_ip, player_port, "
                      "player_file_play) VALUES (" +
                          std::string(active ? "1" : "0") + ", '" + group + "', '127.0.0.1', " +
                          std::to_string(port) + ", '" + file.string() + "')");
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
    // A copy's row: result, bytes sent, where it resumed and the proof, then time and rate
    // (which vary), then the error.
    const auto columns = [](std::vector<std::string> texts) {
        const std::size_t widths[] = {12, 10, 10, 13};
        std::string line;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            line += texts[i] + std::string(widths[i] - texts[i].size(), ' ') + "  ";
        }
        return line;
    };
    const auto startsWith = [](const std::string& line, const std::string& start) {
        return line.rfind(start, 0) == 0;
    };
    const auto endsWith = [](const std::string& line, const std::string& end) {
        return line.size() >= end.size() && line.substr(line.size() - end.size()) == end;
    };
    ASSERT_EQ(lines.size(), 7u) << result.out;
    EXPECT_EQ(lines[0], row("player", columns({"result", "sent", "resumed", "proof"}) +
                                          "time       rate         error"));
    EXPECT_TRUE(
        startsWith(lines[1], row(Label(first.Port()), columns({"done", "0.2 MiB", "-", "size"}))))
        << lines[1];
    // The part was sent; the server would not put it under the real name.
    EXPECT_TRUE(
        startsWith(lines[2], row(Label(refusing.Port()), columns({"failed", "0.2 MiB", "-", "-"}))))
        << lines[2];
    // A failure of the FTP server names its port; one of the control port is the row's own.
    EXPECT_TRUE(endsWith(lines[2], "  FTP " + Label(refusing.Port() + 1) + ": Is a directory."))
        << lines[2];
    const std::string refused = "Socket Error # 10061 Connection refused.";
    EXPECT_EQ(lines[3], row(Label(unreachable), columns({"failed", "-", "-", "-"}) +
                                                    "-          -            " + refused));
    EXPECT_EQ(lines[4], row(Label(noFtp.Port()), columns({"failed", "-", "-", "-"}) +
                                                     "-          -            FTP " +
                                                     Label(noFtp.Port() + 1) + ": " + refused));
    EXPECT_TRUE(
        startsWith(lines[5], row(Label(last.Port()), columns({"done", "0.2 MiB", "-", "size"}))))
        << lines[5];
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
    const std::string printedRegistry = Printed(registry);
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    std::vector<Case> cases = {
        {{}, "orvanta-group: no command given"},
        {{"stop", "--group", "Sala"}, "orvanta-group: unknown command 'stop'"},
        {{"play", "--registry", registry}, "orvanta-group: --group is needed"},
        {{"play", "pause", "--group", "Sala"}, "orvanta-group: unexpected argument 'pause'"},
        {{"play", "--group", "Sala", "--loud"}, "orvanta-group: unknown option '--loud'"},
        {{"play", "--group"}, "orvanta-group: --group needs a value"},
        {{"play", "--group", "Sala", "--group", "Sala"}, "orvanta-group: --group given twice"},
        {{"play", "--registry", registry + ".missing", "--group", "Sala"},
         "orvanta-group: no registry file at " + printedRegistry + ".missing\n"},
        {{"play", "--group", "Sala"},
         "orvanta-group: no registry file at " + Printed(m_folder.WithSeparator()) + "data.mdb\n"},
        {{"play", "--registry", registry, "--group", "Sal"},
         "orvanta-group: no group 'Sal' in " + printedRegistry + "\n"},
        {{"load", "--registry", registry, "--group", "Senza file"},
         "orvanta-group: the group's first active player has no file; give --file\n"},
        {{"play", "--registry", "", "--group", "Sala"}, "orvanta-group: --registry needs a path"},
        {{"load", "--registry", registry, "--group", "Sala", "--file", ""},
         "orvanta-group: --file needs a path"},
        {{"copy", "--registry", registry, "--group", "Sala", "--timeout", "0"},
         "orvanta-group: --timeout needs a whole number of seconds from 1"},
        {{"copy", "--registry", registry, "--group", "Sala", "--timeout", "2.5"},
         "orvanta-group: --timeout needs a whole number of seconds from 1"},
        {{"play", "--registry", registry, "--group", "Sala", "--all"},
         "orvanta-group: --all is for copy only"},
        {{"status", "--registry", registry, "--group", "Sala", "--limit-rate", "1M"},
         "orvanta-group: --limit-rate is for copy only"},
        {{"copy", "--registry", registry, "--group", "Sala", "--watch", "5"},
         "orvanta-group: --watch is for status only"},
        {{"status", "--registry", registry, "--group", "Sala", "--watch", "0"},
         "orvanta-group: --watch needs a whole number of seconds from 1"},
        {{"copy", "--registry", registry, "--group", "Sala", "--limit-rate", "0"},
         "orvanta-group: --limit-rate needs bytes a second from 1, with K or M for KiB or MiB"},
        {{"copy", "--registry", registry, "--group", "Sala", "--limit-rate", "40G"},
         "orvanta-group: --limit-rate needs bytes a second from 1, with K or M for KiB or MiB"},
        {{"copy", "--registry", registry, "--group", "Sala", "--limit-rate", "1.5M"},
         "orvanta-group: --limit-rate needs bytes a second from 1, with K or M for KiB or MiB"},
        {{"load", "--registry", registry, "--group", "Sala", "--file", "/media/"},
         "orvanta-group: Cannot load \"/media/\": the path names no file.\n"},
        // What the operator typed comes back with nothing a terminal would act on.
        {{"play", "--registry", registry, "--group", "Sal\x1B[2J"},
         "orvanta-group: no group 'Sal\\x1B[2J' in " + printedRegistry + "\n"},
    };
#ifdef _WIN32
    // The system's own texts for a file that cannot be read, after the path as Windows names it.
    cases.insert(
        cases.end(),
        {{{"copy", "--registry", registry, "--group", "Sala", "--file", "/no/such.mp4"},
          "orvanta-group: Cannot open file \""},
         {{"copy", "--registry", registry, "--group", "Sala", "--file", m_folder.Path().string()},
          "orvanta-group: Cannot open file \""}});
#else
    const std::string fifo = (m_folder.Path() / "pipe").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    cases.insert(
        cases.end(),
        {{{"copy", "--registry", registry, "--group", "Sala", "--file", "/no/such.mp4"},
          "orvanta-group: Cannot open file \"/no/such.mp4\". No such file or directory.\n"},
         // Anything but a plain file would be stored as an empty file on every player (devices
         // are Linux's here: wine shows the host's as files).
         {{"copy", "--registry", registry, "--group", "Sala", "--file", "/dev/zero"},
          "orvanta-group: Cannot open file \"/dev/zero\". Not a regular file.\n"},
         {{"copy", "--registry", registry, "--group", "Sala", "--file", m_folder.Path().string()},
          "orvanta-group: Cannot open file \"" + m_folder.Path().string() + "\". Is a directory"},
         {{"copy", "--registry", registry, "--group", "Sala", "--file", fifo},
          "orvanta-group: Cannot open file \"" + fifo + "\". Not a regular file.\n"},
         // Regular and empty to the system, yet it reads as text.
         {{"copy", "--registry", registry, "--group", "Sala", "--file", "/proc/self/status"},
          "orvanta-group: Cannot open file \"/proc/self/status\". Not a regular file.\n"},
         {{"load", "--registry", registry, "--group", "Sala", "--file", "/dev/zero"},
          "orvanta-group: Cannot load \"/dev/zero\": not a regular file.\n"},
         {{"load", "--registry", registry, "--group", "Sala", "--file", m_folder.Path().string()},
          "orvanta-group: Cannot load \"" + m_folder.Path().string() +
              "\": not a regular file.\n"}});
#endif
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

TEST_F(GroupToolTest, aRowThatCannotBeServedFailsItsPlayerAloneAndNamesWhy) {
    SimulatedPlayer& player = Player(false);
    // Cut down to 32 bits, this port would be the player's own: it would be served twice.
    const std::int64_t wrapped = (std::int64_t{1} << 32) + player.Port();
    AddRow(0, m_media);
    test::ExecSql(m_registry,
                  "INSERT INTO manager (attivo, manager_list_name, player_ip, player_port, "
                  "player_file_play) VALUES (1, 'Sala', '127.0.0.1\x1B[1A\x1B[2K', " +
                      std::to_string(wrapped) + ", 'x')");
    const Result result = Run(Args("play"));
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.out.find(Label(player.Port()) + " done\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("127.0.0.1:0 failed: Porta del lettore non valida: 0 (ammesse da 1 "
                              "a 65535).\n"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("127.0.0.1\\x1B[1A\\x1B[2K:" + std::to_string(wrapped) +
                              " failed: Porta del lettore non valida: " + std::to_string(wrapped)),
              std::string::npos)
        << result.out;
    EXPECT_EQ(result.out.find('\x1B'), std::string::npos) << "no raw escape reaches the terminal";
    ASSERT_TRUE(player.Line().WaitForConnections(1));
    EXPECT_TRUE(player.Line().WaitForClientClosed(0));
    EXPECT_EQ(player.Line().ConnectionCount(), 1);
}

TEST_F(GroupToolTest, aFileValueHoldingNulFailsEveryPlayerBeforeAnyIsContacted) {
    SimulatedPlayer& player = Player();
    // The player's file as the registry holds it: a name, a NUL, and another name after it.
    test::ExecSql(m_registry, "UPDATE manager SET player_file_play = '" + m_media.string() +
                                  "' || char(0) || 'DELE'");
    for (const char* command : {"copy", "load"}) {
        SCOPED_TRACE(command);
        const Result result = Run(Args(command));
        EXPECT_EQ(result.status, 1) << result.err;
        EXPECT_NE(result.out.find(" failed: Cannot open file \"" + Printed(m_media.string()) +
                                  "\\\\0DELE\". The name holds a NUL character.\n"),
                  std::string::npos)
            << result.out;
    }
    EXPECT_EQ(player.Line().ConnectionCount(), 0);
    EXPECT_EQ(player.Ftp().Commands(), std::vector<std::string>{});
}

TEST_F(GroupToolTest, aRegistryThatCannotBeReadFailsTheRunRatherThanItsArguments) {
    // SQLite's header, then nothing a database could be read from.
    std::ofstream(m_registry, std::ios::binary | std::ios::trunc)
        << std::string("SQLite format 3\0", 16) << std::string(4096, '\x7F');
    const Result result = Run(Args("play"));
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_EQ(result.err.rfind("orvanta-group: " + Printed(m_registry.string()) + ": ", 0), 0u)
        << result.err;
}

TEST_F(GroupToolTest, timeoutEndsTheWholeCopyAndOnlyTheSlowPlayerFails) {
    // The file at the slow player's pace would take minutes.
    m_bytes = ftp::test::Pattern(4 * 1024 * 1024);
    std::ofstream(m_media, std::ios::binary | std::ios::trunc) << m_bytes;
    SimulatedPlayer& fast = Player();
    m_players.push_back(std::make_unique<SimulatedPlayer>(m_folder.Path() / "slow", true, 20000));
    SimulatedPlayer& slow = *m_players.back();
    AddRow(slow.Port(), m_media);
    std::ofstream(slow.Home() / "clip one.bin", std::ios::binary) << "earlier";

    std::vector<std::string> args = Args("copy");
    args.insert(args.end(), {"--timeout", "3"});
    const Result result = Run(args);
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(fast.Stored("clip one.bin") == m_bytes);
    EXPECT_NE(
        result.out.find(Label(slow.Port()) + " failed: Not done within the --timeout of 3 s.\n"),
        std::string::npos)
        << result.out;
    EXPECT_EQ(slow.Stored("clip one.bin"), "earlier");
    // What arrived stays under the temporary name, for the next copy to resume.
    const std::string part = slow.Stored("clip one.bin.orvanta-part");
    EXPECT_GT(part.size(), 0u);
    EXPECT_TRUE(part == m_bytes.substr(0, part.size()));
    EXPECT_NE(result.out.find("1 of 2 players done, 1 failed\n"), std::string::npos);
}

TEST_F(GroupToolTest, aSecondCopySkipsPlayersThatHoldTheFileAndAllSendsAgain) {
    SimulatedPlayer& one = Player();
    SimulatedPlayer& two = Player();
    const auto stores = [](SimulatedPlayer& player) {
        const auto commands = player.Ftp().Commands();
        return std::count_if(commands.begin(), commands.end(),
                             [](const std::string& c) { return c.rfind("STOR ", 0) == 0; });
    };
    EXPECT_EQ(Run(Args("copy")).status, 0);
    const Result second = Run(Args("copy"), /*terminal=*/true);
    EXPECT_EQ(second.status, 0) << second.out;
    for (SimulatedPlayer* player : {&one, &two}) {
        EXPECT_EQ(stores(*player), 1) << "no second store";
        EXPECT_TRUE(player->Stored("clip one.bin") == m_bytes);
        const std::string row = Label(player->Port()) + "  già presente  -";
        EXPECT_NE(second.out.find(row), std::string::npos) << second.out;
    }
    EXPECT_NE(second.out.find("2 of 2 players done (2 già presente)\n"), std::string::npos)
        << second.out;

    std::vector<std::string> all = Args("copy");
    all.push_back("--all");
    const Result third = Run(all);
    EXPECT_EQ(third.status, 0);
    for (SimulatedPlayer* player : {&one, &two}) {
        EXPECT_EQ(stores(*player), 2);
        EXPECT_NE(third.out.find(Label(player->Port()) + " done " + std::to_string(m_bytes.size()) +
                                 " bytes in "),
                  std::string::npos)
            << third.out;
    }
}

TEST_F(GroupToolTest, aCopyResumesThePartAnEarlierCopyLeftAndSaysFromWhere) {
    SimulatedPlayer& player = Player();
    const std::size_t kept = 100000;
    std::ofstream(player.Home() / "clip one.bin.orvanta-part", std::ios::binary)
        << m_bytes.substr(0, kept);
    const Result result = Run(Args("copy"), /*terminal=*/true);
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_TRUE(player.Stored("clip one.bin") == m_bytes);
    EXPECT_FALSE(fs::exists(player.Home() / "clip one.bin.orvanta-part"));
    const auto commands = player.Ftp().Commands();
    EXPECT_NE(std::find(commands.begin(), commands.end(), "REST " + std::to_string(kept)),
              commands.end());
    // The row: what this copy sent (the rest), where it resumed, and the proof.
    char sent[32];
    std::snprintf(sent, sizeof sent, "%.1f MiB",
                  static_cast<double>(m_bytes.size() - kept) / (1024.0 * 1024.0));
    EXPECT_NE(result.out.find(Label(player.Port()) + "  done          " + sent +
                              std::string(10 - std::strlen(sent), ' ') + "  100000      size"),
              std::string::npos)
        << result.out;
    const Result plain = Run(std::vector<std::string>(Args("copy")));
    EXPECT_NE(plain.out.find(Label(player.Port()) + " già presente ("), std::string::npos)
        << plain.out;
}

#ifndef _WIN32
// A control port nobody answers in time: its queue of connections not yet accepted is full, so
// the system drops a new connection's SYNs and a connect to it waits until it is given up.
class FullListener {
public:
    FullListener() {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listener < 0 ||
            ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_listener, 0) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("cannot listen on loopback");
        }
        m_port = ntohs(address.sin_port);
        // Connections that fill the queue and are never accepted.
        for (int i = 0; i < 3; ++i) {
            const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
            m_fillers.push_back(filler);
        }
    }
    ~FullListener() {
        for (int filler : m_fillers) {
            ::close(filler);
        }
        ::close(m_listener);
    }
    int Port() const { return m_port; }

private:
    int m_listener = -1;
    int m_port = 0;
    std::vector<int> m_fillers;
};

#endif

TEST_F(GroupToolTest, aRefusedFtpPortIsNamedAsThePortThatFailed) {
    SimulatedPlayer& noFtp = Player(false);
    SimulatedPlayer& good = Player();
    const Result result = Run(Args("copy"));
    EXPECT_EQ(result.status, 1) << result.out;
    // The control port answered; the FTP port one above it refused.
    EXPECT_NE(result.out.find(Label(noFtp.Port()) + " connected\n"), std::string::npos);
    EXPECT_NE(result.out.find(Label(noFtp.Port() + 1) +
                              " failed: Socket Error # 10061 Connection refused.\n"),
              std::string::npos)
        << result.out;
    EXPECT_EQ(result.out.find(Label(noFtp.Port()) + " failed"), std::string::npos) << result.out;
    EXPECT_TRUE(good.Stored("clip one.bin") == m_bytes);
    EXPECT_NE(result.out.find("1 of 2 players done, 1 failed\n"), std::string::npos);
}

TEST_F(GroupToolTest, theOutputBeginsWithTheTimeTheCommandTheGroupAndTheFile) {
    Player();
    struct Case {
        std::vector<std::string> args;
        std::string heading;  // after the time
    };
    // A load's file need not be there: Windows allows no control characters in a file's name.
    const std::string other = (m_folder.Path() / "other\tclip\x1B[2J.bin").string();
    std::vector<std::string> withFile = Args("load");
    withFile.insert(withFile.end(), {"--file", other});
    const Case cases[] = {
        {Args("copy"), " copy group 'Sala' file '" + Printed(m_media.string()) + "'"},
        {Args("load"), " load group 'Sala' file '" + Printed(m_media.string()) + "'"},
        {Args("play"), " play group 'Sala'"},
        {Args("status"), " status group 'Sala'"},
        // What a terminal would act on is shown escaped, here too.
        {withFile, " load group 'Sala' file '" + Printed((m_folder.Path() / "other").string()) +
                       "\\x09clip\\x1B[2J.bin'"},
    };
    for (const Case& c : cases) {
        for (const bool terminal : {false, true}) {
            SCOPED_TRACE(c.heading + (terminal ? " on a terminal" : ""));
            const Result result = Run(c.args, terminal);
            EXPECT_EQ(result.status, 0) << result.out << result.err;
            const std::string first = result.out.substr(0, result.out.find('\n'));
            ASSERT_GE(first.size(), 19u) << result.out;
            EXPECT_TRUE(std::regex_match(first.substr(0, 19), std::regex(kTime))) << first;
            EXPECT_EQ(first.substr(19), c.heading);
        }
    }
}

#ifndef _WIN32
// The listener that holds a connect is made of POSIX sockets.
TEST_F(GroupToolTest, onATerminalEachPlayersLineShowsItsConnectionAsItComes) {
    SimulatedPlayer& quick = Player(false);
    FullListener slow;
    AddRow(slow.Port(), m_media);
    std::vector<std::string> args = Args("play");
    args.insert(args.end(), {"--timeout", "3"});
    const std::string connecting = "connessione\xE2\x80\xA6";

    const Result result = Run(args, /*terminal=*/true);
    EXPECT_EQ(result.status, 1) << result.out;
    EXPECT_EQ(result.out.find("connecting to"), std::string::npos) << result.out;
    // Every line drawn in place, in order: the player, then what it says.
    const std::string redraw = "\r\x1b[2K";
    std::vector<std::pair<std::string, std::string>> drawn;
    for (std::size_t at = result.out.find(redraw); at != std::string::npos;
         at = result.out.find(redraw, at + 1)) {
        const std::size_t begin = at + redraw.size();
        const std::string line = result.out.substr(begin, result.out.find('\n', begin) - begin);
        const std::size_t gap = line.find("  ");
        ASSERT_NE(gap, std::string::npos) << line;
        drawn.push_back({line.substr(0, gap), line.substr(line.find_first_not_of(' ', gap))});
    }
    // Frames of one line a player: both under way, then the quick one's outcome while the slow
    // one is still under way, then both outcomes.
    ASSERT_GE(drawn.size(), 6u) << result.out;
    ASSERT_EQ(drawn.size() % 2, 0u) << result.out;
    const std::string quickLabel = Label(quick.Port());
    const std::string slowLabel = Label(slow.Port());
    using Frame = std::pair<std::string, std::string>;
    std::vector<Frame> frames;
    for (std::size_t i = 0; i < drawn.size(); i += 2) {
        EXPECT_EQ(drawn[i].first, quickLabel);
        EXPECT_EQ(drawn[i + 1].first, slowLabel);
        frames.push_back({drawn[i].second, drawn[i + 1].second});
    }
    EXPECT_EQ(frames.front(), Frame(connecting, connecting));
    EXPECT_NE(std::find(frames.begin(), frames.end(), Frame("connected", connecting)),
              frames.end());
    EXPECT_EQ(frames.back(), Frame("connected", "failed: Not done within the --timeout of 3 s."));
    // And only on a terminal: a pipe or a file gets the plain lines.
    const Result plain = Run(Args("play"));
    EXPECT_EQ(plain.out.find("connessione"), std::string::npos) << plain.out;
    EXPECT_EQ(plain.out.find('\x1b'), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find(quickLabel + " connected\n"), std::string::npos) << plain.out;
}

#endif

TEST_F(GroupToolTest, eachRunAppendsItsRecordToTheJournalBesideTheRegistry) {
    using O = registry::JournalOutcome;
    SimulatedPlayer& one = Player();
    SimulatedPlayer& noFtp = Player(false);
    const std::string journal = registry::JournalPathFor(m_registry.string());
    const Result first = Run(Args("copy"));
    const Result second = Run(Args("copy"));
    EXPECT_EQ(Run(Args("status")).status, 1) << "a probe sends nothing and is no command";
    // Values that would break a line or a field, or are not text at all.
    const std::string hostile = "Sala\t2\n\xE8\\x41";
    AddRow(one.Port(), m_media, true, hostile);
    const std::string file = "/media/clip\t\xE8\x1B[2J.mp4";
    const Result load =
        Run({"load", "--registry", m_registry.string(), "--group", hostile, "--file", file});
    EXPECT_EQ(load.status, 0) << load.out << load.err;
    const std::string broken = "/media/two\nlines.mp4";
    const Result refused =
        Run({"load", "--registry", m_registry.string(), "--group", hostile, "--file", broken});
    EXPECT_EQ(refused.status, 1) << refused.out << refused.err;

    const std::vector<registry::JournalRecord> records = registry::ReadJournal(journal);
    ASSERT_EQ(records.size(), 4u);
    const std::string host = HostName();
    ASSERT_NE(host, "");
    const std::string oneAddress = "127.0.0.1";
    const std::string refusedText = "Socket Error # 10061\r\nConnection refused.";
    struct Expected {
        const Result& run;
        std::string command;
        std::string group;
        std::string file;
        std::vector<registry::JournalPlayer> players;
    };
    const Expected expected[] = {
        {first,
         "copy",
         "Sala",
         m_media.string(),
         {{oneAddress, std::to_string(one.Port()), O::Done, ""},
          {oneAddress, std::to_string(noFtp.Port()), O::Failed, refusedText}}},
        {second,
         "copy",
         "Sala",
         m_media.string(),
         {{oneAddress, std::to_string(one.Port()), O::AlreadyPresent, ""},
          {oneAddress, std::to_string(noFtp.Port()), O::Failed, refusedText}}},
        {load, "load", hostile, file, {{oneAddress, std::to_string(one.Port()), O::Done, ""}}},
        {refused,
         "load",
         hostile,
         broken,
         {{oneAddress, std::to_string(one.Port()), O::Failed,
           "Line breaks and NUL characters cannot be sent in a line."}}},
    };
    for (std::size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE(i);
        const registry::JournalRecord& record = records[i];
        // The time the run's first line gives.
        EXPECT_EQ(record.time, expected[i].run.out.substr(0, 19));
        EXPECT_EQ(record.station, host);
        EXPECT_NE(record.user, "");
        EXPECT_EQ(record.program, "orvanta-group");
        EXPECT_EQ(record.command, expected[i].command);
        EXPECT_EQ(record.group, expected[i].group);
        EXPECT_EQ(record.file, expected[i].file);
        ASSERT_EQ(record.players.size(), expected[i].players.size());
        for (std::size_t k = 0; k < record.players.size(); ++k) {
            EXPECT_EQ(record.players[k].address, expected[i].players[k].address);
            EXPECT_EQ(record.players[k].port, expected[i].players[k].port);
            EXPECT_EQ(record.players[k].outcome, expected[i].players[k].outcome);
            EXPECT_EQ(record.players[k].text, expected[i].players[k].text);
        }
    }
    // One line a record.
    std::ifstream in(journal, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 4);
}

TEST_F(GroupToolTest, aJournalThatCannotBeWrittenIsToldOnceAndChangesNothingOfTheRun) {
    SimulatedPlayer& player = Player(false);
    const Result written = Run(Args("play"));
    fs::remove(registry::JournalPathFor(m_registry.string()));
    fs::create_directory(registry::JournalPathFor(m_registry.string()));
    const Result result = Run(Args("play"));
    EXPECT_EQ(result.status, 0);
    // The same lines as with a journal, but for the time.
    EXPECT_EQ(result.out.substr(19), written.out.substr(19));
    EXPECT_EQ(written.err, "");
    EXPECT_EQ(result.err, "orvanta-group: Cannot write the journal \"" +
                              Printed(registry::JournalPathFor(m_registry.string())) +
                              "\": " + test::SystemErrorText(test::kAFolderInItsPlace) +
                              ". Group commands go on without it.\n");
    // The player was served as before.
    const std::string play = "@PLAY:<USERID>COMANDO PLAY</USERID>\r\n";
    ASSERT_TRUE(player.Line().WaitForBytes(kGreeting.size() + play.size(), 1));
    EXPECT_EQ(player.Line().Received(1), kGreeting + play);
}

// The status probe: a table of every player's two ports, and with --watch a line per change.
TEST_F(GroupToolTest, statusProbesEveryPlayersPortsAtOnceAndSaysWhichAnswer) {
    SimulatedPlayer& good = Player();
    const int refusing = test::RefusingPort();
    AddRow(refusing, m_media);
    test::SilentPeer silent;
    AddRow(silent.Port(), m_media);
    AddRow(silent.Port(), m_media);  // a second one, waited for at the same time

    std::vector<std::string> args = Args("status");
    args.insert(args.end(), {"--timeout", "2"});
    const auto began = std::chrono::steady_clock::now();
    const Result result = Run(args);
    const auto took = std::chrono::steady_clock::now() - began;
    EXPECT_EQ(result.status, 1) << result.out;
    // Every probe ran within the one wait, not one after another.
    EXPECT_LT(took, std::chrono::seconds(4));
    std::istringstream rows(result.out);
    std::vector<std::string> lines;
    for (std::string line; std::getline(rows, line);) {
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 7u) << result.out;
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(kTime + " status group 'Sala'"))) << lines[0];
    EXPECT_EQ(lines[1].rfind("player ", 0), 0u);
    const std::regex up(Label(good.Port()) +
                        " +up [0-9.]+ ms +up [0-9.]+ ms  220 pyftpdlib [^ ]+ ready\\.");
    EXPECT_TRUE(std::regex_match(lines[2], up)) << lines[2];
    EXPECT_TRUE(std::regex_match(lines[3], std::regex(Label(refusing) + " +refused +refused")))
        << lines[3];
    for (int i : {4, 5}) {
        EXPECT_TRUE(std::regex_match(lines[static_cast<std::size_t>(i)],
                                     std::regex(Label(silent.Port()) + " +no answer +.*")))
            << lines[static_cast<std::size_t>(i)];
    }
    EXPECT_EQ(lines[6], "1 of 4 players answer on both ports");

    // A group whose every port answers.
    test::ExecSql(m_registry,
                  "DELETE FROM manager WHERE player_port <> " + std::to_string(good.Port()));
    const Result allUp = Run(Args("status"));
    EXPECT_EQ(allUp.status, 0) << allUp.out;
    EXPECT_NE(allUp.out.find("1 of 1 players answer on both ports\n"), std::string::npos);
}

// A player's FTP port listening while its control port (the one before) is closed: the port
// pair and the listener.
std::pair<int, net::Socket> FtpPortOfAbsentPlayer(int backlog) {
    for (int attempt = 0;; ++attempt) {
        const int port = test::RefusingPort();
        try {
            return {port,
                    net::ListenTcp(0x7F000001, static_cast<std::uint16_t>(port + 1), backlog)};
        } catch (const std::exception&) {
            if (attempt == 20) {
                throw;
            }
        }
    }
}

TEST_F(GroupToolTest, aFileNameHoldingALineBreakSendsNoLineOfItsOwn) {
    SimulatedPlayer& player = Player(false);
    for (const std::string file : {"/media/x\n@STOP\n.mp4", "/media/x\r@STOP\r.mp4"}) {
        const Result result =
            Run({"load", "--registry", m_registry.string(), "--group", "Sala", "--file", file});
        EXPECT_EQ(result.status, 1) << result.out;
        EXPECT_NE(result.out.find("Line breaks and NUL characters cannot be sent in a line."),
                  std::string::npos)
            << result.out;
    }
    // Connected twice, and given neither the load nor a line of the name's own.
    EXPECT_TRUE(player.Line().WaitForConnections(2));
    for (int connection = 0; connection < 2; ++connection) {
        const std::string received = player.Line().Received(connection);
        EXPECT_EQ(received.find("@RENDERFILE"), std::string::npos) << received;
        EXPECT_EQ(received.find("@STOP"), std::string::npos) << received;
    }
}

TEST_F(GroupToolTest, aPeersControlSequencesReachTheTerminalWrittenOut) {
    // An FTP server whose greeting would clear the screen and redraw a line above as done.
    auto absent = FtpPortOfAbsentPlayer(4);
    const int port = absent.first;
    net::Socket& ftp = absent.second;
    std::thread greet([&] {
        if (ftp.WaitReadable(10000)) {
            net::Socket session = net::AcceptTcp(ftp, nullptr);
            const std::string greeting =
                "220 \x1B[2J\x1B[1A\x1B[2Kdone\a\xC2\x9B"
                "31m\r\n";
            session.SendAll(greeting.data(), greeting.size());
            session.WaitReadable(2000);
        }
    });
    AddRow(port, m_media);
    const Result result = Run(Args("status"));
    greet.join();
    EXPECT_EQ(result.status, 1) << result.out;
    EXPECT_NE(result.out.find("  220 \\x1B[2J\\x1B[1A\\x1B[2Kdone\\x07\\u009B31m\n"),
              std::string::npos)
        << result.out;
    EXPECT_EQ(result.out.find_first_of("\x1B\a"), std::string::npos) << result.out;
}

TEST_F(GroupToolTest, statusWatchPrintsALineOnceTwoProbesInARowAgreeOnAChange) {
    // A player that is not there yet: its control port comes up for a while, then goes. Its FTP
    // port listens throughout: every probe connects to it, so its connections count the probes.
    auto absent = FtpPortOfAbsentPlayer(64);
    const int port = absent.first;
    net::Socket& ftp = absent.second;
    // Takes the next connections a listener gets; false when one does not come in time.
    const auto probed = [](net::Socket& listener, int count) {
        for (int seen = 0; seen < count; ++seen) {
            if (!listener.WaitReadable(10000)) {
                return false;
            }
            net::AcceptTcp(listener, nullptr);
        }
        return true;
    };
    AddRow(port, m_media);
    std::vector<std::string> args = Args("status");
    args.insert(args.end(), {"--watch", "1", "--timeout", "10"});
    Result result;
    std::thread run([&] { result = Run(args); });
    const auto controlUpFor = [&](int probes) {
        net::Socket control = net::ListenTcp(0x7F000001, static_cast<std::uint16_t>(port), 16);
        EXPECT_TRUE(probed(control, probes));
    };
    // Two probes find the control port refused; one finds it up, a blip that is no change; one
    // more finds it refused; then two find it up before it goes for good.
    EXPECT_TRUE(probed(ftp, 2));
    controlUpFor(1);
    EXPECT_TRUE(probed(ftp, 2));
    controlUpFor(2);
    run.join();
    EXPECT_EQ(result.status, 1) << result.out;
    const std::string label = Label(port);
    const std::regex change("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} " + label +
                            " control (up \\(up [0-9.]+ ms\\)|down \\(refused\\))");
    std::vector<std::string> changes;
    std::istringstream lines(result.out);
    std::string heading;
    std::getline(lines, heading);
    EXPECT_TRUE(std::regex_match(heading, std::regex(kTime + " status group 'Sala'"))) << heading;
    for (std::string line; std::getline(lines, line);) {
        // The table's rows begin with the player; a change's line with its time.
        if (line.size() > 4 && line[4] == '-') {
            EXPECT_TRUE(std::regex_match(line, change)) << line;
            changes.push_back(line.substr(20));
        }
    }
    ASSERT_EQ(changes.size(), 2u) << result.out;
    EXPECT_EQ(changes[0].rfind(label + " control up (", 0), 0u);
    EXPECT_EQ(changes[1], label + " control down (refused)");
}

#ifdef _WIN32
// What cron and systemd do to the program is POSIX's: signals that end it, a pipe whose reader
// goes early (SIGPIPE, EPIPE), a soft limit of open files set by the session.
TEST(GroupToolProgramTest, signalsPipesAndTheLimitOfOpenFilesArePosixOnly) {
    GTEST_SKIP() << "kill's SIGTERM, SIGPIPE and the soft limit of open files are POSIX's; "
                    "Windows' Ctrl+C reaches a program through a console, which a test run has "
                    "not";
}
#else
// The tool as a program, as cron or systemd run it: its standard output a pipe, ended by
// signals, its reader gone early.
class GroupToolProgramTest : public GroupToolTest {
protected:
    ~GroupToolProgramTest() override {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0) {
            ::close(m_out);
        }
    }

    // Starts the tool with its standard output on a pipe this test reads; with a soft limit of
    // open files, as a login session may set it.
    void Start(const std::vector<std::string>& args, rlim_t openFiles = 0) {
        int out[2];
        ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
        std::vector<std::string> all = {ORVANTA_GROUP_TOOL};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        m_pid = ::fork();
        ASSERT_GE(m_pid, 0);
        if (m_pid == 0) {
            rlimit limit{};
            if (openFiles > 0 && ::getrlimit(RLIMIT_NOFILE, &limit) == 0) {
                limit.rlim_cur = openFiles;
                ::setrlimit(RLIMIT_NOFILE, &limit);
            }
            ::dup2(out[1], STDOUT_FILENO);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        m_out = out[0];
    }
    // Reads the next line of the tool's output; empty at its end or after 20 s.
    std::string ReadLine() {
        std::string line;
        char c = 0;
        while (line.empty() || line.back() != '\n') {
            pollfd p{m_out, POLLIN, 0};
            if (::poll(&p, 1, 20000) <= 0 || ::read(m_out, &c, 1) != 1) {
                break;
            }
            line += c;
        }
        return line;
    }
    std::string ReadToEnd() {
        std::string all;
        for (std::string line = ReadLine(); !line.empty(); line = ReadLine()) {
            all += line;
        }
        return all;
    }
    // The exit status, or -signal when a signal ended the program; waits at most 20 s.
    int Status() {
        for (int i = 0; i < 2000; ++i) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
            }
            ::usleep(10000);
        }
        return -1000;
    }
    // A player whose FTP server reads slowly enough for the copy to be caught under way, with
    // a complete file from an earlier copy.
    SimulatedPlayer& SlowPlayerWithEarlierFile(long readLimit) {
        m_players.push_back(std::make_unique<SimulatedPlayer>(
            m_folder.Path() / ("slow" + std::to_string(m_players.size())), true, readLimit));
        AddRow(m_players.back()->Port(), m_media);
        std::ofstream(m_players.back()->Home() / "clip one.bin", std::ios::binary) << "earlier";
        return *m_players.back();
    }
    void UseMediaOf(std::size_t bytes) {
        m_bytes = ftp::test::Pattern(bytes);
        std::ofstream(m_media, std::ios::binary | std::ios::trunc) << m_bytes;
    }

    pid_t m_pid = -1;
    int m_out = -1;
};

TEST_F(GroupToolProgramTest, aSignalCancelsTheCopyLeavesTheEarlierFileAndEndsWithItsStatus) {
    struct Case {
        int signal;
        int status;
        std::string reason;
    };
    const Case cases[] = {{SIGTERM, 143, "Interrupted by SIGTERM."},
                          {SIGINT, 130, "Interrupted by SIGINT."}};
    UseMediaOf(4 * 1024 * 1024);
    SimulatedPlayer& slow = SlowPlayerWithEarlierFile(50000);
    const fs::path part = slow.Home() / "clip one.bin.orvanta-part";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        Start(Args("copy"));
        // Under way: the upload has begun (the second case resumes the part the first kept).
        std::string began;
        for (std::string line = ReadLine(); !line.empty(); line = ReadLine()) {
            if (line.find(" sending ") != std::string::npos ||
                line.find(" resuming at byte ") != std::string::npos) {
                began = line;
                break;
            }
        }
        ASSERT_NE(began, "");
        ASSERT_TRUE(test::WaitUntil([&] {
            std::error_code error;
            return fs::file_size(part, error) > 0 && !error;
        }));
        ::kill(m_pid, c.signal);
        const std::string out = ReadToEnd();
        EXPECT_EQ(Status(), c.status) << out;
        EXPECT_NE(out.find(Label(slow.Port()) + " failed: " + c.reason + "\n"), std::string::npos)
            << out;
        EXPECT_NE(out.find("0 of 1 players done, 1 failed\n"), std::string::npos) << out;
        EXPECT_EQ(slow.Stored("clip one.bin"), "earlier");
        // Kept for the next copy to resume, and nothing but the file's first bytes.
        const std::string kept = slow.Stored("clip one.bin.orvanta-part");
        EXPECT_GT(kept.size(), 0u);
        EXPECT_TRUE(kept == m_bytes.substr(0, kept.size()));
        ::close(m_out);
        m_out = -1;
    }
}

TEST_F(GroupToolProgramTest, aPlayerWhoseServerMisstatesTheSizeFailsAloneWithTheProofsText) {
    SimulatedPlayer& first = Player();
    m_players.push_back(std::make_unique<SimulatedPlayer>(m_folder.Path() / "lying", true, 0,
                                                          test::PyFtpQuirks{false, 7}));
    SimulatedPlayer& lying = *m_players.back();
    AddRow(lying.Port(), m_media);
    SimulatedPlayer& last = Player();
    Start(Args("copy"));
    const std::string out = ReadToEnd();
    EXPECT_EQ(Status(), 1) << out;
    const std::string size = std::to_string(m_bytes.size());
    const std::string part = "clip one.bin.orvanta-part";
    EXPECT_NE(out.find(Label(lying.Port() + 1) + " failed: The server holds " +
                       std::to_string(m_bytes.size() + 7) + " bytes under \"" + part + "\" where " +
                       size + " were sent; the file is not put under its name.\n"),
              std::string::npos)
        << out;
    for (SimulatedPlayer* player : {&first, &last}) {
        EXPECT_TRUE(player->Stored("clip one.bin") == m_bytes);
        EXPECT_NE(out.find(Label(player->Port()) + " done " + size + " bytes in "),
                  std::string::npos)
            << out;
    }
    EXPECT_NE(out.find("2 of 3 players done, 1 failed\n"), std::string::npos) << out;
    // Kept under the temporary name; the real name never made.
    EXPECT_TRUE(lying.Stored(part) == m_bytes);
    EXPECT_FALSE(fs::exists(lying.Home() / "clip one.bin"));
}

TEST_F(GroupToolProgramTest, copyWithALimitRateStoresEveryFileNoFasterThanTheRate) {
    // Some 1.2 MiB in all at 512 KiB a second: over two seconds.
    UseMediaOf(600 * 1024 + 123);
    SimulatedPlayer& one = Player();
    SimulatedPlayer& two = Player();
    std::vector<std::string> args = Args("copy");
    args.insert(args.end(), {"--limit-rate", "512K", "--timeout", "120"});
    const auto began = std::chrono::steady_clock::now();
    Start(args);
    const std::string out = ReadToEnd();
    const int status = Status();
    const auto took = std::chrono::steady_clock::now() - began;
    EXPECT_EQ(status, 0) << out;
    for (SimulatedPlayer* player : {&one, &two}) {
        SCOPED_TRACE(player->Port());
        EXPECT_TRUE(player->Stored("clip one.bin") == m_bytes);
        // "done N bytes in T s, R MiB/s, proof: size"
        const std::string done =
            Label(player->Port()) + " done " + std::to_string(m_bytes.size()) + " bytes in ";
        const std::size_t at = out.find(done);
        ASSERT_NE(at, std::string::npos) << out;
        double seconds = 0;
        double rate = 0;
        ASSERT_EQ(std::sscanf(out.c_str() + at + done.size(), "%lf s, %lf MiB/s", &seconds, &rate),
                  2)
            << out;
        // Half a MiB a second is the cap of both together; a wide margin over it.
        EXPECT_LE(rate, 0.75) << out;
    }
    // Less the first burst the limit allows, and a wide margin.
    EXPECT_GE(took, std::chrono::milliseconds(1500));
}

TEST_F(GroupToolProgramTest, aReaderThatGoesAwayNeitherKillsTheCopyNorPassesForSuccess) {
    // Long enough that the tool still writes after its reader has gone.
    UseMediaOf(4 * 1024 * 1024);
    SimulatedPlayer& slow = SlowPlayerWithEarlierFile(2 * 1024 * 1024);
    SimulatedPlayer& fast = Player();
    Start(Args("copy"));
    EXPECT_NE(ReadLine(), "");
    ::close(m_out);  // as `| head -n 1` does
    m_out = -1;
    EXPECT_EQ(Status(), 3);
    EXPECT_TRUE(slow.Stored("clip one.bin") == m_bytes);
    EXPECT_TRUE(fast.Stored("clip one.bin") == m_bytes);
}

TEST_F(GroupToolProgramTest, aGroupLargerThanTheSoftLimitOfOpenFilesIsServedWhole) {
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < 256) {
        GTEST_SKIP() << "the hard limit of open files leaves no room above the soft one";
    }
    // Every row one more connection to the same player.
    SimulatedPlayer& player = Player(false);
    constexpr int kRows = 100;
    for (int i = 1; i < kRows; ++i) {
        AddRow(player.Port(), m_media);
    }
    Start(Args("play"), 64);
    const std::string out = ReadToEnd();
    EXPECT_EQ(Status(), 0) << out;
    EXPECT_NE(out.find(std::to_string(kRows) + " of " + std::to_string(kRows) + " players done\n"),
              std::string::npos)
        << out;
}
#endif

}  // namespace
}  // namespace orvanta::tools

// The link list of the group commands: what becomes of the links an initialize replaces or
// does not reach, against simulated players.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "link/TForm1.h"
#include "registry/CommandJournal.h"
#include "registry/GroupCommands.h"
#include "registry/RegistryStore.h"
#include "registry/Schema.h"
#include "tests/db/TempDatabase.h"
#include "tests/registry/GroupCommandsPlayers.h"
#include "tests/support/FailureOf.h"
#include "tests/support/RecordingDoubles.h"
#include "tests/support/SystemTexts.h"

namespace orvanta::registry {
namespace {

using test::SimulatedPlayer;

const std::string kGreeting = "UtenteNonImpostato\r\n";
const std::string kFullScreen = "@FULLSCREEN:<USERID>COMANDO FULLSCREEN</USERID>\r\n";
const std::string kPlay = "@PLAY:<USERID>COMANDO PLAY</USERID>\r\n";
const std::string kPause = "@PAUSE:<USERID>COMANDO PAUSE</USERID>\r\n";

// The links' poll timers need an application object; one lives for the whole program.
void Application() {
    static int argc = 1;
    static char name[] = "group_commands_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
}

// The process's open descriptors. Windows has no such list: its handle count holds the
// threads' and events' handles too, which Winsock and the run-time open as they please, so
// there the sockets given back are not counted.
#ifndef _WIN32
std::size_t OpenDescriptors() {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                      std::filesystem::directory_iterator()));
}
#endif

// The group commands over a registry file, as the window wires them: the group is "Sala",
// and the group change re-filters it.
class GroupCommandsTest : public ::testing::Test {
protected:
    GroupCommandsTest()
        : m_file(m_folder.Path() / kRegistryFileName),
          m_store([this] { return m_folder.WithSeparator(); }) {
        Application();
        test::ExecSql(m_file, kManagerTableSchema);
    }

    SimulatedPlayer& Player(bool withFtp = true, long ftpReadLimit = 0) {
        m_players.push_back(std::make_unique<SimulatedPlayer>(
            m_folder.Path() / ("player" + std::to_string(m_players.size())), withFtp,
            ftpReadLimit));
        return *m_players.back();
    }
    void AddPlayer(int port, bool active = true, const std::string& file = "/media/clip.mp4") {
        test::ExecSql(m_file,
                      "INSERT INTO manager (attivo, manager_list_name, player_ip, player_port, "
                      "player_file_play) VALUES (" +
                          std::string(active ? "1" : "0") + ", 'Sala', '127.0.0.1', " +
                          std::to_string(port) + ", '" + file + "')");
    }
    // A command as the menu runs it, without the error box: its failure's text, or empty.
    std::string Run(void (GroupCommands::*command)()) {
        return test::FailureOf([&] { (m_commands.*command)(); });
    }
    static void ExpectLines(SimulatedPlayer& player, int connection, const std::string& expected) {
        player.Line().WaitForBytes(expected.size(), connection);
        EXPECT_EQ(player.Line().Received(connection), expected) << "player on " << player.Port();
    }

    test::TempFolder m_folder;
    std::filesystem::path m_file;
    test::RecordingNotices m_notices;
    test::RecordingEffects m_effects;
    RegistryStore m_store;
    GroupCommands m_commands{
        m_store,
        {m_notices,
         [this] {
             return std::make_unique<link::TForm1>(link::LinkEnvironment{
                 m_notices, m_effects, [this] { return m_store.CurrentFilePlay(); }});
         },
         [] { return std::string("Sala"); }, [this] { m_store.FilterGroup("Sala"); }}};
    std::vector<std::unique_ptr<SimulatedPlayer>> m_players;
};

TEST_F(GroupCommandsTest, secondInitializeClosesTheLinksItReplacesOrDrops) {
    SimulatedPlayer& a = Player();
    SimulatedPlayer& b = Player();
    SimulatedPlayer& c = Player();
    for (SimulatedPlayer* player : {&a, &b, &c}) {
        AddPlayer(player->Port());
    }
    m_store.LoadGroups();
    ASSERT_EQ(Run(&GroupCommands::Preparalettori1Click), "");
    ASSERT_EQ(m_commands.LinkCount(), 3u);
    // The peers' ends count too: each peer's own thread must have accepted before the count.
    for (SimulatedPlayer* player : {&a, &b, &c}) {
        ASSERT_TRUE(player->Line().WaitForConnections(1)) << player->Port();
    }
#ifndef _WIN32
    const std::size_t afterFirst = OpenDescriptors();
#endif

    // c leaves the group's active players: the list shrinks to two.
    test::ExecSql(m_file,
                  "UPDATE manager SET attivo=0 WHERE player_port=" + std::to_string(c.Port()));
    ASSERT_EQ(Run(&GroupCommands::Preparalettori1Click), "");
    ASSERT_EQ(m_commands.LinkCount(), 2u);
    for (SimulatedPlayer* player : {&a, &b, &c}) {
        // Closed without a farewell line: the first connection saw the greeting and full
        // screen only, then the close.
        EXPECT_TRUE(player->Line().WaitForClientClosed(0)) << player->Port();
        EXPECT_EQ(player->Line().Received(0), kGreeting + kFullScreen);
    }
    EXPECT_EQ(c.Line().ConnectionCount(), 1);
    for (SimulatedPlayer* player : {&a, &b}) {
        ASSERT_TRUE(player->Line().WaitForConnections(2)) << player->Port();
    }
    // Each replaced or dropped link gave back its control and FTP sockets; what is left of
    // the two new links is theirs plus the peers' ends of the two new connections.
#ifndef _WIN32
    EXPECT_EQ(OpenDescriptors(), afterFirst - 3 * 2 + 2 * 2 + 2);
#endif

    ASSERT_EQ(Run(&GroupCommands::Pausa1Click), "");
    for (SimulatedPlayer* player : {&a, &b}) {
        ExpectLines(*player, 1, kGreeting + kFullScreen + kPause);
    }
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
}

TEST_F(GroupCommandsTest, initializeStoppedByAnFtpFailureLeavesAnEmptyEntryThatIsSkipped) {
    SimulatedPlayer& a = Player();
    SimulatedPlayer& noFtp = Player(false);
    SimulatedPlayer& c = Player();
    for (SimulatedPlayer* player : {&a, &noFtp, &c}) {
        AddPlayer(player->Port());
    }
    m_store.LoadGroups();
    EXPECT_EQ(Run(&GroupCommands::Preparalettori1Click),
              "Socket Error # 10061\r\nConnection refused.");
    ASSERT_EQ(m_commands.LinkCount(), 3u);
    EXPECT_EQ(m_commands.Link(2), nullptr);
    EXPECT_EQ(c.Line().ConnectionCount(), 0);
    // The control channel opened before the FTP login failed; full screen never went out.
    ExpectLines(noFtp, 0, kGreeting);

    ASSERT_EQ(Run(&GroupCommands::Play1Click), "");
    ASSERT_EQ(Run(&GroupCommands::Pausa1Click), "");
    EXPECT_EQ(m_notices.messages, (std::vector<std::string>{"3 interessati dal play"}));
    ExpectLines(a, 0, kGreeting + kFullScreen + kPlay + kPause);
    ExpectLines(noFtp, 0, kGreeting + kPlay + kPause);
    EXPECT_EQ(c.Line().ConnectionCount(), 0);
}

TEST_F(GroupCommandsTest, aStoppedInitializeLeavesNoLinkToAnotherGroupsPlayers) {
    SimulatedPlayer& a = Player();
    SimulatedPlayer& b = Player();
    SimulatedPlayer& c = Player();
    for (SimulatedPlayer* player : {&a, &b, &c}) {
        AddPlayer(player->Port());
    }
    m_store.LoadGroups();
    ASSERT_EQ(Run(&GroupCommands::Preparalettori1Click), "");

    // Those three now belong to another group; "Sala" holds a player, one without an FTP
    // server, and a third: its initialize stops at the second.
    test::ExecSql(m_file, "UPDATE manager SET manager_list_name='Vetrina'");
    SimulatedPlayer& d = Player();
    SimulatedPlayer& noFtp = Player(false);
    SimulatedPlayer& f = Player();
    for (SimulatedPlayer* player : {&d, &noFtp, &f}) {
        AddPlayer(player->Port());
    }
    EXPECT_EQ(Run(&GroupCommands::Preparalettori1Click),
              "Socket Error # 10061\r\nConnection refused.");
    EXPECT_EQ(m_commands.Link(2), nullptr);
    for (SimulatedPlayer* player : {&a, &b, &c}) {
        EXPECT_TRUE(player->Line().WaitForClientClosed(0)) << player->Port();
    }

    // Play reaches the chosen group's players that have a link, and nothing else.
    ASSERT_EQ(Run(&GroupCommands::Play1Click), "");
    EXPECT_EQ(m_notices.messages, std::vector<std::string>{"3 interessati dal play"});
    ExpectLines(d, 0, kGreeting + kFullScreen + kPlay);
    ExpectLines(noFtp, 0, kGreeting + kPlay);
    EXPECT_EQ(f.Line().ConnectionCount(), 0);
    for (SimulatedPlayer* player : {&a, &b, &c}) {
        EXPECT_EQ(player->Line().Received(0), kGreeting + kFullScreen) << player->Port();
    }
    EXPECT_EQ(m_commands.LastCommand().entries.back().state, EntryOutcome::State::NoLink);
}

TEST_F(GroupCommandsTest, aHostileFileValueIsRefusedBeforeAnythingReachesThePlayers) {
    struct Case {
        std::string what;
        std::string value;  // SQL for the row's file
        void (GroupCommands::*command)();
        std::string failure;
    };
    const std::string lineBreaks = "Line breaks and NUL characters cannot be sent in a line.";
    const std::string media = (m_folder.Path() / "clip2.mp4").string();
    std::ofstream(media) << "good bytes";
    const Case cases[] = {
        {"load with extra lines", "'clip2.mp4' || char(10) || '@PLAY' || char(10)",
         &GroupCommands::Caricaifiles1Click, lineBreaks},
        {"load with CR", "'clip2.mp4' || char(13) || '@STOP'", &GroupCommands::Caricaifiles1Click,
         lineBreaks},
        {"load with NUL", "'clip2.mp4' || char(0) || '@PLAY'", &GroupCommands::Caricaifiles1Click,
         lineBreaks},
        // The file up to the NUL is a real one: its bytes would be stored under "DELE".
        {"copy with NUL", "'" + media + "' || char(0) || 'DELE'", &GroupCommands::Inviaifiles1Click,
         "Cannot open file \"" + media + "\\0DELE\". The name holds a NUL character"},
    };
    SimulatedPlayer& player = Player();
    AddPlayer(player.Port());
    m_store.LoadGroups();
    ASSERT_EQ(Run(&GroupCommands::Preparalettori1Click), "");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::ExecSql(m_file, "UPDATE manager SET player_file_play = " + c.value);
        m_store.FilterGroup("Sala");
        EXPECT_EQ(Run(c.command), c.failure);
    }
    // Nothing after the initialize's own lines, and no upload began.
    ASSERT_TRUE(player.Line().WaitForBytes((kGreeting + kFullScreen).size()));
    EXPECT_EQ(player.Line().Received(), kGreeting + kFullScreen);
    for (const std::string& command : player.Ftp().Commands()) {
        EXPECT_EQ(command.rfind("PORT", 0), std::string::npos) << command;
        EXPECT_EQ(command.rfind("STOR", 0), std::string::npos) << command;
    }
}

TEST_F(GroupCommandsTest, aPortOutsideTheTcpRangeStopsTheInitializeAtItsRow) {
    SimulatedPlayer& player = Player();
    // Cut down to 32 bits, this port is the player's own.
    const std::int64_t wrapped = (std::int64_t{1} << 32) + player.Port();
    AddPlayer(static_cast<int>(player.Port()));
    test::ExecSql(m_file, "UPDATE manager SET player_port = " + std::to_string(wrapped));
    m_store.LoadGroups();
    EXPECT_EQ(
        Run(&GroupCommands::Preparalettori1Click),
        "Porta del lettore non valida: " + std::to_string(wrapped) + " (ammesse da 1 a 65535).");
    EXPECT_EQ(player.Line().ConnectionCount(), 0);
}

TEST_F(GroupCommandsTest, parallelCopyTakesItsWatchersCancelUntilEveryUploadHasEnded) {
    // Servers that read a trickle: left alone, the copy would take minutes.
    constexpr long kTrickle = 32 * 1024;
    SimulatedPlayer& a = Player(true, kTrickle);
    SimulatedPlayer& b = Player(true, kTrickle);
    const std::filesystem::path clip = m_folder.Path() / "clip.mp4";
    std::ofstream(clip, std::ios::binary) << std::string(4 << 20, 'c');
    AddPlayer(a.Port(), true, clip.string());
    AddPlayer(b.Port(), true, clip.string());
    m_store.LoadGroups();
    ASSERT_EQ(Run(&GroupCommands::Preparalettori1Click), "");

    // Each call notes whether every entry had ended by then; the third asks for the cancel.
    std::vector<bool> ended;
    GroupCommands::Watcher watcher;
    watcher.copyWaiting = [&] {
        const std::vector<EntryOutcome>& entries = m_commands.LastCommand().entries;
        ended.push_back(std::all_of(entries.begin(), entries.end(), [](const EntryOutcome& entry) {
            return entry.state == EntryOutcome::State::Done ||
                   entry.state == EntryOutcome::State::Failed;
        }));
        if (ended.size() == 3) {
            m_commands.CancelCopy();
        }
    };
    m_commands.SetWatcher(watcher);
    EXPECT_EQ(Run(&GroupCommands::CopiaInParallelo),
              "Copia in parallelo non riuscita in 2 lettori su 2.\r\nLettore 1 (127.0.0.1): "
              "Copia annullata.");
    m_commands.SetWatcher({});

    const std::vector<EntryOutcome>& entries = m_commands.LastCommand().entries;
    ASSERT_EQ(entries.size(), 2u);
    for (const EntryOutcome& entry : entries) {
        EXPECT_EQ(entry.state, EntryOutcome::State::Failed);
        EXPECT_EQ(entry.failure, "Copia annullata.");
    }
    // Still under way when cancelled, and asked once more after the last upload had ended:
    // a view takes what the operator did during the copy then, not after the copy.
    ASSERT_GE(ended.size(), 4u);
    EXPECT_FALSE(ended[2]);
    EXPECT_TRUE(ended.back());
    // Asked for once the copy is over, a cancel does nothing.
    m_commands.CancelCopy();
    EXPECT_FALSE(m_commands.LastCommand().running);
}

// What each command leaves in the journal beside the registry: one record a command, each
// entry's outcome under the player it reached.
class GroupCommandsJournalTest : public GroupCommandsTest {
protected:
    GroupCommandsJournalTest() {
        std::ofstream(m_clip, std::ios::binary) << std::string(70000, 'v');
    }

    std::vector<JournalRecord> Journal() const { return ReadJournal(m_commands.JournalPath()); }
    static JournalPlayer Reached(SimulatedPlayer& player, JournalOutcome outcome,
                                 const std::string& text = {}) {
        return {"127.0.0.1", std::to_string(player.Port()), outcome, text};
    }
    static JournalPlayer Unnamed(JournalOutcome outcome) { return {{}, {}, outcome, {}}; }
    // The record's own fields, and each player's as expected.
    static void Expect(const JournalRecord& record, const std::string& command,
                       const std::string& file, const std::vector<JournalPlayer>& players) {
        SCOPED_TRACE(command);
        EXPECT_EQ(record.program, "orvanta-manager");
        EXPECT_EQ(record.command, command);
        EXPECT_EQ(record.group, "Sala");
        EXPECT_EQ(record.file, file);
        EXPECT_FALSE(record.time.empty());
        ASSERT_EQ(record.players.size(), players.size());
        for (std::size_t i = 0; i < players.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(record.players[i].address, players[i].address);
            EXPECT_EQ(record.players[i].port, players[i].port);
            EXPECT_EQ(record.players[i].outcome, players[i].outcome);
            EXPECT_EQ(record.players[i].text, players[i].text);
        }
    }
    // The failure's text the command recorded for the entry, which the journal must repeat.
    std::string RecordedFailure(std::size_t entry) const {
        return m_commands.LastCommand().entries.at(entry).failure;
    }

    // Three players initialized, and a copy that stopped at the second: its server cannot store
    // the file under its name while a folder holds that name.
    std::tuple<SimulatedPlayer&, SimulatedPlayer&, SimulatedPlayer&> CopyStoppedAtTheSecond() {
        SimulatedPlayer& a = Player();
        SimulatedPlayer& b = Player();
        SimulatedPlayer& c = Player();
        for (SimulatedPlayer* player : {&a, &b, &c}) {
            AddPlayer(player->Port(), true, m_clip);
        }
        m_store.LoadGroups();
        m_store.FilterGroup("Sala");
        EXPECT_EQ(Run(&GroupCommands::Preparalettori1Click), "");
        std::filesystem::create_directory(b.Home() / "clip.mp4");
        EXPECT_NE(Run(&GroupCommands::Inviaifiles1Click), "");
        return {a, b, c};
    }

    std::string m_clip = (m_folder.Path() / "clip.mp4").string();
};

TEST_F(GroupCommandsJournalTest, eachCommandRecordsEveryEntrysOutcomeUnderItsPlayer) {
    using O = JournalOutcome;
    SimulatedPlayer& a = Player();
    SimulatedPlayer& noFtp = Player(false);
    SimulatedPlayer& c = Player();
    for (SimulatedPlayer* player : {&a, &noFtp, &c}) {
        AddPlayer(player->Port(), true, m_clip);
    }
    m_store.LoadGroups();
    m_store.FilterGroup("Sala");
    const std::string refused = "Socket Error # 10061\r\nConnection refused.";
    ASSERT_EQ(Run(&GroupCommands::Preparalettori1Click), refused);
    ASSERT_EQ(Run(&GroupCommands::Play1Click), "");
    EXPECT_NE(Run(&GroupCommands::Inviaifiles1Click), "");
    const std::string copyFailure = RecordedFailure(1);
    ASSERT_NE(copyFailure, "");

    const std::vector<JournalRecord> records = Journal();
    ASSERT_EQ(records.size(), 3u);
    // The initialize named the player it failed at; the one after it was never read.
    Expect(records[0], "initialize", "",
           {Reached(a, O::Done), Reached(noFtp, O::Failed, refused), Unnamed(O::NotReached)});
    Expect(records[1], "play", "",
           {Reached(a, O::Done), Reached(noFtp, O::Done), Unnamed(O::Skipped)});
    Expect(records[2], "copy", m_clip,
           {Reached(a, O::Done), Reached(noFtp, O::Failed, copyFailure), Unnamed(O::NotReached)});
    EXPECT_EQ(m_notices.messages, (std::vector<std::string>{"3 interessati dal play"}));

    const auto holdings = ReadPlayerHoldings(m_commands.JournalPath());
    const PlayerHolding& first = holdings.at({"127.0.0.1", std::to_string(a.Port())});
    ASSERT_TRUE(first.copied);
    EXPECT_EQ(first.copied->file, m_clip);
    EXPECT_EQ(first.copied->time, records[2].time);
    const PlayerHolding& second = holdings.at({"127.0.0.1", std::to_string(noFtp.Port())});
    EXPECT_FALSE(second.copied);
    ASSERT_TRUE(second.last);
    EXPECT_EQ(second.last->text, copyFailure);
    EXPECT_EQ(holdings.count({"127.0.0.1", std::to_string(c.Port())}), 0u);
}

TEST_F(GroupCommandsJournalTest, continuaAndTheParallelCopyRecordWhatTheyRan) {
    using O = JournalOutcome;
    auto [a, b, c] = CopyStoppedAtTheSecond();
    const std::filesystem::path blocker = b.Home() / "clip.mp4";
    const std::string copyFailure = RecordedFailure(1);
    std::filesystem::remove(blocker);
    ASSERT_EQ(Run(&GroupCommands::Continua), "");
    // The file the resumed copy stored gives way to the folder again.
    std::filesystem::remove(blocker);
    std::filesystem::create_directory(blocker);
    EXPECT_NE(Run(&GroupCommands::CopiaInParallelo), "");
    const std::string parallelFailure = RecordedFailure(1);
    ASSERT_NE(parallelFailure, "");

    const std::vector<JournalRecord> records = Journal();
    ASSERT_EQ(records.size(), 4u);
    Expect(records[1], "copy", m_clip,
           {Reached(a, O::Done), Reached(b, O::Failed, copyFailure), Reached(c, O::NotReached)});
    // Only the entries it ran: the first was done by the copy it resumed.
    Expect(records[2], "continua copy", m_clip, {Reached(b, O::Done), Reached(c, O::Done)});
    // a and c already hold the clip: nothing is sent to them again.
    Expect(records[3], "parallel-copy", m_clip,
           {Reached(a, O::AlreadyPresent), Reached(b, O::Failed, parallelFailure),
            Reached(c, O::AlreadyPresent)});
}

TEST_F(GroupCommandsJournalTest, saltaIsRecordedAsSuchWithThePlayerItPassedOver) {
    using O = JournalOutcome;
    auto [a, b, c] = CopyStoppedAtTheSecond();
    ASSERT_EQ(Run(&GroupCommands::Salta), "");

    const std::vector<JournalRecord> records = Journal();
    ASSERT_EQ(records.size(), 3u);
    Expect(records[2], "salta copy", m_clip, {Reached(b, O::Skipped), Reached(c, O::Done)});
    // What c holds now comes from the Salta's record.
    const auto holdings = ReadPlayerHoldings(m_commands.JournalPath());
    const PlayerHolding& third = holdings.at({"127.0.0.1", std::to_string(c.Port())});
    ASSERT_TRUE(third.copied);
    EXPECT_EQ(third.copied->time, records[2].time);
}

TEST_F(GroupCommandsJournalTest, aJournalThatCannotBeWrittenChangesNoCommand) {
    SimulatedPlayer& a = Player();
    AddPlayer(a.Port(), true, m_clip);
    m_store.LoadGroups();
    m_store.FilterGroup("Sala");
    // A folder where the journal would be.
    std::filesystem::create_directory(m_commands.JournalPath());
    ::testing::internal::CaptureStderr();
    const std::string initialized = Run(&GroupCommands::Preparalettori1Click);
    const std::string played = Run(&GroupCommands::Play1Click);
    const std::string copied = Run(&GroupCommands::Inviaifiles1Click);
    const std::string told = ::testing::internal::GetCapturedStderr();

    EXPECT_EQ(initialized, "");
    EXPECT_EQ(played, "");
    EXPECT_EQ(copied, "");
    EXPECT_TRUE(a.Stored("clip.mp4") == std::string(70000, 'v'));
    ExpectLines(a, 0, kGreeting + kFullScreen + kPlay);
    // Its boxes are the command's own, and it is told of once, on the standard error only.
    EXPECT_EQ(m_notices.messages, (std::vector<std::string>{"1 interessati dal play"}));
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
    EXPECT_EQ(told, "orvanta-manager: Cannot write the journal \"" +
                        test::Printed(m_commands.JournalPath()) +
                        "\": " + test::SystemErrorText(test::kAFolderInItsPlace) +
                        ". Group commands go on without it.\n");
    EXPECT_NE(m_commands.JournalProblem(), "");
    EXPECT_EQ(m_commands.LastCommand().entries.at(0).state, EntryOutcome::State::Done);
}

}  // namespace
}  // namespace orvanta::registry

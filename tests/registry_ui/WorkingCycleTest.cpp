// The group commands run from the window's menu against simulated players: a recording line
// peer on each player's control port and a real FTP server on the port after it.
#include <gtest/gtest.h>

#include <QAction>

#include <algorithm>
#include <fstream>
#include <map>

#include "link/TForm1.h"
#include "tests/registry/GroupCommandsPlayers.h"
#include "tests/registry_ui/ManagerWindowFixture.h"

namespace orvanta::registry::ui::test {
namespace {

using orvanta::test::SimulatedPlayer;

const std::string kGreeting = "UtenteNonImpostato\r\n";
const std::string kFullScreen = "@FULLSCREEN:<USERID>COMANDO FULLSCREEN</USERID>\r\n";
const std::string kNormalScreen = "@NOFULLSCREEN:<USERID>COMANDO FULLSCREEN</USERID>\r\n";
const std::string kPlay = "@PLAY:<USERID>COMANDO PLAY</USERID>\r\n";
const std::string kPause = "@PAUSE:<USERID>COMANDO PAUSE</USERID>\r\n";
const std::vector<std::string> kLogin = {"USER orvanta", "PASS brindlemoss", "TYPE I", "SYST"};

std::string RenderFile(const std::string& name) {
    return "@RENDERFILE:<FILE>" + name + "</FILE>\r\n";
}

class WorkingCycleTest : public ManagerWindowFixture {
protected:
    std::filesystem::path PlayerHome(const std::string& name) const {
        return m_folder.Path() / "players" / name;
    }
    // A media file with bytes that show any reordering or loss.
    std::string WriteMedia(const std::string& name, std::size_t size) {
        std::filesystem::create_directories(m_folder.Path() / "media");
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) {
            bytes[i] = static_cast<char>((i * 131 + i / 509) & 0xFF);
        }
        const std::filesystem::path path = m_folder.Path() / "media" / name;
        std::ofstream(path, std::ios::binary) << bytes;
        m_media[name] = bytes;
        return path.string();
    }
    void AddOn(const std::string& group, int port, bool active, const std::string& file) {
        AddPlayer(group, "127.0.0.1", port, active, file);
    }
    // Waits for the line peer to have received the text, then compares it byte for byte.
    static void ExpectLines(SimulatedPlayer& player, const std::string& expected) {
        player.Line().WaitForBytes(expected.size());
        EXPECT_EQ(player.Line().Received(), expected) << "player on port " << player.Port();
    }
    // The player's FTP folder holds the media file, byte for byte.
    void ExpectStored(const SimulatedPlayer& player, const std::string& name) {
        const std::string stored = player.Stored(name);
        EXPECT_EQ(stored.size(), m_media[name].size()) << name << " on " << player.Port();
        EXPECT_TRUE(stored == m_media[name]) << name << " on " << player.Port();
    }
    GroupCommands& Commands() { return Window().Commands(); }

    std::map<std::string, std::string> m_media;
};

TEST_F(WorkingCycleTest, wholeCycleReachesEveryActivePlayerInOrder) {
    SimulatedPlayer first(PlayerHome("first")), second(PlayerHome("second")),
        third(PlayerHome("third"));
    SimulatedPlayer resting(PlayerHome("resting"), false);
    const std::string clip = WriteMedia("clip uno.mp4", 300000);
    AddOn("Sala", first.Port(), true, clip);
    AddOn("Sala", resting.Port(), false, WriteMedia("riposo.mp4", 10));
    AddOn("Sala", second.Port(), true, WriteMedia("due.mp4", 10));
    AddOn("Sala", third.Port(), true, WriteMedia("tre.mp4", 10));
    Open();
    ChooseGroup("Sala");
    m_trace.clear();

    Window().Preparalettori1->trigger();
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
    EXPECT_TRUE(m_notices.messages.empty());
    const std::string active = "select * from manager where attivo=1 and manager_list_name='Sala'";
    EXPECT_EQ(Texts(), Then({active + " order by manager_list_name\n",
                             "SELECT COUNT(*) FROM (\n" + active + " \n) A\n"},
                            GroupChange("'Sala'")));
    // The grid shows the whole group again, the first row current.
    EXPECT_EQ(GridColumn(5).size(), 4u);
    EXPECT_EQ(GridCurrentRow(), 0);
    ASSERT_EQ(Commands().LinkCount(), 3u);
    // Every link created puts the pointer where the player windows expect it.
    EXPECT_EQ(std::count(m_effects.calls.begin(), m_effects.calls.end(), "MovePointer 586 363"), 3);
    for (SimulatedPlayer* player : {&first, &second, &third}) {
        // The peer accepts on a thread of its own: wait for it to have seen the connection.
        EXPECT_TRUE(player->Line().WaitForConnections(1)) << player->Port();
        EXPECT_EQ(player->Line().ConnectionCount(), 1);
        EXPECT_EQ(player->Ftp().Commands(), kLogin) << player->Port();
    }
    ExpectLines(first, kGreeting + kFullScreen);

    // Without touching the grid every player gets the first row's file.
    Window().Inviaifiles1->trigger();
    for (SimulatedPlayer* player : {&first, &second, &third}) {
        ExpectStored(*player, "clip uno.mp4");
        const std::vector<std::string> commands = player->Ftp().Commands();
        ASSERT_EQ(commands.size(), 6u);
        EXPECT_EQ(commands[4].rfind("PORT 127,0,0,1,", 0), 0u) << commands[4];
        EXPECT_EQ(commands[5], "STOR clip uno.mp4");
    }

    Window().Caricaifiles1->trigger();
    Window().Play1->trigger();
    Window().Pausa1->trigger();
    Window().Stop1->trigger();  // the load command again, not a stop
    Window().Normalscreen1->trigger();
    Window().Fullscreen1->trigger();
    EXPECT_EQ(m_notices.messages, (std::vector<std::string>{"3 interessati dal play"}));
    const std::string expected = kGreeting + kFullScreen + RenderFile("clip uno.mp4") + kPlay +
                                 kPause + RenderFile("clip uno.mp4") + kNormalScreen + kFullScreen;
    for (SimulatedPlayer* player : {&first, &second, &third}) {
        ExpectLines(*player, expected);
    }
    EXPECT_EQ(resting.Line().ConnectionCount(), 0);
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
}

TEST_F(WorkingCycleTest, rowChosenBeforeCopyFilesGivesEveryPlayerItsFile) {
    SimulatedPlayer first(PlayerHome("first")), second(PlayerHome("second"));
    AddOn("Sala", first.Port(), true, WriteMedia("primo.mp4", 1000));
    AddOn("Sala", second.Port(), true, WriteMedia("secondo.mp4", 70000));
    Open();
    ChooseGroup("Sala");
    Window().Preparalettori1->trigger();
    ClickRow(1);
    Window().Inviaifiles1->trigger();
    Window().Caricaifiles1->trigger();
    for (SimulatedPlayer* player : {&first, &second}) {
        ExpectStored(*player, "secondo.mp4");
        EXPECT_FALSE(std::filesystem::exists(player->Home() / "primo.mp4"));
        ExpectLines(*player, kGreeting + kFullScreen + RenderFile("secondo.mp4"));
    }
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
}

TEST_F(WorkingCycleTest, secondOfThreeRefusingStopsInitializeThere) {
    SimulatedPlayer first(PlayerHome("first"));
    SimulatedPlayer third(PlayerHome("third"), false);
    SimulatedPlayer resting(PlayerHome("resting"), false);
    const int refusing = orvanta::test::RefusingPort();
    AddOn("Sala", first.Port(), true, WriteMedia("uno.mp4", 10));
    AddOn("Sala", resting.Port(), false, WriteMedia("riposo.mp4", 10));
    AddOn("Sala", refusing, true, WriteMedia("due.mp4", 10));
    AddOn("Sala", third.Port(), true, WriteMedia("tre.mp4", 10));
    Open();
    ChooseGroup("Sala");

    Window().Preparalettori1->trigger();
    EXPECT_EQ(m_notices.errors,
              (std::vector<std::string>{"Socket Error # 10061\r\nConnection refused."}));
    ExpectLines(first, kGreeting + kFullScreen);
    EXPECT_EQ(first.Ftp().Commands(), kLogin);
    EXPECT_EQ(third.Line().ConnectionCount(), 0);
    // Not re-filtered: the active players, the refusing one current.
    EXPECT_EQ(GridColumn(5),
              (std::vector<std::string>{std::to_string(first.Port()), std::to_string(refusing),
                                        std::to_string(third.Port())}));
    EXPECT_EQ(GridCurrentRow(), 1);
    EXPECT_EQ(Window().CurrentFilePlay(), m_folder.Path() / "media" / "due.mp4");
    ASSERT_EQ(Commands().LinkCount(), 3u);
    EXPECT_EQ(Commands().Link(2), nullptr);

    // Play reaches the first player and stops at the link whose opening failed.
    m_notices.errors.clear();
    Window().Play1->trigger();
    EXPECT_EQ(m_notices.messages, (std::vector<std::string>{"3 interessati dal play"}));
    EXPECT_EQ(m_notices.errors, (std::vector<std::string>{"Connection Closed Gracefully."}));
    ExpectLines(first, kGreeting + kFullScreen + kPlay);
    EXPECT_EQ(third.Line().ConnectionCount(), 0);
    EXPECT_EQ(resting.Line().ConnectionCount(), 0);
}

TEST_F(WorkingCycleTest, playAfterAnInitializeThatStoppedReachesOnlyTheChosenGroup) {
    SimulatedPlayer a(PlayerHome("a")), b(PlayerHome("b")), c(PlayerHome("c"));
    // The second of the other group has no FTP server: its initialize stops there.
    SimulatedPlayer d(PlayerHome("d")), noFtp(PlayerHome("noftp"), false), f(PlayerHome("f"));
    const std::string clip = WriteMedia("clip.mp4", 10);
    for (SimulatedPlayer* player : {&a, &b, &c}) {
        AddOn("Sala LAN", player->Port(), true, clip);
    }
    for (SimulatedPlayer* player : {&d, &noFtp, &f}) {
        AddOn("Vetrina Nord", player->Port(), true, clip);
    }
    Open();
    ChooseGroup("Sala LAN");
    Window().Preparalettori1->trigger();
    ASSERT_EQ(m_notices.errors, std::vector<std::string>{});
    ChooseGroup("Vetrina Nord");
    Window().Preparalettori1->trigger();
    EXPECT_EQ(m_notices.errors,
              std::vector<std::string>{"Socket Error # 10061\r\nConnection refused."});
    for (SimulatedPlayer* player : {&a, &b, &c}) {
        EXPECT_TRUE(player->Line().WaitForClientClosed(0)) << player->Port();
    }

    // Play reaches the chosen group's players that have a link, and no other screen.
    Window().Play1->trigger();
    EXPECT_EQ(m_notices.messages, std::vector<std::string>{"3 interessati dal play"});
    ExpectLines(d, kGreeting + kFullScreen + kPlay);
    ExpectLines(noFtp, kGreeting + kPlay);
    EXPECT_EQ(f.Line().ConnectionCount(), 0);
    for (SimulatedPlayer* player : {&a, &b, &c}) {
        EXPECT_EQ(player->Line().Received(0), kGreeting + kFullScreen) << player->Port();
    }
}

TEST_F(WorkingCycleTest, aHostileFileValueInTheChosenRowReachesNoPlayer) {
    SimulatedPlayer player(PlayerHome("player"));
    const std::string clip = WriteMedia("clip.mp4", 10);
    AddOn("Sala", player.Port(), true, clip);
    struct Case {
        std::string group;  // a group of its own, whose one row is the current one
        std::string value;  // SQL for that row's file
        QAction* TFormMainManager::*command;
        std::string failure;
    };
    // As the error box shows them.
    const std::string lineBreaks = "Line breaks and NUL characters cannot be sent in a line.";
    const Case cases[] = {
        {"LF", "'clip.mp4' || char(10) || '@PLAY' || char(10)", &TFormMainManager::Caricaifiles1,
         lineBreaks},
        {"CR", "'clip.mp4' || char(13) || '@STOP'", &TFormMainManager::Stop1, lineBreaks},
        {"NUL", "'clip.mp4' || char(0) || '@PLAY'", &TFormMainManager::Caricaifiles1, lineBreaks},
        // The file up to the NUL is a real one: its bytes would be stored under "DELE".
        {"NUL copy", "'" + clip + "' || char(0) || 'DELE'", &TFormMainManager::Inviaifiles1,
         "Cannot open file \"" + clip + "\\0DELE\". The name holds a NUL character."},
    };
    for (const Case& c : cases) {
        AddOn(c.group, orvanta::test::RefusingPort(), false, clip);
        orvanta::test::ExecSql(m_file, "UPDATE manager SET player_file_play = " + c.value +
                                           " WHERE manager_list_name = '" + c.group + "'");
    }
    Open();
    ChooseGroup("Sala");
    Window().Preparalettori1->trigger();
    ASSERT_EQ(m_notices.errors, std::vector<std::string>{});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.group);
        ChooseGroup(c.group);
        ASSERT_EQ(GridColumn().size(), 1u);
        (Window().*c.command)->trigger();
        EXPECT_EQ(m_notices.errors.back(), c.failure);
    }
    EXPECT_EQ(m_notices.errors.size(), std::size(cases));
    // Nothing after the initialize's own lines, and no upload began.
    ExpectLines(player, kGreeting + kFullScreen);
    for (const std::string& command : player.Ftp().Commands()) {
        EXPECT_EQ(command.rfind("STOR", 0), std::string::npos) << command;
    }
}

TEST_F(WorkingCycleTest, groupWithoutActivePlayersKeepsTheEarlierLinks) {
    SimulatedPlayer player(PlayerHome("player"));
    AddOn("Sala", player.Port(), true, WriteMedia("uno.mp4", 10));
    AddOn("Riposo", orvanta::test::RefusingPort(), false, WriteMedia("due.mp4", 10));
    Open();
    ChooseGroup("Sala");
    Window().Preparalettori1->trigger();
    ChooseGroup("Riposo");
    ASSERT_EQ(GridColumn().size(), 1u);

    Window().Preparalettori1->trigger();
    EXPECT_EQ(m_notices.messages, (std::vector<std::string>{"Nessun lettore impostato o attivo."}));
    EXPECT_TRUE(GridColumn().empty());
    EXPECT_TRUE(Window().Store().qfiles.Active());
    Window().Play1->trigger();
    EXPECT_EQ(m_notices.messages.back(), "1 interessati dal play");
    ExpectLines(player, kGreeting + kFullScreen + kPlay);
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
}

TEST_F(WorkingCycleTest, commandsBeforeAnyInitializeReachNobody) {
    Open();
    for (QAction* command : {Window().Inviaifiles1, Window().Caricaifiles1, Window().Play1,
                             Window().Pausa1, Window().Stop1}) {
        command->trigger();
    }
    EXPECT_EQ(m_notices.messages, (std::vector<std::string>{"0 interessati dal play"}));
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});

    // With the selector showing its prompt, initialize asks for the empty group's players.
    m_trace.clear();
    Window().Preparalettori1->trigger();
    ASSERT_FALSE(m_trace.empty());
    EXPECT_EQ(m_trace[0].sql,
              "select * from manager where attivo=1 and manager_list_name='' order by "
              "manager_list_name\n");
    EXPECT_EQ(m_notices.messages.back(), "Nessun lettore impostato o attivo.");
    EXPECT_EQ(Commands().LinkCount(), 0u);
}

}  // namespace
}  // namespace orvanta::registry::ui::test

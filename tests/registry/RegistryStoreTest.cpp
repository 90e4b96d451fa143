#include <gtest/gtest.h>

#include <filesystem>

#include "registry/RegistryStore.h"
#include "registry/Schema.h"
#include "tests/db/DbFixture.h"
#include "tests/db/TempDatabase.h"

namespace orvanta::registry {
namespace {

using db::DatasetState;
using db::Value;
using test::FailureText;
using test::TracedStatement;

Value Int(std::int64_t n) {
    return Value{n};
}

const std::string kGroupList = "select distinct manager_list_name from manager\n";
const std::string kClosed = "qfiles: Cannot perform this operation on a closed dataset";

std::string GroupCheck(const std::string& quoted) {
    return "select manager_list_name from manager where manager_list_name=" + quoted + "\n";
}
std::string GroupPlayers(const std::string& quoted) {
    return "select * from manager where manager_list_name=" + quoted +
           " order by manager_list_name\n";
}
std::string GroupCheckCount(const std::string& quoted) {
    return "SELECT COUNT(*) FROM (\nselect manager_list_name from manager where "
           "manager_list_name=" +
           quoted + "\n) A\n";
}
// What the after-post notification sends: the reload and the group change.
std::vector<std::string> Reload(const std::string& quoted) {
    return {kGroupList, GroupCheck(quoted), GroupPlayers(quoted), GroupCheckCount(quoted)};
}
std::vector<std::string> Then(std::vector<std::string> first,
                              const std::vector<std::string>& more) {
    first.insert(first.end(), more.begin(), more.end());
    return first;
}

// A registry file beside a pretend executable, and the store as the window drives it: the
// selector's text, and "Aggiorna gruppi" after every post.
class RegistryStoreTest : public ::testing::Test {
protected:
    RegistryStoreTest()
        : m_executableFolder(m_folder.WithSeparator()),
          m_file((m_folder.Path() / kRegistryFileName).string()),
          m_store([this] { return m_executableFolder; }) {
        test::ExecSql(m_file, kManagerTableSchema);
        m_store.conn.SetTrace([this](const std::string& sql, const std::vector<Value>& values) {
            m_trace.push_back({sql, values});
        });
        m_store.SetAfterPost([this] {
            ++m_reloads;
            m_groups = m_store.LoadGroups();
            m_found = m_store.FilterGroup(m_selector);
        });
    }

    void AddPlayer(const std::string& group, const std::string& ip, int port, bool active) {
        test::ExecSql(m_file,
                      "INSERT INTO manager (attivo, manager_list_name, player_ip, player_port, "
                      "player_file_play) VALUES (" +
                          std::string(active ? "1" : "0") + ", " +
                          (group == "NULL" ? group : Quoted(group)) + ", '" + ip + "', " +
                          std::to_string(port) + ", '/media/" + ip + ".mp4')");
    }
    // The window's group change with the selector's text.
    void ChooseGroup(const std::string& name) {
        m_selector = name;
        m_found = m_store.FilterGroup(name);
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const TracedStatement& statement : m_trace) {
            texts.push_back(statement.sql);
        }
        return texts;
    }
    std::vector<std::string> Stored(const std::string& sql) {
        return test::ColumnTexts(m_file, sql);
    }
    // player_ip of the rows the grid would show.
    std::vector<std::string> GridIps() {
        std::vector<std::string> ips;
        for (std::size_t row = 0; row < m_store.qfiles.FetchedRowCount(); ++row) {
            ips.push_back(db::ValueText(m_store.qfiles.CellValue(row, 3)));
        }
        return ips;
    }

    test::TempFolder m_folder;
    std::string m_executableFolder;
    std::string m_file;
    RegistryStore m_store;
    std::vector<TracedStatement> m_trace;
    std::string m_selector;
    std::vector<std::string> m_groups;
    bool m_found = false;
    int m_reloads = 0;
};

TEST_F(RegistryStoreTest, loadGroupsReconnectsToTheFileBesideTheExecutable) {
    AddPlayer("Sala", "10.0.0.1", 7001, true);
    AddPlayer("Atrio", "10.0.0.2", 7002, true);
    AddPlayer("Sala", "10.0.0.3", 7003, false);
    AddPlayer("NULL", "10.0.0.4", 7004, true);
    EXPECT_EQ(m_store.LoadGroups(), (std::vector<std::string>{"Sala", "Atrio", ""}));
    EXPECT_EQ(
        m_store.conn.ConnectionString(),
        "DRIVER={Microsoft Access Driver (*.mdb)};ExtendedAnsiSQL=1;DBQ=" + m_file + ";UID=admin");
    EXPECT_EQ(
        m_store.conn.Params(),
        (std::vector<std::string>{"Database=" + m_file, "User_Name=admin", "DriverID=MSAcc"}));
    EXPECT_EQ(Texts(), (std::vector<std::string>{kGroupList}));
    EXPECT_TRUE(m_store.qliste.Eof());
    EXPECT_FALSE(m_store.qfiles.Active());
    EXPECT_FALSE(m_store.qcercalista.Active());

    // The location is read again at every reload.
    test::TempFolder other;
    test::ExecSql(other.Path() / kRegistryFileName,
                  std::string(kManagerTableSchema) +
                      "; INSERT INTO manager (manager_list_name) VALUES ('Altrove')");
    m_executableFolder = other.WithSeparator();
    EXPECT_EQ(m_store.LoadGroups(), (std::vector<std::string>{"Altrove"}));
}

TEST_F(RegistryStoreTest, groupFilterSendsThreeStatementsWithTheNameQuoted) {
    AddPlayer("Sala d'attesa", "10.0.0.1", 7001, true);
    AddPlayer("Sala d'attesa", "10.0.0.2", 7002, false);
    AddPlayer("Atrio", "10.0.0.3", 7003, true);
    m_store.LoadGroups();
    m_trace.clear();
    EXPECT_TRUE(m_store.FilterGroup("Sala d'attesa"));
    const std::string quoted = "'Sala d''attesa'";
    EXPECT_EQ(Texts(), (std::vector<std::string>{GroupCheck(quoted), GroupPlayers(quoted),
                                                 GroupCheckCount(quoted)}));
    EXPECT_EQ(GridIps(), (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
    EXPECT_EQ(m_store.qfiles.CurrentRow(), 0u);
}

TEST_F(RegistryStoreTest, unknownOrEmptyNameFindsNoGroup) {
    AddPlayer("Sala", "10.0.0.1", 7001, true);
    AddPlayer("", "10.0.0.2", 7002, true);
    AddPlayer("NULL", "10.0.0.3", 7003, true);
    m_store.LoadGroups();
    EXPECT_FALSE(m_store.FilterGroup("Sal"));
    EXPECT_TRUE(m_store.qfiles.IsEmpty());
    // The prompt reads as the empty name: only rows whose group is the empty text show.
    EXPECT_TRUE(m_store.FilterGroup(""));
    EXPECT_EQ(GridIps(), (std::vector<std::string>{"10.0.0.2"}));
    EXPECT_EQ(Quoted(""), "''");
    EXPECT_EQ(Quoted("a''b"), "'a''''b'");
}

TEST_F(RegistryStoreTest, eachSortFlipsTheOneDirection) {
    AddPlayer("Sala", "10.0.0.1", 7001, true);
    AddPlayer("Sala", "10.0.0.2", 7002, true);
    m_store.LoadGroups();
    ChooseGroup("Sala");
    m_trace.clear();
    m_store.SortGroup("Sala", "manager_list_name");
    EXPECT_EQ(m_store.SortDirection(), "DESC");
    m_store.SortGroup("Sala", "player_ip");
    ChooseGroup("Sala");  // a filter leaves the direction alone
    m_store.SortGroup("Sala", "player_ip");
    const std::string base = "select * from manager where manager_list_name='Sala' order by ";
    EXPECT_EQ(Texts(), Then({base + "manager_list_name DESC\n", base + "player_ip ASC\n"},
                            {GroupCheck("'Sala'"), GroupPlayers("'Sala'"),
                             GroupCheckCount("'Sala'"), base + "player_ip DESC\n"}));
    EXPECT_EQ(GridIps(), (std::vector<std::string>{"10.0.0.2", "10.0.0.1"}));
    EXPECT_EQ(m_store.SortDirection(), "DESC");
}

TEST_F(RegistryStoreTest, addingAPlayerInsertsItAndReloads) {
    AddPlayer("Sala", "10.0.0.1", 7001, true);
    m_groups = m_store.LoadGroups();
    ChooseGroup("Sala");
    m_store.SortGroup("Sala", "player_ip");
    m_store.NewPlayer();
    m_trace.clear();
    m_store.SavePlayer({"Sala", "127.0.0.1", "7010", "/media/nuovo file.mp4", true});
    EXPECT_EQ(m_trace[0],
              (TracedStatement{"INSERT INTO manager (attivo, manager_list_name, player_ip, "
                               "player_port, player_file_play) VALUES (?, ?, ?, ?, ?)",
                               {Int(1), Value{std::string("Sala")}, Value{std::string("127.0.0.1")},
                                Int(7010), Value{std::string("/media/nuovo file.mp4")}}}));
    EXPECT_EQ(Texts(), Then({m_trace[0].sql, "SELECT @@IDENTITY AS id"}, Reload("'Sala'")));
    EXPECT_EQ(m_reloads, 1);
    // Back to the group in group-name order, while the direction stays where the sort left it.
    EXPECT_EQ(GridIps(), (std::vector<std::string>{"10.0.0.1", "127.0.0.1"}));
    EXPECT_EQ(m_store.SortDirection(), "DESC");
    EXPECT_EQ(Stored("select player_port from manager order by id"),
              (std::vector<std::string>{"7001", "7010"}));
}

TEST_F(RegistryStoreTest, editingAPlayerUpdatesOnlyWhatChanged) {
    AddPlayer("Sala", "10.0.0.1", 7001, false);
    AddPlayer("Sala", "10.0.0.2", 7002, true);
    m_store.LoadGroups();
    ChooseGroup("Sala");
    m_store.qfiles.Next();
    const PlayerEntry entry = m_store.EditCurrentPlayer();
    EXPECT_EQ(entry.group, "Sala");
    EXPECT_EQ(entry.address, "10.0.0.2");
    EXPECT_EQ(entry.port, "7002");
    EXPECT_EQ(entry.file, "/media/10.0.0.2.mp4");
    EXPECT_TRUE(entry.active);
    m_trace.clear();
    PlayerEntry changed = entry;
    changed.address = "10.0.0.22";
    m_store.SavePlayer(changed);
    EXPECT_EQ(m_trace[0], (TracedStatement{"UPDATE manager SET player_ip = ? WHERE id = ?",
                                           {Value{std::string("10.0.0.22")}, Int(2)}}));
    EXPECT_EQ(Texts(), Then({m_trace[0].sql}, Reload("'Sala'")));
    EXPECT_EQ(m_store.qfiles.CurrentRow(), 0u);
}

TEST_F(RegistryStoreTest, saveWithoutAPendingRowWritesAndReloadsNothing) {
    AddPlayer("Sala", "10.0.0.1", 7001, true);
    const PlayerEntry entry{"Sala", "10.0.0.9", "7009", "/x.mp4", true};
    m_store.SavePlayer(entry);  // qfiles closed
    m_store.LoadGroups();
    ChooseGroup("Sala");
    m_trace.clear();
    m_store.SavePlayer(entry);  // browse state
    // An edit dropped by a re-query (the selector's text changed while the panel was open).
    m_store.EditCurrentPlayer();
    ChooseGroup("Sala");
    m_store.SavePlayer(entry);
    EXPECT_EQ(Texts(), (std::vector<std::string>{GroupCheck("'Sala'"), GroupPlayers("'Sala'"),
                                                 GroupCheckCount("'Sala'")}));
    EXPECT_EQ(m_reloads, 0);
}

TEST_F(RegistryStoreTest, portThatIsNoIntegerFailsTheSaveAndLeavesTheRowPending) {
    m_store.LoadGroups();
    ChooseGroup("Sala");
    m_store.NewPlayer();
    m_trace.clear();
    EXPECT_EQ(FailureText([&] {
                  m_store.SavePlayer({"Sala", "10.0.0.1", "70x0", "/a.mp4", true});
              }),
              "'70x0' is not a valid integer value for field 'player_port'");
    EXPECT_TRUE(m_trace.empty());
    EXPECT_EQ(m_store.qfiles.State(), DatasetState::Insert);
    EXPECT_EQ(m_store.qfiles.FieldByName("player_ip").AsString(), "10.0.0.1");
    EXPECT_TRUE(m_store.qfiles.FieldByName("player_file_play").IsNull());
}

TEST_F(RegistryStoreTest, activatingSendsTheFlagAloneAndAlwaysReloads) {
    AddPlayer("Sala", "10.0.0.1", 7001, false);
    m_store.LoadGroups();
    ChooseGroup("Sala");
    m_trace.clear();
    m_store.SetCurrentPlayerActive(true);
    EXPECT_EQ(m_trace[0],
              (TracedStatement{"UPDATE manager SET attivo = ? WHERE id = ?", {Int(1), Int(1)}}));
    EXPECT_EQ(Texts(), Then({m_trace[0].sql}, Reload("'Sala'")));
    EXPECT_EQ(Stored("select attivo from manager"), (std::vector<std::string>{"1"}));

    // Already active: no statement of its own, yet the reload runs.
    m_trace.clear();
    m_store.SetCurrentPlayerActive(true);
    EXPECT_EQ(Texts(), Reload("'Sala'"));
    EXPECT_EQ(m_reloads, 2);

    m_trace.clear();
    m_store.SetCurrentPlayerActive(false);
    EXPECT_EQ(m_trace[0],
              (TracedStatement{"UPDATE manager SET attivo = ? WHERE id = ?", {Int(0), Int(1)}}));
    EXPECT_EQ(Stored("select attivo from manager"), (std::vector<std::string>{"0"}));
}

TEST_F(RegistryStoreTest, activatingOnAnEmptyResultStoresARowInNoGroup) {
    m_groups = m_store.LoadGroups();
    EXPECT_TRUE(m_groups.empty());
    ChooseGroup("Nuova");
    m_trace.clear();
    m_store.SetCurrentPlayerActive(true);
    EXPECT_EQ(Texts(), Then({"INSERT INTO manager (attivo) VALUES (?)", "SELECT @@IDENTITY AS id"},
                            Reload("'Nuova'")));
    EXPECT_EQ(m_groups, (std::vector<std::string>{""}));
    EXPECT_TRUE(m_store.qfiles.IsEmpty());
}

TEST_F(RegistryStoreTest, deletingSendsOneStatementAndNoReload) {
    AddPlayer("Sala", "10.0.0.1", 7001, true);
    AddPlayer("Sala", "10.0.0.2", 7002, true);
    m_store.LoadGroups();
    ChooseGroup("Sala");
    m_trace.clear();
    m_store.DeleteCurrentPlayer();
    EXPECT_EQ(m_trace,
              (std::vector<TracedStatement>{{"DELETE FROM manager WHERE id = ?", {Int(1)}}}));
    EXPECT_EQ(m_reloads, 0);
    EXPECT_EQ(GridIps(), (std::vector<std::string>{"10.0.0.2"}));
}

TEST_F(RegistryStoreTest, rowOperationsBeforeAnyGroupOrOnAnEmptyResultFail) {
    m_store.LoadGroups();
    const std::function<void()> beforeAnyGroup[] = {
        [&] { m_store.EditCurrentPlayer(); },
        [&] { m_store.NewPlayer(); },
        [&] { m_store.DeleteCurrentPlayer(); },
        [&] { m_store.SetCurrentPlayerActive(true); },
        [&] { m_store.SetCurrentPlayerActive(false); },
    };
    for (const auto& action : beforeAnyGroup) {
        EXPECT_EQ(FailureText(action), kClosed);
    }
    ChooseGroup("Vuoto");
    EXPECT_EQ(FailureText([&] { m_store.DeleteCurrentPlayer(); }),
              "qfiles: Cannot perform this operation on an empty dataset");
    // Editing on an empty result starts a new row whose values read empty.
    const PlayerEntry entry = m_store.EditCurrentPlayer();
    EXPECT_EQ(m_store.qfiles.State(), DatasetState::Insert);
    EXPECT_EQ(entry.group + entry.address + entry.port + entry.file, "");
    EXPECT_FALSE(entry.active);
}

TEST_F(RegistryStoreTest, missingRegistryFileFailsTheReloadAndLeavesEverythingClosed) {
    AddPlayer("Sala", "10.0.0.1", 7001, true);
    m_store.LoadGroups();
    ChooseGroup("Sala");
#ifdef _WIN32
    GTEST_SKIP() << "Windows removes no file a program holds open, so the registry cannot go "
                    "while the manager is connected to it";
#endif
    std::filesystem::remove(m_file);
    EXPECT_EQ(FailureText([&] { m_store.LoadGroups(); }),
              "[AnyDAC][Phys][ODBC]database file '" + m_file + "' does not exist");
    EXPECT_FALSE(m_store.conn.Connected());
    EXPECT_FALSE(m_store.qliste.Active());
    EXPECT_FALSE(m_store.qcercalista.Active());
    EXPECT_FALSE(m_store.qfiles.Active());
    EXPECT_FALSE(std::filesystem::exists(m_file));
}

TEST_F(RegistryStoreTest, activePlayersAreCountedOnceAndReadByTheGroupCommands) {
    AddPlayer("Sala", "10.0.0.1", 7001, true);
    AddPlayer("Sala", "10.0.0.2", 7002, false);
    AddPlayer("Sala", "10.0.0.3", 7003, true);
    m_store.LoadGroups();
    m_trace.clear();
    EXPECT_EQ(m_store.SelectActivePlayers("Sala"), 2);
    EXPECT_EQ(m_store.qfiles.RecordCount(), 2);
    const std::string active =
        "select * from manager where attivo=1 and manager_list_name='Sala' order by "
        "manager_list_name";
    EXPECT_EQ(Texts(), (std::vector<std::string>{
                           active + "\n",
                           "SELECT COUNT(*) FROM (\nselect * from manager where attivo=1 and "
                           "manager_list_name='Sala' \n) A\n"}));
    std::vector<std::string> seen;
    m_store.qfiles.First();
    while (!m_store.qfiles.Eof()) {
        seen.push_back(m_store.qfiles.FieldByName("player_ip").AsString() + ":" +
                       std::to_string(m_store.qfiles.FieldByName("player_port").AsInteger()));
        m_store.qfiles.Next();
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"10.0.0.1:7001", "10.0.0.3:7003"}));
}

TEST_F(RegistryStoreTest, currentFilePlayFollowsTheCurrentRow) {
    AddPlayer("Sala", "10.0.0.1", 7001, true);
    test::ExecSql(m_file, "INSERT INTO manager (manager_list_name) VALUES ('Sala')");
    EXPECT_EQ(m_store.CurrentFilePlay(), "");
    m_store.LoadGroups();
    ChooseGroup("Sala");
    EXPECT_EQ(m_store.CurrentFilePlay(), "/media/10.0.0.1.mp4");
    m_store.qfiles.Next();
    EXPECT_EQ(m_store.CurrentFilePlay(), "");  // null
    ChooseGroup("Nessuno");
    EXPECT_EQ(m_store.CurrentFilePlay(), "");
}

}  // namespace
}  // namespace orvanta::registry

// The registry's whole statement set through the real layer, the ODBC driver, unixODBC and
// MariaDB Connector/ODBC, against a MariaDB server the test starts itself. The test's driver
// list answers the Access driver's name with the MariaDB driver, so the manager's own
// connection string reaches the server unchanged.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "db/Errors.h"
#include "db/OdbcDriver.h"
#include "registry/RegistryStore.h"
#include "registry/Schema.h"
#include "tests/db/DbFixture.h"
#include "tests/support/MariaDbServer.h"
#include "tests/support/OdbcLists.h"

namespace orvanta::registry {
namespace {

using test::FailureText;
using test::TracedStatement;

test::MariaDbServer* g_server = nullptr;

// One server for the whole program: starting one takes seconds.
class MariaDbEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        test::UseTestOdbcLists({{test::kAccessDriverName, ORVANTA_MARIADB_ODBC_DRIVER}});
        m_server = std::make_unique<test::MariaDbServer>();
        g_server = m_server.get();
        // The connection string names no server: the client library takes the port from here.
        ::setenv("MYSQL_TCP_PORT", std::to_string(m_server->Port()).c_str(), 1);
    }
    void TearDown() override {
        g_server = nullptr;
        m_server.reset();
    }

private:
    std::unique_ptr<test::MariaDbServer> m_server;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new MariaDbEnvironment);

// The file beside the executable begins like an Access file, so the manager hands it to the
// driver manager.
void WriteAccessFile(const std::filesystem::path& path) {
    std::string bytes("\x00\x01\x00\x00Standard Jet DB\x00", 20);
    bytes.resize(2048, '\0');
    std::ofstream(path, std::ios::binary) << bytes;
}

struct FlagColumn {
    const char* name;
    const char* type;
};

void PrintTo(const FlagColumn& column, std::ostream* out) {
    *out << column.name;
}

class OdbcMariaDbTest : public ::testing::TestWithParam<FlagColumn> {
protected:
    OdbcMariaDbTest() {
        WriteAccessFile(m_folder.Path() / kRegistryFileName);
        g_server->Run(std::string("DROP TABLE IF EXISTS manager;") +
                      "CREATE TABLE manager (id INT AUTO_INCREMENT PRIMARY KEY, attivo " +
                      GetParam().type +
                      ", manager_list_name VARCHAR(255), player_ip VARCHAR(255), player_port "
                      "INT, player_file_play VARCHAR(255)) ENGINE=InnoDB;");
        m_store.conn.SetTrace([this](const std::string& sql, const std::vector<db::Value>& values) {
            m_trace.push_back({sql, values});
        });
    }

    void AddPlayer(const std::string& group, const std::string& ip, int port, bool active) {
        g_server->Run(
            "INSERT INTO manager (attivo, manager_list_name, player_ip, player_port, "
            "player_file_play) VALUES (" +
            std::string(active ? "1" : "0") + ", " + Quoted(group) + ", '" + ip + "', " +
            std::to_string(port) + ", '/media/" + ip + ".mp4');");
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const TracedStatement& statement : m_trace) {
            texts.push_back(statement.sql);
        }
        return texts;
    }

    std::vector<std::string> GridIps() {
        std::vector<std::string> ips;
        for (std::size_t row = 0; row < m_store.qfiles.FetchedRowCount(); ++row) {
            ips.push_back(db::ValueText(m_store.qfiles.CellValue(row, 3)));
        }
        return ips;
    }

    test::TempFolder m_folder;
    RegistryStore m_store{[this] { return m_folder.WithSeparator(); }};
    std::vector<TracedStatement> m_trace;
};

TEST_P(OdbcMariaDbTest, registryStatementSetRunsAsWrittenAndWritesThroughTheKey) {
    AddPlayer("Sala d'attesa", "10.0.0.1", 7001, true);
    AddPlayer("Atrio", "10.0.0.2", 7002, true);
    AddPlayer("Sala d'attesa", "10.0.0.3", 7003, false);
    int afterPost = 0;
    m_store.SetAfterPost([&] { ++afterPost; });

    EXPECT_EQ(m_store.LoadGroups(), (std::vector<std::string>{"Sala d'attesa", "Atrio"}));
    EXPECT_EQ(m_store.conn.ConnectionString(),
              "DRIVER={Microsoft Access Driver (*.mdb)};ExtendedAnsiSQL=1;DBQ=" +
                  m_folder.WithSeparator() + "data.mdb;UID=admin");

    m_trace.clear();
    EXPECT_TRUE(m_store.FilterGroup("Sala d'attesa"));
    EXPECT_FALSE(m_store.FilterGroup("Sala"));
    EXPECT_TRUE(m_store.FilterGroup("Sala d'attesa"));
    EXPECT_EQ(GridIps(), (std::vector<std::string>{"10.0.0.1", "10.0.0.3"}));
    m_store.SortGroup("Sala d'attesa", "player_ip");
    EXPECT_EQ(GridIps(), (std::vector<std::string>{"10.0.0.3", "10.0.0.1"}));
    EXPECT_EQ(m_store.SelectActivePlayers("Sala d'attesa"), 1);
    EXPECT_EQ(m_store.qfiles.FieldByName("player_port").AsInteger(), 7001);
    EXPECT_EQ(Texts()[0],
              "select manager_list_name from manager where manager_list_name='Sala d''attesa'\n");
    EXPECT_EQ(Texts().back(),
              "SELECT COUNT(*) FROM (\nselect * from manager where attivo=1 and "
              "manager_list_name='Sala d''attesa' \n) A\n");

    // Save: only the changed columns, the row found by the key the catalogue reports.
    m_store.FilterGroup("Sala d'attesa");
    const PlayerEntry entry = m_store.EditCurrentPlayer();
    EXPECT_EQ(entry.address, "10.0.0.1");
    EXPECT_EQ(entry.port, "7001");
    EXPECT_TRUE(entry.active);
    m_trace.clear();
    m_store.SavePlayer({entry.group, entry.address, "7100", entry.file, entry.active});
    EXPECT_EQ(m_trace,
              (std::vector<TracedStatement>{{"UPDATE manager SET player_port = ? WHERE id = ?",
                                             {std::int64_t{7100}, std::int64_t{1}}}}));

    // A new player: the INSERT, then the auto-number read back.
    m_store.NewPlayer();
    m_trace.clear();
    m_store.SavePlayer({"Sala d'attesa", "10.0.0.9", "7009", "/media/nove.mp4", true});
    EXPECT_EQ(Texts(), (std::vector<std::string>{
                           "INSERT INTO manager (attivo, manager_list_name, player_ip, "
                           "player_port, player_file_play) VALUES (?, ?, ?, ?, ?)",
                           "SELECT @@IDENTITY AS id"}));
    EXPECT_EQ(m_store.qfiles.FieldByName("id").AsInteger(), 4);

    // Deactivate the new player, then delete it.
    m_trace.clear();
    m_store.SetCurrentPlayerActive(false);
    EXPECT_EQ(m_trace, (std::vector<TracedStatement>{{"UPDATE manager SET attivo = ? WHERE id = ?",
                                                      {std::int64_t{0}, std::int64_t{4}}}}));
    EXPECT_EQ(g_server->Column("SELECT attivo + 0 FROM manager WHERE id = 4"),
              std::vector<std::string>{"0"});
    m_trace.clear();
    m_store.DeleteCurrentPlayer();
    EXPECT_EQ(
        m_trace,
        (std::vector<TracedStatement>{{"DELETE FROM manager WHERE id = ?", {std::int64_t{4}}}}));
    EXPECT_EQ(afterPost, 3);
    EXPECT_EQ(g_server->Column("SELECT CONCAT(id, ' ', attivo + 0, ' ', player_port) FROM manager "
                               "ORDER BY id"),
              (std::vector<std::string>{"1 1 7100", "2 1 7002", "3 0 7003"}));

    // Activating a player reads and writes the flag as the check box does.
    m_store.FilterGroup("Sala d'attesa");
    m_store.qfiles.Next();
    m_trace.clear();
    m_store.SetCurrentPlayerActive(true);
    EXPECT_EQ(Texts(), std::vector<std::string>{"UPDATE manager SET attivo = ? WHERE id = ?"});
    m_store.FilterGroup("Sala d'attesa");
    m_store.qfiles.Next();
    EXPECT_TRUE(m_store.EditCurrentPlayer().active);
}

TEST_P(OdbcMariaDbTest, lockedRowFailsWithTheDriversDiagnosticAndTheRowStaysPending) {
    AddPlayer("Sala", "10.0.0.1", 7001, true);
    m_store.LoadGroups();
    m_store.FilterGroup("Sala");

    // Another program holds the row.
    db::OdbcDriver driver;
    const std::unique_ptr<db::DriverConnection> other =
        driver.Connect("DRIVER={Microsoft Access Driver (*.mdb)};UID=admin");
    other->Begin();
    other->Execute("SELECT * FROM manager WHERE id = 1 FOR UPDATE", {});

    const std::string failure = FailureText([&] { m_store.SetCurrentPlayerActive(false); });
    EXPECT_EQ(failure.rfind("[AnyDAC][Phys][ODBC][ma-", 0), 0u) << failure;
    EXPECT_NE(failure.find("Lock wait timeout exceeded; try restarting transaction"),
              std::string::npos)
        << failure;
    EXPECT_EQ(m_store.qfiles.State(), db::DatasetState::Edit);

    // Once the other program lets go, the same post goes through.
    other->Rollback();
    m_store.qfiles.Post();
    EXPECT_EQ(g_server->Column("SELECT attivo + 0 FROM manager"), std::vector<std::string>{"0"});
}

TEST_P(OdbcMariaDbTest, droppedServerConnectionFailsWithTheDriversDiagnostic) {
    AddPlayer("Sala", "10.0.0.1", 7001, true);
    m_store.LoadGroups();
    for (const std::string& id :
         g_server->Column("SELECT id FROM information_schema.processlist WHERE user = 'admin'")) {
        g_server->Run("KILL CONNECTION " + id + ";");
    }
    const std::string failure = FailureText([&] { m_store.FilterGroup("Sala"); });
    EXPECT_EQ(failure.rfind("[AnyDAC][Phys][ODBC][ma-", 0), 0u) << failure;
    EXPECT_TRUE(failure.find("gone away") != std::string::npos ||
                failure.find("Lost connection") != std::string::npos)
        << failure;
    EXPECT_FALSE(m_store.qfiles.Active());

    // A reload connects again.
    EXPECT_EQ(m_store.LoadGroups(), std::vector<std::string>{"Sala"});
    EXPECT_TRUE(m_store.FilterGroup("Sala"));
}

INSTANTIATE_TEST_SUITE_P(FlagColumns, OdbcMariaDbTest,
                         ::testing::Values(FlagColumn{"bit", "BIT(1)"},
                                           FlagColumn{"tinyint", "TINYINT(1)"}),
                         [](const ::testing::TestParamInfo<FlagColumn>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace orvanta::registry

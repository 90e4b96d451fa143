// The ODBC driver against a second, weaker real driver: Debian's SQLite ODBC driver, reached
// through unixODBC under the Access driver's name. It has no @@IDENTITY, so it shows how the
// layer words a refused read-back, and its tables without a key show the fallback to every
// comparable column.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/Connection.h"
#include "db/Errors.h"
#include "db/Field.h"
#include "db/OdbcDriver.h"
#include "db/Query.h"
#include "tests/db/DbFixture.h"
#ifndef _WIN32
#include "tests/support/OdbcLists.h"
#endif

#if defined(__SANITIZE_ADDRESS__)
// Debian's SQLite ODBC driver leaves some of its own allocations behind, and the driver manager
// unloads it before the leak check runs, so no suppression can tell its leaks from ours by name.
// The leak check is off for this one program; the layer's own code is leak-checked elsewhere.
extern "C" int __lsan_is_turned_off() {
    return 1;
}
#endif

namespace orvanta::db {
namespace {

using test::ColumnTexts;
using test::ExecSql;
using test::FailureText;
using test::TracedStatement;

#ifdef _WIN32
// Under wine: the build's driver lists, whose folder CTest names to the host's driver manager.
const std::filesystem::path& ListsFolder() {
    static const std::filesystem::path folder = [] {
        const char* lists = std::getenv("ODBCSYSINI");
        if (!lists) {
            throw std::runtime_error("ODBCSYSINI does not name the driver lists' folder");
        }
        return test::WindowsPath(lists);
    }();
    return folder;
}
#else
const std::filesystem::path& ListsFolder() {
    return test::UseTestOdbcLists({{test::kAccessDriverName, ORVANTA_SQLITE_ODBC_DRIVER}},
                                  test::kRegistryDataSource);
}
#endif

// The registry in an SQLite file that the SQLite ODBC driver opens through the "registry" data
// source; the definition is the registry's own plus that data source.
class OdbcSqliteTest : public ::testing::Test {
protected:
    OdbcSqliteTest() {
        m_file = ListsFolder() / "registry.sqlite";
        std::filesystem::remove(m_file);
        ExecSql(m_file, test::kManagerSchema);
        m_conn.AddParam("Database=" + test::DriverPath(m_file));
        m_conn.AddParam("User_Name=admin");
        m_conn.AddParam("DriverID=MSAcc");
        m_conn.AddParam("DSN=registry");
        m_conn.SetTrace([this](const std::string& sql, const std::vector<Value>& values) {
            m_trace.push_back({sql, values});
        });
    }

    void AddPlayers(const std::string& group, int count) {
        std::string sql = "BEGIN;";
        for (int n = 1; n <= count; ++n) {
            sql +=
                "INSERT INTO manager (attivo, manager_list_name, player_ip, player_port, "
                "player_file_play) VALUES (" +
                std::to_string(n % 2) + ", '" + group + "', '10.0.0." + std::to_string(n) + "', " +
                std::to_string(7000 + n) + ", '/media/clip" + std::to_string(n) + ".mp4');";
        }
        ExecSql(m_file, sql + "COMMIT;");
    }

    void OpenSql(Query& query, const std::string& sql) {
        query.SqlClear();
        query.SqlAdd(sql);
        query.Open();
    }

    std::vector<std::string> Stored(const std::string& sql) const {
        return ColumnTexts(m_file, sql);
    }

    std::filesystem::path m_file;
    Connection m_conn{"conndb", std::make_unique<OdbcDriver>()};
    Query m_qfiles{m_conn, "qfiles"};
    std::vector<TracedStatement> m_trace;
};

TEST_F(OdbcSqliteTest, groupQueryComesInBlocksOfFiftyAndIsCountedOnce) {
    AddPlayers("Sala", 120);
    OpenSql(m_qfiles,
            "select * from manager where manager_list_name='Sala' order by manager_list_name");
    EXPECT_EQ(m_qfiles.FetchedRowCount(), 50u);
    EXPECT_EQ(m_qfiles.FieldByName("player_ip").AsString(), "10.0.0.1");
    EXPECT_EQ(m_qfiles.FieldByName("player_port").AsInteger(), 7001);
    EXPECT_TRUE(m_qfiles.FieldByName("attivo").AsBoolean());

    std::vector<std::size_t> fetchedAt;
    int rows = 0;
    while (!m_qfiles.Eof()) {
        fetchedAt.push_back(m_qfiles.FetchedRowCount());
        m_qfiles.Next();
        ++rows;
    }
    EXPECT_EQ(rows, 120);
    EXPECT_EQ(fetchedAt[49], 50u);
    EXPECT_EQ(fetchedAt[50], 100u);
    EXPECT_EQ(fetchedAt[119], 120u);
    EXPECT_EQ(m_qfiles.FieldByName("player_ip").AsString(), "10.0.0.120");

    m_trace.clear();
    EXPECT_EQ(m_qfiles.RecordCount(), 120);
    EXPECT_EQ(m_qfiles.RecordCount(), 120);
    ASSERT_EQ(m_trace.size(), 1u);
    EXPECT_EQ(
        m_trace[0].sql,
        "SELECT COUNT(*) FROM (\nselect * from manager where manager_list_name='Sala' \n) A\n");
}

TEST_F(OdbcSqliteTest, updateAndDeleteFindTheRowByThePrimaryKey) {
    AddPlayers("Sala", 3);
    OpenSql(m_qfiles, "select * from manager order by id");
    m_qfiles.Next();
    m_qfiles.Edit();
    m_qfiles.FieldByName("player_ip").SetAsString("192.168.1.20");
    m_trace.clear();
    m_qfiles.Post();
    ASSERT_FALSE(m_trace.empty());
    EXPECT_EQ(m_trace[0], (TracedStatement{"UPDATE manager SET player_ip = ? WHERE id = ?",
                                           {std::string("192.168.1.20"), std::int64_t{2}}}));
    EXPECT_EQ(Stored("SELECT player_ip FROM manager ORDER BY id"),
              (std::vector<std::string>{"10.0.0.1", "192.168.1.20", "10.0.0.3"}));

    m_trace.clear();
    m_qfiles.Delete();
    ASSERT_EQ(m_trace.size(), 1u);
    EXPECT_EQ(m_trace[0], (TracedStatement{"DELETE FROM manager WHERE id = ?", {std::int64_t{2}}}));
    EXPECT_EQ(Stored("SELECT id FROM manager ORDER BY id"), (std::vector<std::string>{"1", "3"}));
    EXPECT_EQ(m_qfiles.FieldByName("id").AsInteger(), 3);
}

TEST_F(OdbcSqliteTest, rowChangedBehindTheLayersBackFailsWithErrorFourHundred) {
    AddPlayers("Sala", 2);
    OpenSql(m_qfiles, "select * from manager order by id");
    ExecSql(m_file, "DELETE FROM manager WHERE id = 1");
    m_qfiles.Edit();
    m_qfiles.FieldByName("attivo").SetAsBoolean(false);
    EXPECT_EQ(FailureText([&] { m_qfiles.Post(); }), RowsAffectedText(UpdateKind::Update, 0));
    EXPECT_EQ(m_qfiles.State(), DatasetState::Edit);
    EXPECT_EQ(FailureText([&] { m_qfiles.Delete(); }), RowsAffectedText(UpdateKind::Delete, 0));
    EXPECT_EQ(Stored("SELECT id FROM manager"), std::vector<std::string>{"2"});
}

TEST_F(OdbcSqliteTest, refusedIdentityReadBackShowsTheDriversDiagnosticAndKeepsTheRowPending) {
    OpenSql(m_qfiles, "select * from manager");
    bool posted = false;
    m_qfiles.SetAfterPost([&] { posted = true; });
    m_qfiles.Append();
    m_qfiles.FieldByName("manager_list_name").SetAsString("Atrio");
    m_qfiles.FieldByName("player_ip").SetAsString("10.0.0.9");
    m_trace.clear();
    const std::string failure = FailureText([&] { m_qfiles.Post(); });
    EXPECT_EQ(failure, "[AnyDAC][Phys][ODBC][SQLite]unrecognized token: \"@\" (1)");
    ASSERT_EQ(m_trace.size(), 2u);
    EXPECT_EQ(m_trace[0].sql, "INSERT INTO manager (manager_list_name, player_ip) VALUES (?, ?)");
    EXPECT_EQ(m_trace[1].sql, "SELECT @@IDENTITY AS id");
    EXPECT_FALSE(posted);
    EXPECT_EQ(m_qfiles.State(), DatasetState::Insert);
    EXPECT_EQ(m_qfiles.FieldByName("player_ip").AsString(), "10.0.0.9");
    EXPECT_TRUE(m_qfiles.FieldByName("id").IsNull());
    // The insertion is undone with its read-back, so saving again cannot store it twice.
    EXPECT_TRUE(Stored("SELECT id FROM manager").empty());
    EXPECT_EQ(FailureText([&] { m_qfiles.Post(); }), failure);
    EXPECT_TRUE(Stored("SELECT id FROM manager").empty());
}

TEST_F(OdbcSqliteTest, tableWithoutKeyIsFoundByEveryComparableColumn) {
    ExecSql(m_file,
            "CREATE TABLE loose (name VARCHAR(40), port INTEGER, note VARCHAR(40));"
            "INSERT INTO loose VALUES ('uno', 7001, NULL);"
            "INSERT INTO loose VALUES ('due', 7002, 'x');");
    Query loose(m_conn, "loose");
    OpenSql(loose, "select * from loose order by port");
    loose.Edit();
    loose.FieldByName("port").SetAsInteger(7100);
    m_trace.clear();
    loose.Post();
    ASSERT_EQ(m_trace.size(), 1u);
    EXPECT_EQ(
        m_trace[0],
        (TracedStatement{"UPDATE loose SET port = ? WHERE name = ? AND port = ? AND note IS NULL",
                         {std::int64_t{7100}, std::string("uno"), std::int64_t{7001}}}));
    EXPECT_EQ(Stored("SELECT port FROM loose ORDER BY name"),
              (std::vector<std::string>{"7002", "7100"}));
}

TEST_F(OdbcSqliteTest, refusedStatementGivesTheDriversFirstDiagnosticAndBytesPassUnchanged) {
    EXPECT_EQ(FailureText([&] { OpenSql(m_qfiles, "select * from nothere"); }),
              "[AnyDAC][Phys][ODBC][SQLite]no such table: nothere (1)");
    EXPECT_FALSE(m_qfiles.Active());

    // Bytes of any value go in and come back as they were: no code page is applied.
    const std::string name = "Sala \xE8 \xC3\xA0 \x7F\x01 fine";
    ExecSql(m_file,
            "INSERT INTO manager (id, manager_list_name, player_file_play) VALUES (1, 'x', 'y')");
    OpenSql(m_qfiles, "select * from manager where id=1");
    m_qfiles.Edit();
    m_qfiles.FieldByName("manager_list_name").SetAsString(name);
    // Longer than one read of a value.
    m_qfiles.FieldByName("player_file_play").SetAsString(std::string(20000, 'f'));
    m_qfiles.Post();
    OpenSql(m_qfiles, "select manager_list_name, player_file_play from manager");
    EXPECT_EQ(m_qfiles.Fields(0).AsString(), name);
    EXPECT_EQ(m_qfiles.Fields(1).AsString(), std::string(20000, 'f'));
}

}  // namespace
}  // namespace orvanta::db

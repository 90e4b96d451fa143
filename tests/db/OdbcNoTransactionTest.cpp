// Row changes through an ODBC driver that cannot do transactions: Debian's SQLite ODBC driver
// behind a small driver of the test's own that refuses to turn auto-commit off, registered
// under the Access driver's name. Each case runs against both ways a driver can tell: saying
// SQL_TC_NONE up front, or claiming transactions and refusing manual commit with HYC00.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "db/Connection.h"
#include "db/Errors.h"
#include "db/Field.h"
#include "db/OdbcDriver.h"
#include "db/Query.h"
#include "tests/db/DbFixture.h"
#include "tests/support/OdbcLists.h"

#if defined(__SANITIZE_ADDRESS__)
// As in OdbcSqliteTest.cpp: Debian's SQLite ODBC driver leaves allocations behind and is
// unloaded before the leak check runs.
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

const std::filesystem::path& ListsFolder() {
    return test::UseTestOdbcLists({{test::kAccessDriverName, ORVANTA_NO_TRANSACTION_DRIVER}},
                                  test::kRegistryDataSource);
}

struct DriverKind {
    const char* name;
    const char* txnCapable;  // ORVANTA_SHIM_TXN_CAPABLE; null leaves it unset
};

void PrintTo(const DriverKind& kind, std::ostream* out) {
    *out << kind.name;
}

// A keyed table without an auto-number: an insertion needs no read-back, which this driver
// could not answer.
constexpr const char* kPlayersSchema =
    "CREATE TABLE players (name VARCHAR(40) PRIMARY KEY, port INTEGER)";

class OdbcNoTransactionTest : public ::testing::TestWithParam<DriverKind> {
protected:
    OdbcNoTransactionTest() {
        m_file = ListsFolder() / "registry.sqlite";
        std::filesystem::remove(m_file);
        ExecSql(m_file, kPlayersSchema);
        if (GetParam().txnCapable) {
            ::setenv("ORVANTA_SHIM_TXN_CAPABLE", GetParam().txnCapable, 1);
        } else {
            ::unsetenv("ORVANTA_SHIM_TXN_CAPABLE");
        }
        m_conn.AddParam("Database=" + m_file.string());
        m_conn.AddParam("User_Name=admin");
        m_conn.AddParam("DSN=registry");
        m_conn.SetTrace([this](const std::string& sql, const std::vector<Value>& values) {
            m_trace.push_back({sql, values});
        });
    }

    void OpenPlayers() {
        m_players.SqlClear();
        m_players.SqlAdd("select * from players order by name");
        m_players.Open();
        m_trace.clear();
    }

    // What another station sees: a connection of its own, opened now.
    std::vector<std::string> Stored() const {
        return ColumnTexts(m_file, "SELECT name || ' ' || port FROM players ORDER BY name");
    }

    std::filesystem::path m_file;
    Connection m_conn{"conndb", std::make_unique<OdbcDriver>()};
    Query m_players{m_conn, "players"};
    std::vector<TracedStatement> m_trace;
};

TEST_P(OdbcNoTransactionTest, insertUpdateAndDeleteAreStoredAsTheyRun) {
    OpenPlayers();
    m_players.Append();
    m_players.FieldByName("name").SetAsString("uno");
    m_players.FieldByName("port").SetAsInteger(7001);
    m_players.Post();
    m_players.Append();
    m_players.FieldByName("name").SetAsString("due");
    m_players.FieldByName("port").SetAsInteger(7002);
    m_players.Post();
    EXPECT_EQ(m_trace,
              (std::vector<TracedStatement>{{"INSERT INTO players (name, port) VALUES (?, ?)",
                                             {std::string("uno"), std::int64_t{7001}}},
                                            {"INSERT INTO players (name, port) VALUES (?, ?)",
                                             {std::string("due"), std::int64_t{7002}}}}));
    EXPECT_EQ(Stored(), (std::vector<std::string>{"due 7002", "uno 7001"}));

    OpenPlayers();  // "due" first
    m_players.Edit();
    m_players.FieldByName("port").SetAsInteger(7100);
    m_players.Post();
    EXPECT_EQ(Stored(), (std::vector<std::string>{"due 7100", "uno 7001"}));

    m_players.Next();
    m_players.Delete();
    EXPECT_EQ(m_trace, (std::vector<TracedStatement>{
                           {"UPDATE players SET port = ? WHERE name = ?",
                            {std::int64_t{7100}, std::string("due")}},
                           {"DELETE FROM players WHERE name = ?", {std::string("uno")}}}));
    EXPECT_EQ(Stored(), (std::vector<std::string>{"due 7100"}));
    EXPECT_EQ(m_players.State(), DatasetState::Browse);

    // The connection is left committing on its own: what a fresh connection through the same
    // driver reads is what the layer wrote.
    Connection fresh("fresh", std::make_unique<OdbcDriver>());
    for (const std::string& param : m_conn.Params()) {
        fresh.AddParam(param);
    }
    Query players(fresh, "players");
    players.SqlAdd("select name, port from players");
    players.Open();
    EXPECT_EQ(players.FieldByName("name").AsString(), "due");
    EXPECT_EQ(players.FieldByName("port").AsInteger(), 7100);
    players.Next();
    EXPECT_TRUE(players.Eof());
}

TEST_P(OdbcNoTransactionTest, countOtherThanOneStillFailsWithErrorFourHundred) {
    ExecSql(m_file,
            "INSERT INTO players VALUES ('uno', 7001);"
            "INSERT INTO players VALUES ('due', 7002);");
    OpenPlayers();  // "due", "uno"
    ExecSql(m_file, "DELETE FROM players WHERE name = 'due'");
    m_players.Edit();
    m_players.FieldByName("port").SetAsInteger(7200);
    EXPECT_EQ(FailureText([&] { m_players.Post(); }), RowsAffectedText(UpdateKind::Update, 0));
    EXPECT_EQ(m_players.State(), DatasetState::Edit);
    EXPECT_EQ(FailureText([&] { m_players.Delete(); }), RowsAffectedText(UpdateKind::Delete, 0));

    // Two rows found by the same values: with nothing to roll back, the statement has already
    // changed both when the count is reported.
    ExecSql(m_file,
            "CREATE TABLE twins (name VARCHAR(40), port INTEGER);"
            "INSERT INTO twins VALUES ('tre', 7003);"
            "INSERT INTO twins VALUES ('tre', 7003);");
    Query twins(m_conn, "twins");
    twins.SqlAdd("select * from twins");
    twins.Open();
    twins.Edit();
    twins.FieldByName("port").SetAsInteger(7300);
    EXPECT_EQ(FailureText([&] { twins.Post(); }), RowsAffectedText(UpdateKind::Update, 2));
    EXPECT_EQ(ColumnTexts(m_file, "SELECT port FROM twins"),
              (std::vector<std::string>{"7300", "7300"}));
}

INSTANTIATE_TEST_SUITE_P(Drivers, OdbcNoTransactionTest,
                         ::testing::Values(DriverKind{"refusesManualCommit", nullptr},
                                           DriverKind{"saysItHasNone", "none"}),
                         [](const ::testing::TestParamInfo<DriverKind>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace orvanta::db

#include <gtest/gtest.h>

#include <filesystem>

#include "core/Failure.h"
#include "db/Errors.h"
#include "db/SqliteDriver.h"
#include "tests/db/DbFixture.h"
#include "tests/support/OdbcLists.h"

namespace orvanta::db {
namespace {

using test::FailureText;
using test::TracedStatement;
using test::UseTestOdbcLists;

class QueryTest : public test::DbFixture {};

TEST_F(QueryTest, openSendsTheLinesAsWrittenAndStandsOnTheFirstRow) {
    AddPlayers("Sala", 3);
    m_qfiles.SqlAdd("select * from manager");
    m_qfiles.SqlAdd("where manager_list_name='Sala'  order by id");
    m_qfiles.Open();
    ASSERT_EQ(m_trace.size(), 1u);
    EXPECT_EQ(m_trace[0].sql,
              "select * from manager\nwhere manager_list_name='Sala'  order by id\n");
    EXPECT_TRUE(m_trace[0].values.empty());
    EXPECT_EQ(m_qfiles.State(), DatasetState::Browse);
    EXPECT_FALSE(m_qfiles.Eof());
    EXPECT_EQ(m_qfiles.FieldByName("player_ip").AsString(), "10.0.0.1");
    EXPECT_EQ(m_qfiles.UpdateTable(), "manager");

    m_qfiles.Open();  // already open: nothing runs
    EXPECT_EQ(m_trace.size(), 1u);
}

TEST_F(QueryTest, walkingFetchesFiftyRowsAtATimeAndNeverMoreThanPassed) {
    AddPlayers("Sala", 120);
    OpenSql(m_qfiles, "select * from manager order by id");
    EXPECT_EQ(m_qfiles.FetchedRowCount(), 50u);
    std::int64_t expectedId = 1;
    std::size_t passed = 0;
    while (!m_qfiles.Eof()) {
        EXPECT_EQ(m_qfiles.FieldByName("id").AsInteger(), expectedId++);
        EXPECT_LE(m_qfiles.FetchedRowCount(), (passed / 50 + 1) * 50);
        m_qfiles.Next();
        ++passed;
    }
    EXPECT_EQ(passed, 120u);
    EXPECT_EQ(m_qfiles.FetchedRowCount(), 120u);
    EXPECT_TRUE(m_qfiles.AllFetched());
    // Past the end the current row stays the last one.
    EXPECT_EQ(m_qfiles.FieldByName("id").AsInteger(), 120);
    m_qfiles.Next();
    EXPECT_TRUE(m_qfiles.Eof());
    m_qfiles.First();
    EXPECT_FALSE(m_qfiles.Eof());
    EXPECT_EQ(m_qfiles.FieldByName("id").AsInteger(), 1);
}

TEST_F(QueryTest, gridAccessFetchesOnDemandAndMovesTheCurrentRow) {
    AddPlayers("Sala", 120);
    std::vector<DataEvent> events;
    m_qfiles.SetObserver([&](const DataEvent& event) { events.push_back(event); });
    OpenSql(m_qfiles, "select * from manager order by id");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].change, DataChange::Reset);
    EXPECT_TRUE(m_qfiles.FetchMore());
    EXPECT_EQ(m_qfiles.FetchedRowCount(), 100u);
    EXPECT_EQ(events.back().change, DataChange::RowsFetched);
    EXPECT_EQ(events.back().row, 50u);
    EXPECT_EQ(events.back().count, 50u);
    EXPECT_EQ(m_qfiles.CellValue(99, 4), Value{std::int64_t{7100}});
    EXPECT_EQ(m_qfiles.CellValue(0, 3), Value{std::string("10.0.0.1")});

    m_qfiles.MoveTo(110);  // beyond what was fetched: fetches up to it
    EXPECT_EQ(m_qfiles.CurrentRow(), 110u);
    EXPECT_EQ(m_qfiles.FieldByName("id").AsInteger(), 111);
    EXPECT_EQ(m_qfiles.FetchedRowCount(), 120u);
    m_qfiles.MoveTo(5000);
    EXPECT_EQ(m_qfiles.CurrentRow(), 119u);
    EXPECT_FALSE(m_qfiles.FetchMore());
}

TEST_F(QueryTest, rowCountRunsTheThreeLineCountStatementOncePerOpening) {
    AddPlayers("Sala", 7);
    AddPlayers("Atrio", 2);
    struct Case {
        std::string sql;
        std::string countStatement;
        std::int64_t count;
    };
    const Case cases[] = {
        {"select * from manager where manager_list_name='Sala' order by player_ip DESC",
         "SELECT COUNT(*) FROM (\nselect * from manager where manager_list_name='Sala' \n) A\n", 7},
        {"select * from manager where attivo=1 and manager_list_name='Sala' order by "
         "manager_list_name",
         "SELECT COUNT(*) FROM (\nselect * from manager where attivo=1 and "
         "manager_list_name='Sala' \n) A\n",
         4},
        {"select manager_list_name from manager where manager_list_name='Atrio'",
         "SELECT COUNT(*) FROM (\nselect manager_list_name from manager where "
         "manager_list_name='Atrio'\n) A\n",
         2},
        // The words inside a literal do not cut the statement.
        {"select * from manager where manager_list_name='ORDER BY x' order by id",
         "SELECT COUNT(*) FROM (\nselect * from manager where manager_list_name='ORDER BY x' "
         "\n) A\n",
         0},
    };
    for (const Case& c : cases) {
        m_qfiles.Close();
        OpenSql(m_qfiles, c.sql);
        m_trace.clear();
        EXPECT_EQ(m_qfiles.RecordCount(), c.count) << c.sql;
        EXPECT_EQ(m_qfiles.RecordCount(), c.count) << c.sql;
        ASSERT_EQ(m_trace.size(), 1u) << c.sql;
        EXPECT_EQ(m_trace[0].sql, c.countStatement);
    }
    // Closing forgets the count; a closed query counts 0 without a statement.
    m_qfiles.Close();
    m_trace.clear();
    EXPECT_EQ(m_qfiles.RecordCount(), 0);
    EXPECT_TRUE(m_trace.empty());
    m_qfiles.Open();
    m_trace.clear();
    EXPECT_EQ(m_qfiles.RecordCount(), 0);
    EXPECT_EQ(m_trace.size(), 1u);
}

TEST_F(QueryTest, fieldsByNameOrPositionWithTheirKinds) {
    AddPlayers("Sala", 1);
    OpenSql(m_qfiles, "select * from manager");
    EXPECT_EQ(m_qfiles.FieldCount(), 6u);
    EXPECT_EQ(m_qfiles.FieldByName("PLAYER_IP").Index(), 3u);
    EXPECT_EQ(m_qfiles.Fields(2).FieldName(), "manager_list_name");
    EXPECT_EQ(m_qfiles.FieldByName("id").Kind(), FieldKind::Integer);
    EXPECT_EQ(m_qfiles.FieldByName("attivo").Kind(), FieldKind::Flag);
    EXPECT_EQ(m_qfiles.FieldByName("player_port").Kind(), FieldKind::Integer);
    EXPECT_EQ(m_qfiles.FieldByName("player_ip").Kind(), FieldKind::Text);
    EXPECT_TRUE(m_qfiles.Columns()[0].autoIncrement);
    EXPECT_FALSE(m_qfiles.Columns()[1].autoIncrement);
    EXPECT_EQ(FailureText([&] { m_qfiles.FieldByName("nome_playlist"); }),
              "qfiles: Field 'nome_playlist' not found");
}

TEST_F(QueryTest, fieldValuesConvertOrFailWithTheirTexts) {
    test::ExecSql(m_file,
                  "CREATE TABLE kinds (t VARCHAR(20), n INTEGER, f BIT, m MEMO, b BLOB);"
                  "INSERT INTO kinds VALUES ('42', 7, 1, 'memo', x'0001');");
    OpenSql(m_qfiles, "select * from kinds");
    m_qfiles.Edit();
    auto field = [&](const char* name) { return m_qfiles.FieldByName(name); };
    EXPECT_EQ(field("t").AsInteger(), 42);
    EXPECT_EQ(field("n").AsString(), "7");
    EXPECT_EQ(field("f").AsString(), "True");
    EXPECT_EQ(field("f").AsInteger(), 1);
    EXPECT_TRUE(field("n").AsBoolean());
    EXPECT_EQ(field("b").AsString(), std::string("\0\1", 2));

    struct Case {
        std::function<void()> action;
        std::string text;
    };
    const Case failures[] = {
        {[&] { field("n").SetAsString("7000x"); },
         "'7000x' is not a valid integer value for field 'n'"},
        {[&] { field("n").SetAsString(" 7"); }, "' 7' is not a valid integer value for field 'n'"},
        {[&] { field("n").SetAsString("99999999999999999999"); },
         "'99999999999999999999' is not a valid integer value for field 'n'"},
        {[&] { field("t").SetAsString("ab%s"), field("t").AsInteger(); },
         "'ab%s' is not a valid integer value for field 't'"},
        {[&] { field("t").AsBoolean(); }, "Cannot access field 't' as type Boolean"},
        {[&] { field("m").SetAsBoolean(true); }, "Cannot access field 'm' as type Boolean"},
        {[&] { field("b").AsInteger(); }, "Cannot access field 'b' as type Integer"},
        {[&] { field("f").SetAsString("maybe"); },
         "'maybe' is not a valid boolean value for field 'f'"},
    };
    for (const Case& c : failures) {
        EXPECT_EQ(FailureText(c.action), c.text);
    }
    // A failed conversion stores nothing.
    EXPECT_EQ(field("n").AsInteger(), 7);

    field("n").SetAsString("");
    EXPECT_TRUE(field("n").IsNull());
    EXPECT_EQ(field("n").AsInteger(), 0);
    field("n").SetAsString("-12");
    EXPECT_EQ(field("n").AsInteger(), -12);
    field("f").SetAsInteger(0);
    EXPECT_FALSE(field("f").AsBoolean());
    EXPECT_EQ(field("f").AsString(), "False");
    field("n").SetAsBoolean(true);
    EXPECT_EQ(field("n").AsInteger(), 1);
    field("t").SetAsInteger(5);
    EXPECT_EQ(field("t").AsString(), "5");
}

TEST_F(QueryTest, datasetErrorsNameTheQuery) {
    AddPlayers("Sala", 1);
    struct Case {
        std::function<void()> action;
        std::string text;
    };
    const std::string closed = "qfiles: Cannot perform this operation on a closed dataset";
    const std::string notEditing = "qfiles: Dataset not in edit or insert mode";
    const Case closedCases[] = {
        {[&] { m_qfiles.Edit(); }, closed},     {[&] { m_qfiles.Append(); }, closed},
        {[&] { m_qfiles.Delete(); }, closed},   {[&] { m_qfiles.Next(); }, closed},
        {[&] { m_qfiles.Post(); }, notEditing},
    };
    for (const Case& c : closedCases) {
        EXPECT_EQ(FailureText(c.action), c.text);
    }
    EXPECT_TRUE(m_trace.empty());

    OpenSql(m_qfiles, "select * from manager");
    const Case browseCases[] = {
        {[&] { m_qfiles.Post(); }, notEditing},
        {[&] { m_qfiles.FieldByName("player_ip").SetAsString("1.2.3.4"); }, notEditing},
        {[&] { m_qfiles.FieldByName("attivo").SetAsBoolean(true); }, notEditing},
    };
    for (const Case& c : browseCases) {
        EXPECT_EQ(FailureText(c.action), c.text);
    }
    EXPECT_EQ(m_qfiles.FieldByName("player_ip").AsString(), "10.0.0.1");
}

TEST_F(QueryTest, emptyResultReadsAsNullValues) {
    OpenSql(m_qfiles, "select * from manager where manager_list_name=''");
    EXPECT_TRUE(m_qfiles.Eof());
    EXPECT_TRUE(m_qfiles.IsEmpty());
    EXPECT_EQ(m_qfiles.FieldByName("player_file_play").AsString(), "");
    EXPECT_EQ(m_qfiles.FieldByName("player_port").AsInteger(), 0);
    EXPECT_FALSE(m_qfiles.FieldByName("attivo").AsBoolean());
    m_qfiles.Next();
    EXPECT_TRUE(m_qfiles.Eof());
}

TEST_F(QueryTest, driverFailuresCarryThePrefixAndTheFirstDiagnostic) {
    EXPECT_EQ(FailureText([&] { OpenSql(m_qfiles, "select * from playlist"); }),
              "[AnyDAC][Phys][ODBC]no such table: playlist");
    EXPECT_FALSE(m_qfiles.Active());
    EXPECT_TRUE(m_conn.Connected());  // opening connected on demand

    // Running several statements at once is refused rather than half done.
    EXPECT_EQ(FailureText([&] { OpenSql(m_qfiles, "select 1; delete from manager"); }),
              "[AnyDAC][Phys][ODBC]only one statement can run at a time");
}

TEST_F(QueryTest, missingOrForeignFileFailsToConnectAndNothingIsCreated) {
    // A file that is no SQLite database goes to the driver manager, which knows no Access
    // driver in the test's own list and says so itself.
    UseTestOdbcLists({});
    const std::filesystem::path missing = m_folder.Path() / "absent" / "data.mdb";
    const std::filesystem::path foreign = m_folder.Path() / "foreign.mdb";
    {
        std::FILE* f = std::fopen(foreign.c_str(), "wb");
        std::fputs("Standard Jet DB, not SQLite at all................................", f);
        std::fclose(f);
    }
    struct Case {
        std::string path;
        std::string text;
    };
    const Case cases[] = {
        {missing.string(),
         "[AnyDAC][Phys][ODBC]database file '" + missing.string() + "' does not exist"},
        {foreign.string(),
         "[AnyDAC][Phys][ODBC][unixODBC][Driver Manager]Can't open lib 'Microsoft Access Driver "
         "(*.mdb)' : file not found"},
        {"", "[AnyDAC][Phys][ODBC]no database file named in the connection string (DBQ)"},
    };
    for (const Case& c : cases) {
        Connection conn;
        conn.AddParam("Database=" + c.path);
        EXPECT_EQ(FailureText([&] { conn.Connect(); }), c.text);
        EXPECT_FALSE(conn.Connected());
    }
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_FALSE(std::filesystem::exists(missing.parent_path()));
}

// A driver that answers every call with a failure and no diagnostic record.
class SilentDriver : public Driver {
public:
    std::unique_ptr<DriverConnection> Connect(const std::string&) override {
        throw DriverError(ReturnCode::Error, "");
    }
};

TEST(DriverErrorTextTest, withoutDiagnosticNamesTheDriverAndTheReturnCode) {
    Connection conn("conndb", std::make_unique<SilentDriver>());
    EXPECT_EQ(FailureText([&] { conn.Connect(); }), "[AnyDAC][Phys][ODBC][CLI] SQL_ERROR");
    EXPECT_EQ(DriverErrorText(DriverError(ReturnCode::NoData, ""), "odbcjt32.dll"),
              "[AnyDAC][Phys][ODBC][odbcjt32.dll] SQL_NO_DATA");
}

TEST_F(QueryTest, disconnectClosesEveryQueryAndDropsThePendingRow) {
    AddPlayers("Sala", 2);
    Query qliste(m_conn, "qliste");
    OpenSql(qliste, "select distinct manager_list_name from manager");
    OpenSql(m_qfiles, "select * from manager");
    m_qfiles.Edit();
    m_qfiles.FieldByName("player_ip").SetAsString("9.9.9.9");
    m_trace.clear();
    m_conn.Disconnect();
    EXPECT_FALSE(m_conn.Connected());
    EXPECT_FALSE(qliste.Active());
    EXPECT_EQ(m_qfiles.State(), DatasetState::Inactive);
    EXPECT_TRUE(m_trace.empty());
    EXPECT_EQ(test::ColumnTexts(m_file, "select player_ip from manager"),
              (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
    m_conn.Disconnect();  // disconnecting twice does nothing
}

TEST_F(QueryTest, changingTheTextOfAnOpenQueryClosesIt) {
    AddPlayers("Sala", 1);
    OpenSql(m_qfiles, "select * from manager");
    m_qfiles.SqlClear();
    EXPECT_FALSE(m_qfiles.Active());
}

TEST_F(QueryTest, activityHookSurroundsEveryDriverCall) {
    AddPlayers("Sala", 60);
    int depth = 0;
    int busy = 0;
    bool balanced = true;
    m_conn.SetActivityHook({[&] { ++depth, ++busy; },
                            [&] {
                                --depth;
                                balanced = balanced && depth == 0;
                            }});
    OpenSql(m_qfiles, "select * from manager");
    m_qfiles.RecordCount();
    EXPECT_GE(busy, 4);  // connect, statement, key lookup, fetch, count
    EXPECT_EQ(depth, 0);
    EXPECT_TRUE(balanced);
    busy = 0;
    EXPECT_THROW(OpenSql(m_qfiles, "select nonsense from manager"), Failure);
    EXPECT_EQ(busy, 1);
    EXPECT_EQ(depth, 0);
}

TEST_F(QueryTest, aFullyFetchedResultLetsAnotherProgramWrite) {
    AddPlayers("Sala", 3);
    OpenSql(m_qfiles, "select * from manager");
    ASSERT_TRUE(m_qfiles.AllFetched());
    EXPECT_NO_THROW(test::ExecSql(m_file, "DELETE FROM manager WHERE id = 2"));
}

TEST(SqliteDriverTest, declaredTypesMapToKinds) {
    struct Case {
        const char* declared;
        FieldKind kind;
    };
    const Case cases[] = {
        {"INTEGER", FieldKind::Integer}, {"int", FieldKind::Integer},
        {"COUNTER", FieldKind::Integer}, {"LONG", FieldKind::Integer},
        {"BOOLEAN", FieldKind::Flag},    {"BIT", FieldKind::Flag},
        {"YESNO", FieldKind::Flag},      {"VARCHAR(255)", FieldKind::Text},
        {"TEXT", FieldKind::Text},       {"CHAR (8)", FieldKind::Text},
        {"MEMO", FieldKind::LongText},   {"LONGTEXT", FieldKind::LongText},
        {"BLOB", FieldKind::Blob},       {"", FieldKind::Text},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(KindOfDeclaredType(c.declared), c.kind) << c.declared;
    }
}

}  // namespace
}  // namespace orvanta::db

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>

#include "tests/db/DbFixture.h"

namespace orvanta::db {
namespace {

using test::FailureText;
using test::TracedStatement;

const std::string kUpdated0 =
    "[AnyDAC][DApt]-400. Update command updated [0] instead of [1] record.\r\n"
    "Possible reasons: update table does not have PK or row identifier,\r\n"
    "record has been changed/deleted by another user.";

Value Int(std::int64_t n) {
    return Value{n};
}
Value Text(const char* text) {
    return Value{std::string(text)};
}

class RowEditingTest : public test::DbFixture {
protected:
    void SetUp() override {
        m_qfiles.SetAfterPost([this] { ++m_afterPosts; });
    }
    void OpenGroup(const std::string& group) {
        OpenSql(m_qfiles, "select * from manager where manager_list_name='" + group +
                              "' order by manager_list_name");
        m_trace.clear();
    }
    std::vector<std::string> Stored(const std::string& column) {
        return test::ColumnTexts(m_file, "select " + column + " from manager order by id");
    }

    int m_afterPosts = 0;
};

TEST_F(RowEditingTest, activatingSendsTheFlagAloneFoundByTheKey) {
    AddPlayers("Sala", 2);  // player 2 is inactive
    OpenGroup("Sala");
    m_qfiles.Next();
    m_qfiles.Edit();
    m_qfiles.FieldByName("attivo").SetAsInteger(1);
    m_qfiles.Post();
    EXPECT_EQ(m_trace, (std::vector<TracedStatement>{
                           {"UPDATE manager SET attivo = ? WHERE id = ?", {Int(1), Int(2)}}}));
    EXPECT_EQ(m_qfiles.State(), DatasetState::Browse);
    EXPECT_EQ(m_afterPosts, 1);
    EXPECT_EQ(Stored("attivo"), (std::vector<std::string>{"1", "1"}));
}

TEST_F(RowEditingTest, postingAnUnchangedValueSendsNothingYetCallsAfterPost) {
    AddPlayers("Sala", 1);  // player 1 is active
    OpenGroup("Sala");
    m_qfiles.Edit();
    m_qfiles.FieldByName("attivo").SetAsBoolean(true);
    m_qfiles.FieldByName("player_port").SetAsString("7001");
    EXPECT_TRUE(m_qfiles.Modified());
    m_qfiles.Post();
    EXPECT_TRUE(m_trace.empty());
    EXPECT_EQ(m_afterPosts, 1);
}

TEST_F(RowEditingTest, editOnAnEmptyResultInsertsARowWithOnlyTheFieldsSet) {
    OpenGroup("Nuova");
    m_qfiles.Edit();
    EXPECT_EQ(m_qfiles.State(), DatasetState::Insert);
    m_qfiles.FieldByName("manager_list_name").SetAsString("Nuova");
    m_qfiles.Post();
    EXPECT_EQ(m_trace, (std::vector<TracedStatement>{
                           {"INSERT INTO manager (manager_list_name) VALUES (?)", {Text("Nuova")}},
                           {"SELECT @@IDENTITY AS id", {}}}));
    const std::vector<std::string> ids = Stored("id");
    ASSERT_EQ(ids.size(), 1u);
    EXPECT_EQ(m_qfiles.FieldByName("id").AsString(), ids[0]);
    EXPECT_EQ(m_afterPosts, 1);
}

TEST_F(RowEditingTest, newRowWithEveryFieldAndTheAutoNumberReadBack) {
    AddPlayers("Sala", 3);
    test::ExecSql(m_file, "DELETE FROM manager WHERE id = 3");  // the next number is still 4
    OpenGroup("Sala");
    m_qfiles.Append();
    EXPECT_EQ(m_qfiles.CurrentRow(), 2u);
    m_qfiles.FieldByName("manager_list_name").SetAsString("Sala");
    m_qfiles.FieldByName("player_ip").SetAsString("127.0.0.1");
    m_qfiles.FieldByName("player_port").SetAsString("7010");
    m_qfiles.FieldByName("player_file_play").SetAsString("/media/a b.mp4");
    m_qfiles.FieldByName("attivo").SetAsBoolean(false);
    m_qfiles.Post();
    EXPECT_EQ(m_trace,
              (std::vector<TracedStatement>{
                  {"INSERT INTO manager (attivo, manager_list_name, player_ip, "
                   "player_port, player_file_play) VALUES (?, ?, ?, ?, ?)",
                   {Int(0), Text("Sala"), Text("127.0.0.1"), Int(7010), Text("/media/a b.mp4")}},
                  {"SELECT @@IDENTITY AS id", {}}}));
    EXPECT_EQ(m_qfiles.FieldByName("id").AsInteger(), 4);
    EXPECT_EQ(Stored("player_port"), (std::vector<std::string>{"7001", "7002", "7010"}));
}

TEST_F(RowEditingTest, appendFinishesThePendingRowFirst) {
    AddPlayers("Sala", 1);
    OpenGroup("Sala");
    m_qfiles.Append();
    m_qfiles.Append();  // the first new row was never changed: dropped
    EXPECT_EQ(m_qfiles.FetchedRowCount(), 2u);
    EXPECT_TRUE(m_trace.empty());
    m_qfiles.FieldByName("player_ip").SetAsString("10.1.1.1");
    m_qfiles.Append();  // this one was changed: posted before the next one starts
    EXPECT_EQ(TracedTexts(), (std::vector<std::string>{"INSERT INTO manager (player_ip) VALUES (?)",
                                                       "SELECT @@IDENTITY AS id"}));
    EXPECT_EQ(m_afterPosts, 1);
    EXPECT_EQ(m_qfiles.State(), DatasetState::Insert);
    EXPECT_EQ(m_qfiles.FetchedRowCount(), 3u);
    EXPECT_EQ(m_qfiles.CurrentRow(), 2u);
}

TEST_F(RowEditingTest, movingPostsAChangedRowAndDropsAnUnchangedOne) {
    AddPlayers("Sala", 3);
    OpenGroup("Sala");
    m_qfiles.Edit();
    m_qfiles.First();  // unchanged edit: dropped
    EXPECT_EQ(m_qfiles.State(), DatasetState::Browse);
    m_qfiles.Edit();
    m_qfiles.FieldByName("player_ip").SetAsString("10.9.9.9");
    m_qfiles.Next();
    EXPECT_EQ(m_trace,
              (std::vector<TracedStatement>{
                  {"UPDATE manager SET player_ip = ? WHERE id = ?", {Text("10.9.9.9"), Int(1)}}}));
    EXPECT_EQ(m_qfiles.FieldByName("id").AsInteger(), 2);

    // A dropped new row gives the current row back to the last row.
    m_trace.clear();
    m_qfiles.Append();
    m_qfiles.MoveTo(0);
    EXPECT_EQ(m_qfiles.FetchedRowCount(), 3u);
    EXPECT_EQ(m_qfiles.CurrentRow(), 0u);
    m_qfiles.Append();
    m_qfiles.Cancel();
    EXPECT_EQ(m_qfiles.CurrentRow(), 2u);
    EXPECT_TRUE(m_trace.empty());
}

TEST_F(RowEditingTest, closingDropsAPendingRowUnwritten) {
    AddPlayers("Sala", 1);
    OpenGroup("Sala");
    m_qfiles.Edit();
    m_qfiles.FieldByName("player_file_play").SetAsString("/other.mp4");
    m_qfiles.Close();
    EXPECT_TRUE(m_trace.empty());
    EXPECT_EQ(m_afterPosts, 0);
    EXPECT_EQ(Stored("player_file_play"), (std::vector<std::string>{"/media/clip1.mp4"}));
}

TEST_F(RowEditingTest, deletingMovesToTheNextRowThenThePreviousUntilEmpty) {
    AddPlayers("Sala", 3);
    OpenGroup("Sala");
    m_qfiles.Next();
    m_qfiles.Delete();
    EXPECT_EQ(m_trace,
              (std::vector<TracedStatement>{{"DELETE FROM manager WHERE id = ?", {Int(2)}}}));
    EXPECT_EQ(m_qfiles.FieldByName("id").AsInteger(), 3);
    m_qfiles.Delete();  // the last row: the previous one becomes current
    EXPECT_EQ(m_qfiles.FieldByName("id").AsInteger(), 1);
    EXPECT_FALSE(m_qfiles.Eof());
    m_qfiles.Delete();
    EXPECT_TRUE(m_qfiles.IsEmpty());
    EXPECT_TRUE(m_qfiles.Eof());
    EXPECT_EQ(FailureText([&] { m_qfiles.Delete(); }),
              "qfiles: Cannot perform this operation on an empty dataset");
    EXPECT_EQ(m_trace.size(), 3u);
    EXPECT_EQ(m_afterPosts, 0);
    EXPECT_TRUE(Stored("id").empty());
}

TEST_F(RowEditingTest, deletingAnUnpostedNewRowSendsNothing) {
    AddPlayers("Sala", 1);
    OpenGroup("Sala");
    m_qfiles.Append();
    m_qfiles.FieldByName("player_ip").SetAsString("10.1.1.1");
    m_qfiles.Delete();
    EXPECT_TRUE(m_trace.empty());
    EXPECT_EQ(m_qfiles.FetchedRowCount(), 1u);
    EXPECT_EQ(m_qfiles.State(), DatasetState::Browse);
}

TEST_F(RowEditingTest, rowChangedOrDeletedElsewhereFailsWithError400) {
    AddPlayers("Sala", 2);
    OpenGroup("Sala");
    test::ExecSql(m_file, "DELETE FROM manager WHERE id = 1");
    m_qfiles.Edit();
    m_qfiles.FieldByName("attivo").SetAsInteger(0);
    EXPECT_EQ(FailureText([&] { m_qfiles.Post(); }), kUpdated0);
    // The row stays pending with its values, and no handler ran.
    EXPECT_EQ(m_qfiles.State(), DatasetState::Edit);
    EXPECT_FALSE(m_qfiles.FieldByName("attivo").AsBoolean());
    EXPECT_EQ(m_afterPosts, 0);
    m_qfiles.Cancel();

    EXPECT_EQ(FailureText([&] { m_qfiles.Delete(); }),
              "[AnyDAC][DApt]-400. Delete command deleted [0] instead of [1] record.\r\n"
              "Possible reasons: update table does not have PK or row identifier,\r\n"
              "record has been changed/deleted by another user.");
    EXPECT_EQ(m_qfiles.FetchedRowCount(), 2u);
    EXPECT_EQ(m_qfiles.FieldByName("id").AsInteger(), 1);
}

TEST_F(RowEditingTest, saveWaitsOutAnotherStationsBriefLockOnTheRegistry) {
    AddPlayers("Sala", 2);
    OpenGroup("Sala");

    // Another station saving: it holds the registry's write lock for a second and a half.
    std::promise<int> locked;
    int committed = SQLITE_OK;
    std::jthread station([&] {
        sqlite3* db = nullptr;
        int rc = sqlite3_open_v2(m_file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_busy_timeout(db, 5000);
        if (rc == SQLITE_OK) {
            rc = sqlite3_exec(db,
                              "BEGIN IMMEDIATE; UPDATE manager SET player_port = 7101 WHERE id = 1",
                              nullptr, nullptr, nullptr);
        }
        locked.set_value(rc);
        if (rc == SQLITE_OK) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            committed = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        }
        sqlite3_close(db);
    });
    ASSERT_EQ(locked.get_future().get(), SQLITE_OK);
    // The lock is really held: a write that does not wait is refused.
    EXPECT_THROW(test::ExecSql(m_file, "UPDATE manager SET attivo = 1"), std::runtime_error);

    m_qfiles.Next();
    m_qfiles.Edit();
    m_qfiles.FieldByName("player_ip").SetAsString("10.9.9.9");
    EXPECT_EQ(FailureText([&] { m_qfiles.Post(); }), "");
    station.join();
    EXPECT_EQ(committed, SQLITE_OK);
    EXPECT_EQ(Stored("player_port"), (std::vector<std::string>{"7101", "7002"}));
    EXPECT_EQ(Stored("player_ip"), (std::vector<std::string>{"10.0.0.1", "10.9.9.9"}));
}

TEST_F(RowEditingTest, refusedStatementKeepsTheRowPending) {
    test::ExecSql(m_file, "CREATE TABLE strict_t (id INTEGER PRIMARY KEY, name TEXT NOT NULL)");
    OpenSql(m_qfiles, "select * from strict_t");
    m_qfiles.Append();
    m_qfiles.FieldByName("id").SetAsInteger(5);
    EXPECT_EQ(FailureText([&] { m_qfiles.Post(); }),
              "[AnyDAC][Phys][ODBC]NOT NULL constraint failed: strict_t.name");
    EXPECT_EQ(m_qfiles.State(), DatasetState::Insert);
    EXPECT_EQ(m_afterPosts, 0);
}

TEST_F(RowEditingTest, withoutKeyEveryComparableColumnFindsTheRowAndNamesAreBracketed) {
    test::ExecSql(m_file,
                  "CREATE TABLE [player list] ([player name] VARCHAR(50), port INTEGER, "
                  "notes MEMO);"
                  "INSERT INTO [player list] VALUES ('uno', NULL, 'long text');");
    OpenSql(m_qfiles, "select * from [player list]");
    m_trace.clear();
    m_qfiles.Edit();
    m_qfiles.FieldByName("port").SetAsInteger(7001);
    m_qfiles.Post();
    m_qfiles.Append();
    m_qfiles.FieldByName("player name").SetAsString("due");
    m_qfiles.Post();
    m_qfiles.First();
    m_qfiles.Delete();
    EXPECT_EQ(m_trace,
              (std::vector<TracedStatement>{
                  {"UPDATE [player list] SET port = ? WHERE [player name] = ? AND port IS NULL",
                   {Int(7001), Text("uno")}},
                  // Long columns go into every insertion, whatever their value.
                  {"INSERT INTO [player list] ([player name], notes) VALUES (?, ?)",
                   {Text("due"), Value{}}},
                  {"DELETE FROM [player list] WHERE [player name] = ? AND port = ?",
                   {Text("uno"), Int(7001)}}}));
}

TEST_F(RowEditingTest, noConditionOrNoUpdateTableFailWithTheirNumbers) {
    test::ExecSql(m_file, "CREATE TABLE notes (body MEMO); INSERT INTO notes VALUES ('x');");
    OpenSql(m_qfiles, "select * from notes");
    EXPECT_EQ(FailureText([&] { m_qfiles.Delete(); }),
              "[AnyDAC][Phys]-329. WHERE condition must be not empty");

    AddPlayers("Sala", 1);
    OpenSql(m_qfiles, "select * from (select * from manager) q");
    m_trace.clear();
    m_qfiles.Edit();
    m_qfiles.FieldByName("player_ip").SetAsString("1.1.1.1");
    EXPECT_EQ(FailureText([&] { m_qfiles.Post(); }), "[AnyDAC][Phys]-330. Update table undefined");
    m_qfiles.Cancel();
    EXPECT_EQ(FailureText([&] { m_qfiles.Delete(); }),
              "[AnyDAC][Phys]-330. Update table undefined");
    EXPECT_TRUE(m_trace.empty());
}

TEST_F(RowEditingTest, readBackFetchesDefaultsAndComputedColumns) {
    test::ExecSql(m_file,
                  "CREATE TABLE clips (id INTEGER PRIMARY KEY, name TEXT, "
                  "kind TEXT DEFAULT 'video', twice INTEGER GENERATED ALWAYS AS (id * 2))");
    OpenSql(m_qfiles, "select * from clips");
    m_trace.clear();
    m_qfiles.Append();
    m_qfiles.FieldByName("name").SetAsString("intro");
    m_qfiles.Post();
    m_qfiles.Edit();
    m_qfiles.FieldByName("name").SetAsString("outro");
    m_qfiles.Post();
    EXPECT_EQ(
        m_trace,
        (std::vector<TracedStatement>{
            {"INSERT INTO clips (name) VALUES (?)", {Text("intro")}},
            {"SELECT @@IDENTITY AS id, A.kind, A.twice FROM clips A WHERE A.id = @@IDENTITY", {}},
            {"UPDATE clips SET name = ? WHERE id = ?", {Text("outro"), Int(1)}},
            {"SELECT A.twice FROM clips A WHERE A.id = ?", {Int(1)}}}));
    EXPECT_EQ(m_qfiles.FieldByName("kind").AsString(), "video");
    EXPECT_EQ(m_qfiles.FieldByName("twice").AsInteger(), 2);
}

TEST_F(RowEditingTest, readBackFindingNoRowFailsWithError312) {
    test::ExecSql(m_file,
                  "CREATE TABLE clips (id INTEGER PRIMARY KEY, kind TEXT DEFAULT 'video');"
                  "CREATE TABLE clips_log (id INTEGER);"
                  "CREATE TRIGGER vanish AFTER INSERT ON clips BEGIN "
                  "INSERT INTO clips_log VALUES (new.id); "
                  "DELETE FROM clips WHERE id = new.id; END;");
    OpenSql(m_qfiles, "select * from clips");
    m_qfiles.Append();
    m_qfiles.FieldByName("kind").SetAsString("audio");
    EXPECT_EQ(FailureText([&] { m_qfiles.Post(); }),
              "[AnyDAC][Phys]-312. Exact fetch returned wrong number of rows");
    EXPECT_EQ(m_qfiles.State(), DatasetState::Insert);
    EXPECT_EQ(m_afterPosts, 0);
    // The insertion went with its failed read-back: the trigger's log row is gone too.
    EXPECT_EQ(test::ColumnTexts(m_file, "SELECT count(*) FROM clips_log"),
              std::vector<std::string>{"0"});
}

TEST_F(RowEditingTest, newRowWithNothingSetInsertsNullIntoTheFirstColumnThatTakesIt) {
    OpenGroup("Sala");
    m_qfiles.Append();
    m_qfiles.Post();
    EXPECT_EQ(TracedTexts(), (std::vector<std::string>{"INSERT INTO manager (attivo) VALUES (NULL)",
                                                       "SELECT @@IDENTITY AS id"}));
    EXPECT_EQ(Stored("id"), (std::vector<std::string>{"1"}));
}

TEST_F(RowEditingTest, insertionTheDatabaseIgnoresFailsWithError400) {
    test::ExecSql(
        m_file, "CREATE TRIGGER refuse BEFORE INSERT ON manager BEGIN SELECT RAISE(IGNORE); END;");
    OpenGroup("Sala");
    m_qfiles.Append();
    m_qfiles.FieldByName("player_ip").SetAsString("10.0.0.1");
    EXPECT_EQ(FailureText([&] { m_qfiles.Post(); }),
              "[AnyDAC][DApt]-400. Insert command inserted [0] instead of [1] record.\r\n"
              "Possible reasons: update table does not have PK or row identifier,\r\n"
              "record has been changed/deleted by another user.");
    EXPECT_EQ(m_qfiles.State(), DatasetState::Insert);
}

TEST_F(RowEditingTest, postingWhileTheResultIsOnlyPartlyFetched) {
    AddPlayers("Sala", 120);
    OpenGroup("Sala");
    ASSERT_FALSE(m_qfiles.AllFetched());
    m_qfiles.Edit();
    m_qfiles.FieldByName("player_port").SetAsInteger(9000);
    m_qfiles.Post();
    m_qfiles.MoveTo(119);
    m_qfiles.Delete();
    EXPECT_EQ(m_qfiles.FetchedRowCount(), 119u);
    EXPECT_EQ(test::ColumnTexts(m_file, "select count(*) from manager where player_port = 9000"),
              (std::vector<std::string>{"1"}));
    EXPECT_EQ(test::ColumnTexts(m_file, "select count(*) from manager"),
              (std::vector<std::string>{"119"}));
}

TEST_F(RowEditingTest, postedRowsLeaveTheKeptCountAsItWas) {
    AddPlayers("Sala", 2);
    OpenGroup("Sala");
    EXPECT_EQ(m_qfiles.RecordCount(), 2);
    m_qfiles.Append();
    m_qfiles.FieldByName("manager_list_name").SetAsString("Sala");
    m_qfiles.Post();
    m_qfiles.Delete();
    m_qfiles.Delete();
    m_trace.clear();
    EXPECT_EQ(m_qfiles.RecordCount(), 2);
    EXPECT_TRUE(m_trace.empty());
}

TEST_F(RowEditingTest, changeReachingMoreThanTheOneRowChangesNothing) {
    // No key: the row is found by its values, and these two rows share them all. More rows
    // than one block keep the result's cursor open across the rolled-back change.
    std::string sql =
        "BEGIN; CREATE TABLE twins (name VARCHAR(50), port INTEGER);"
        "INSERT INTO twins VALUES ('uno', 7001);"
        "INSERT INTO twins VALUES ('uno', 7001);";
    for (int n = 0; n < 100; ++n) {
        sql += "INSERT INTO twins VALUES ('altro', " + std::to_string(8000 + n) + ");";
    }
    test::ExecSql(m_file, sql + "COMMIT;");
    OpenSql(m_qfiles, "select * from twins");
    ASSERT_FALSE(m_qfiles.AllFetched());
    const auto stored = [this] {
        return test::ColumnTexts(m_file,
                                 "select port from twins where name = 'uno' order by rowid");
    };

    m_qfiles.Edit();
    m_qfiles.FieldByName("port").SetAsInteger(9000);
    EXPECT_EQ(FailureText([&] { m_qfiles.Post(); }),
              "[AnyDAC][DApt]-400. Update command updated [2] instead of [1] record.\r\n"
              "Possible reasons: update table does not have PK or row identifier,\r\n"
              "record has been changed/deleted by another user.");
    EXPECT_EQ(stored(), (std::vector<std::string>{"7001", "7001"}));
    EXPECT_EQ(m_qfiles.State(), DatasetState::Edit);
    m_qfiles.Cancel();

    EXPECT_EQ(FailureText([&] { m_qfiles.Delete(); }),
              "[AnyDAC][DApt]-400. Delete command deleted [2] instead of [1] record.\r\n"
              "Possible reasons: update table does not have PK or row identifier,\r\n"
              "record has been changed/deleted by another user.");
    EXPECT_EQ(stored(), (std::vector<std::string>{"7001", "7001"}));
    EXPECT_EQ(m_qfiles.FetchedRowCount(), Query::kRowsetSize);

    // The result reads on to its end, and the connection commits the next change again.
    m_qfiles.MoveTo(101);
    EXPECT_EQ(m_qfiles.FieldByName("port").AsInteger(), 8099);
    m_qfiles.Delete();
    EXPECT_EQ(test::ColumnTexts(m_file, "select count(*) from twins"),
              (std::vector<std::string>{"101"}));
}

TEST_F(RowEditingTest, updateTableThatIsAViewFailsInsteadOfWritingNothing) {
    AddPlayers("Sala", 2);
    test::ExecSql(m_file,
                  "ALTER TABLE manager RENAME TO players;"
                  "CREATE VIEW manager AS SELECT * FROM players;");
    OpenGroup("Sala");
    m_qfiles.Edit();
    m_qfiles.FieldByName("attivo").SetAsInteger(0);
    EXPECT_EQ(FailureText([&] { m_qfiles.Post(); }), "[AnyDAC][Phys]-330. Update table undefined");
    EXPECT_EQ(m_qfiles.State(), DatasetState::Edit);
    EXPECT_EQ(m_afterPosts, 0);
    EXPECT_TRUE(m_trace.empty());
    EXPECT_EQ(test::ColumnTexts(m_file, "select attivo from players order by id"),
              (std::vector<std::string>{"1", "0"}));
}

TEST_F(RowEditingTest, afterPostMayReopenTheQueryInTheMiddleOfAMove) {
    AddPlayers("Sala", 2);
    OpenGroup("Sala");
    // As the registry does: every post reloads the player query.
    m_qfiles.SetAfterPost([this] {
        m_qfiles.Close();
        m_qfiles.Open();
    });
    m_qfiles.Edit();
    m_qfiles.FieldByName("player_ip").SetAsString("10.5.5.5");
    m_qfiles.Append();  // posts, the handler reopens, then the new row starts there
    EXPECT_EQ(m_qfiles.State(), DatasetState::Insert);
    EXPECT_EQ(m_qfiles.FetchedRowCount(), 3u);
    EXPECT_EQ(Stored("player_ip"), (std::vector<std::string>{"10.5.5.5", "10.0.0.2"}));
}

}  // namespace
}  // namespace orvanta::db

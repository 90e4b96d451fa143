#include <gtest/gtest.h>

#include "db/SqlText.h"

namespace orvanta::db {
namespace {

TEST(SqlTextTest, outermostOrderByIsFoundOnlyInCode) {
    struct Case {
        std::string sql;
        std::string beforeOrderBy;  // the text up to the clause; the whole text when none
    };
    const Case cases[] = {
        {"select * from manager where manager_list_name='Sala' order by player_ip DESC",
         "select * from manager where manager_list_name='Sala' "},
        {"select * from manager", "select * from manager"},
        {"ORDER BY x", ""},
        {"select * from t\norder by a", "select * from t\n"},
        {"select * from t ORDER BY a", "select * from t "},
        // A literal, a quoted name and comments holding the words do not count.
        {"select * from manager where manager_list_name='ORDER BY x' order by id",
         "select * from manager where manager_list_name='ORDER BY x' "},
        {"select * from manager where manager_list_name='it''s order by x'",
         "select * from manager where manager_list_name='it''s order by x'"},
        {"select [a order by b] from t", "select [a order by b] from t"},
        {"select \"x order by y\" from t", "select \"x order by y\" from t"},
        {"select a from t -- order by a\n", "select a from t -- order by a\n"},
        {"select a from t /* order by a */", "select a from t /* order by a */"},
        // Not at the outermost level.
        {"select * from (select a from t order by a) q",
         "select * from (select a from t order by a) q"},
        {"select * from (select a from t order by a) q order by b",
         "select * from (select a from t order by a) q "},
        // Two blanks, no blank before, or a longer word are no ORDER BY clause.
        {"select a from t order  by a", "select a from t order  by a"},
        {"select a from t)order by a", "select a from t)order by a"},
        {"select a from t order byx", "select a from t order byx"},
        {"select a from reorder by", "select a from reorder by"},
    };
    for (const Case& c : cases) {
        const std::size_t at = FindOrderBy(c.sql);
        const std::string before = at == std::string::npos ? c.sql : c.sql.substr(0, at);
        EXPECT_EQ(before, c.beforeOrderBy) << c.sql;
    }
}

TEST(SqlTextTest, updateTableIsTheFirstNameAfterTheOutermostFrom) {
    struct Case {
        std::string sql;
        std::string table;
    };
    const Case cases[] = {
        {"select * from manager where manager_list_name='Sala' order by manager_list_name",
         "manager"},
        {"select distinct manager_list_name from manager\n", "manager"},
        {"SELECT a FROM [player list] A", "player list"},
        {"select a from \"my\"\"t\"", "my\"t"},
        {"select a from main.manager", "manager"},
        {"select (select max(id) from other) from manager", "manager"},
        {"select 'from x' from manager", "manager"},
        {"select * from (select * from manager) q", ""},
        {"update manager set a = 1", ""},
        {"select 1", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UpdateTableOf(c.sql), c.table) << c.sql;
    }
}

TEST(SqlTextTest, bracketRuleAndIdentityReplacement) {
    EXPECT_EQ(BracketedName("manager"), "manager");
    EXPECT_EQ(BracketedName("player_port"), "player_port");
    EXPECT_EQ(BracketedName("a1#$"), "a1#$");
    EXPECT_EQ(BracketedName("player list"), "[player list]");
    EXPECT_EQ(BracketedName("1st"), "[1st]");
    EXPECT_EQ(BracketedName("_x"), "[_x]");
    EXPECT_EQ(BracketedName("caff\xe8"), "[caff\xe8]");

    EXPECT_EQ(ReplaceIdentity("SELECT @@IDENTITY AS id", "last_insert_rowid()"),
              "SELECT last_insert_rowid() AS id");
    EXPECT_EQ(ReplaceIdentity("SELECT A.x FROM t A WHERE A.id = @@identity", "f()"),
              "SELECT A.x FROM t A WHERE A.id = f()");
    EXPECT_EQ(ReplaceIdentity("select '@@IDENTITY', [@@IDENTITY]", "f()"),
              "select '@@IDENTITY', [@@IDENTITY]");
}

}  // namespace
}  // namespace orvanta::db

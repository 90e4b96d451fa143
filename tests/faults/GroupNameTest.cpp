// Group names made of quotes, percent signs, semicolons, comment marks and bytes outside ASCII
// reach the database only inside their quoted literal: every statement is the one meant, the
// name comes back byte for byte, and nothing else in the registry is touched.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "registry/RegistryStore.h"
#include "registry/Schema.h"
#include "tests/db/TempDatabase.h"

namespace orvanta::faults {
namespace {

using registry::Quoted;

struct HostileName {
    const char* label;
    std::string name;
};

void PrintTo(const HostileName& name, std::ostream* out) {
    *out << name.label;
}

class GroupNameTest : public ::testing::TestWithParam<HostileName> {
protected:
    GroupNameTest()
        : m_file(m_folder.Path() / registry::kRegistryFileName),
          m_store([this] { return m_folder.WithSeparator(); }) {
        test::ExecSql(m_file, std::string(registry::kManagerTableSchema) +
                                  ";INSERT INTO manager (attivo, manager_list_name, player_ip, "
                                  "player_port, player_file_play) VALUES "
                                  "(1, 'Atrio', '10.0.0.1', 7001, '/media/uno.mp4'),"
                                  "(1, 'Sala', '10.0.0.2', 7002, '/media/due.mp4');");
        m_store.conn.SetTrace([this](const std::string& sql, const std::vector<db::Value>&) {
            m_statements.push_back(sql);
        });
    }

    test::TempFolder m_folder;
    std::filesystem::path m_file;
    registry::RegistryStore m_store;
    std::vector<std::string> m_statements;
};

TEST_P(GroupNameTest, nameStaysInsideItsLiteral) {
    const std::string& name = GetParam().name;
    const std::string q = Quoted(name);
    m_store.LoadGroups();

    // Before the group exists: the three statements of a group change, and no row found.
    m_statements.clear();
    EXPECT_FALSE(m_store.FilterGroup(name));
    EXPECT_EQ(
        m_statements,
        (std::vector<std::string>{
            "select manager_list_name from manager where manager_list_name=" + q + "\n",
            "select * from manager where manager_list_name=" + q + " order by manager_list_name\n",
            "SELECT COUNT(*) FROM (\nselect manager_list_name from manager where "
            "manager_list_name=" +
                q + "\n) A\n"}));
    EXPECT_TRUE(m_store.qfiles.IsEmpty());

    // A player saved in that group keeps the name byte for byte.
    m_store.NewPlayer();
    m_store.SavePlayer({name, "10.9.9.9", "7100", "/media/nove.mp4", true});
    const std::vector<std::string> groups = m_store.LoadGroups();
    EXPECT_NE(std::find(groups.begin(), groups.end(), name), groups.end());
    EXPECT_EQ(groups.size(), 3u);
    EXPECT_TRUE(m_store.FilterGroup(name));
    ASSERT_FALSE(m_store.qfiles.IsEmpty());
    EXPECT_EQ(m_store.qfiles.FieldByName("player_ip").AsString(), "10.9.9.9");
    m_store.qfiles.Next();
    EXPECT_TRUE(m_store.qfiles.Eof());

    // The count of the active players cuts the statement at its own ORDER BY, not at words
    // inside the name.
    m_statements.clear();
    EXPECT_EQ(m_store.SelectActivePlayers(name), 1);
    EXPECT_EQ(m_statements.back(),
              "SELECT COUNT(*) FROM (\nselect * from manager where attivo=1 and "
              "manager_list_name=" +
                  q + " \n) A\n");

    // The other groups and the table itself are as they were.
    EXPECT_EQ(test::ColumnTexts(m_file, "SELECT manager_list_name FROM manager ORDER BY id"),
              (std::vector<std::string>{"Atrio", "Sala", name}));
    EXPECT_EQ(test::ColumnTexts(m_file,
                                "SELECT name FROM sqlite_master WHERE type = 'table' AND "
                                "name = 'manager'"),
              std::vector<std::string>{"manager"});
}

INSTANTIATE_TEST_SUITE_P(
    HostileNames, GroupNameTest,
    ::testing::Values(HostileName{"apostrophe", "Sala d'attesa"}, HostileName{"onlyQuotes", "''"},
                      HostileName{"dropTable", "x'; DROP TABLE manager; --"},
                      HostileName{"alwaysTrue", "' OR '1'='1"},
                      HostileName{"orAnotherGroup", "Atrio' OR manager_list_name='Sala"},
                      HostileName{"percentAndSemicolon", "100% sconto; 50%_ ;"},
                      HostileName{"backslash", "\\'; select 1; --"},
                      HostileName{"commentsAndNames", "/* c */ -- \"q\" [b] `t`"},
                      HostileName{"orderByInside", "a' order by player_ip --"},
                      HostileName{"latin1Bytes", "Caff\xe8 \xab\xbb \xff"},
                      HostileName{"utf8", "Citt\xc3\xa0 \xe6\x9d\xb1\xe4\xba\xac"},
                      HostileName{"controlBytes", "tab\there\r\nnext"}),
    [](const ::testing::TestParamInfo<HostileName>& info) { return info.param.label; });

}  // namespace
}  // namespace orvanta::faults

#include <gtest/gtest.h>
#include <sqlite3.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "registry/RegistryStore.h"
#include "tests/db/TempDatabase.h"
#include "tools/registry/RegistryTool.h"

namespace orvanta::tools {
namespace {

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result Tool(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunRegistryTool(args, out, err);
    return {status, out.str(), err.str()};
}

std::vector<std::string> Then(std::vector<std::string> first,
                              const std::vector<std::string>& more) {
    first.insert(first.end(), more.begin(), more.end());
    return first;
}

class RegistryToolTest : public ::testing::Test {
protected:
    RegistryToolTest() { std::ofstream(m_media) << "media bytes"; }
    test::TempFolder m_folder;
    std::string m_registry = (m_folder.Path() / "data.mdb").string();
    std::string m_media = (m_folder.Path() / "clip one.mp4").string();
};

TEST_F(RegistryToolTest, createdRegistryTakesPlayersAndServesTheManager) {
    ASSERT_EQ(Tool({"create", m_registry}).status, 0);
    ASSERT_EQ(Tool({"add", m_registry, "--group", "Sala d'attesa", "--ip", "127.0.0.1", "--port",
                    "17100", "--file", m_media})
                  .status,
              0);
    const Result added = Tool({"add", m_registry, "--inactive", "--group", "Vetrina", "--ip",
                               "010.0.0.002", "--port", "7000", "--file", m_media});
    ASSERT_EQ(added.status, 0) << added.err;
    EXPECT_EQ(added.out, "added player 2 to group 'Vetrina': 10.0.0.2:7000 (inactive)\n");

    EXPECT_EQ(
        Tool({"list", m_registry, "--group", "Vetrina"}).out,
        "id\tattivo\tgroup\tip\tport\tfile\n2\t0\tVetrina\t10.0.0.2\t7000\t" + m_media + "\n");
    EXPECT_EQ(Tool({"list", m_registry}).out.find("1\t1\tSala d'attesa\t127.0.0.1\t17100\t"),
              std::string("id\tattivo\tgroup\tip\tport\tfile\n").size());

    // The manager's store reads it as written.
    const std::string folder = m_folder.WithSeparator();
    registry::RegistryStore store([&] { return folder; });
    EXPECT_EQ(store.LoadGroups(), (std::vector<std::string>{"Sala d'attesa", "Vetrina"}));
    EXPECT_EQ(store.SelectActivePlayers("Sala d'attesa"), 1);
    EXPECT_EQ(store.qfiles.FieldByName("player_port").AsInteger(), 17100);
    EXPECT_TRUE(store.qfiles.FieldByName("attivo").AsBoolean());
    EXPECT_EQ(store.CurrentFilePlay(), m_media);
    // Its group names compare without regard to letter case, through the manager's own
    // statements.
    EXPECT_TRUE(store.FilterGroup("sala D'ATTESA"));
    EXPECT_EQ(store.SelectActivePlayers("VETRINA"), 0);
    EXPECT_EQ(Tool({"list", m_registry, "--group", "vetrina"}).out.find("\n2\t0\tVetrina\t"),
              std::string("id\tattivo\tgroup\tip\tport\tfile").size());
}

TEST_F(RegistryToolTest, createNeverOverwritesAndLeavesNothingWhenItFails) {
    std::ofstream(m_registry) << "precious";
    const Result refused = Tool({"create", m_registry});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err,
              "orvanta-registry: " + m_registry + " already exists; it is left as it is\n");
    std::ifstream kept(m_registry);
    std::string content;
    kept >> content;
    EXPECT_EQ(content, "precious");

    const std::string nowhere = (m_folder.Path() / "absent" / "data.mdb").string();
    EXPECT_EQ(Tool({"create", nowhere}).status, 1);
    EXPECT_FALSE(std::filesystem::exists(nowhere));
}

TEST_F(RegistryToolTest, badInputIsRefusedWithAReason) {
    ASSERT_EQ(Tool({"create", m_registry}).status, 0);
    const std::vector<std::string> good = {"--group", "Sala", "--ip",   "10.0.0.1",
                                           "--port",  "7001", "--file", m_media};
    auto add = [&](std::vector<std::string> options) {
        options.insert(options.begin(), {"add", m_registry});
        return Tool(options);
    };
    auto with = [&](const std::string& option, const std::string& value) {
        std::vector<std::string> options = good;
        for (std::size_t i = 0; i < options.size(); i += 2) {
            if (options[i] == option) {
                options[i + 1] = value;
            }
        }
        return options;
    };
    struct Case {
        std::vector<std::string> options;
        int status;
        std::string complaint;
    };
    const Case cases[] = {
        {with("--ip", "10.0.0.256"), 2, "'10.0.0.256' is not an IPv4 address"},
        {with("--ip", "player.local"), 2, "'player.local' is not an IPv4 address"},
        {with("--port", "70x0"), 2, "'70x0' is not a player's port"},
        // Only the ports the manager's port box holds, so the window stores them unchanged.
        {with("--port", "6999"), 2,
         "'6999' is not a player's port: the manager takes a whole number from 7000 to 33333"},
        {with("--port", "33334"), 2, "'33334' is not a player's port"},
        {with("--port", "80"), 2, "'80' is not a player's port"},
        {with("--file", m_media + ".missing"), 2, "no file to play at '" + m_media + ".missing'"},
        {{"--group", "Sala", "--ip", "10.0.0.1", "--port", "7001"}, 2, "add needs --file"},
        {Then(good, {"--colour", "red"}), 2, "unknown option '--colour'"},
        {Then(good, {"--group"}), 2, "--group needs a value"},
    };
    for (const Case& c : cases) {
        const Result result = add(c.options);
        EXPECT_EQ(result.status, c.status) << c.complaint;
        EXPECT_NE(result.err.find(c.complaint), std::string::npos) << result.err;
    }
    const Result noRegistry = Tool(Then({"add", m_registry + ".x"}, good));
    EXPECT_EQ(noRegistry.status, 1);
    EXPECT_EQ(noRegistry.err, "orvanta-registry: no registry file at " + m_registry + ".x\n");
    EXPECT_EQ(Tool({"list", m_registry}).out, "id\tattivo\tgroup\tip\tport\tfile\n");

    const Result unknown = Tool({"delete", m_registry});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err.rfind("orvanta-registry: unknown command 'delete'", 0), 0u);
    EXPECT_EQ(Tool({}).status, 2);
}

// A registry with two players, for the commands that edit one by its id.
class RegistryToolEditTest : public RegistryToolTest {
protected:
    RegistryToolEditTest() {
        std::ofstream(m_other) << "other bytes";
        EXPECT_EQ(Tool({"create", m_registry}).status, 0);
        EXPECT_EQ(Tool({"add", m_registry, "--group", "Sala", "--ip", "10.0.0.1", "--port", "7000",
                        "--file", m_media})
                      .status,
                  0);
        EXPECT_EQ(Tool({"add", m_registry, "--group", "Sala", "--ip", "10.0.0.2", "--port", "7002",
                        "--file", m_media})
                      .status,
                  0);
    }
    std::string List() { return Tool({"list", m_registry}).out; }
    std::string Row(const std::string& id, bool active, const std::string& group,
                    const std::string& address, int port, const std::string& file) {
        return id + "\t" + (active ? "1" : "0") + "\t" + group + "\t" + address + "\t" +
               std::to_string(port) + "\t" + file + "\n";
    }

    std::string m_other = (m_folder.Path() / "other.mp4").string();
    const std::string m_heading = "id\tattivo\tgroup\tip\tport\tfile\n";
};

TEST_F(RegistryToolEditTest, setRemoveActivateAndDeactivateChangeOnePlayerAsTheManagerReadsIt) {
    struct Step {
        std::vector<std::string> args;
        std::string out;
        std::string rows;  // list's rows after it
    };
    const std::string first = Row("1", true, "Sala", "10.0.0.1", 7000, m_media);
    const Step steps[] = {
        {{"set", m_registry, "--id", "1", "--group", "Vetrina", "--ip", "010.000.000.009", "--port",
          "07005", "--file", m_other},
         "changed player 1 of group 'Vetrina': 10.0.0.9:7005\n",
         Row("1", true, "Vetrina", "10.0.0.9", 7005, m_other) +
             Row("2", true, "Sala", "10.0.0.2", 7002, m_media)},
        // Only what is given changes.
        {{"set", m_registry, "--port", "7010", "--id", "2"},
         "changed player 2 of group 'Sala': 10.0.0.2:7010\n",
         Row("1", true, "Vetrina", "10.0.0.9", 7005, m_other) +
             Row("2", true, "Sala", "10.0.0.2", 7010, m_media)},
        {{"deactivate", m_registry, "--id", "2"},
         "deactivated player 2 of group 'Sala': 10.0.0.2:7010 (inactive)\n",
         Row("1", true, "Vetrina", "10.0.0.9", 7005, m_other) +
             Row("2", false, "Sala", "10.0.0.2", 7010, m_media)},
        {{"activate", m_registry, "--id", "2"},
         "activated player 2 of group 'Sala': 10.0.0.2:7010\n",
         Row("1", true, "Vetrina", "10.0.0.9", 7005, m_other) +
             Row("2", true, "Sala", "10.0.0.2", 7010, m_media)},
        {{"remove", m_registry, "--id", "1"},
         "removed player 1 of group 'Vetrina': 10.0.0.9:7005\n",
         Row("2", true, "Sala", "10.0.0.2", 7010, m_media)},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.args[0]);
        const Result result = Tool(step.args);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, step.out);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(List(), m_heading + step.rows);
    }

    // The manager's store sees a deactivated player leave its group's active players.
    const std::string folder = m_folder.WithSeparator();
    registry::RegistryStore store([&] { return folder; });
    store.LoadGroups();
    EXPECT_EQ(store.SelectActivePlayers("Sala"), 1);
    EXPECT_EQ(store.qfiles.FieldByName("player_port").AsInteger(), 7010);
    ASSERT_EQ(Tool({"deactivate", m_registry, "--id", "2"}).status, 0);
    store.LoadGroups();
    EXPECT_EQ(store.SelectActivePlayers("Sala"), 0);
}

TEST_F(RegistryToolEditTest, editsCheckTheirValuesAsAddDoesAndNameAnUnknownId) {
    const std::string before = List();
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string complaint;
    };
    const std::string missing = m_media + ".missing";
    const Case cases[] = {
        {{"set", m_registry, "--id", "1", "--ip", "10.0.0.256"},
         2,
         "'10.0.0.256' is not an IPv4 address"},
        {{"set", m_registry, "--id", "1", "--ip", "player.local"},
         2,
         "'player.local' is not an IPv4 address"},
        {{"set", m_registry, "--id", "1", "--port", "6999"},
         2,
         "'6999' is not a player's port: the manager takes a whole number from 7000 to 33333"},
        {{"set", m_registry, "--id", "1", "--port", "65536"}, 2, "'65536' is not a player's port"},
        {{"set", m_registry, "--id", "1", "--port", "70x0"}, 2, "'70x0' is not a player's port"},
        {{"set", m_registry, "--id", "1", "--file", missing},
         2,
         "no file to play at '" + missing + "'"},
        {{"set", m_registry, "--id", "1", "--file", m_folder.Path().string()},
         2,
         "no file to play at"},
        // A bad value anywhere changes nothing, not even the good ones given with it.
        {{"set", m_registry, "--id", "1", "--group", "Nuovo", "--port", "1"},
         2,
         "'1' is not a player's port"},
        {{"set", m_registry, "--id", "1"},
         2,
         "set needs at least one of --group, --ip, --port, --file"},
        {{"set", m_registry, "--group", "Nuovo"}, 2, "set needs --id"},
        {{"set", m_registry, "--id", "0", "--group", "Nuovo"},
         2,
         "'0' is not a player's id: a whole number from 1, as list shows it"},
        {{"set", m_registry, "--id", "-1", "--group", "Nuovo"}, 2, "'-1' is not a player's id"},
        {{"set", m_registry, "--id", "1x", "--group", "Nuovo"}, 2, "'1x' is not a player's id"},
        {{"set", m_registry, "--id", "123456789012345678901", "--group", "Nuovo"},
         2,
         "'123456789012345678901' is not a player's id"},
        {{"set", m_registry, "--id", "7", "--group", "Nuovo"},
         2,
         "orvanta-registry: no player with id 7 in " + m_registry + " (list shows the ids)\n"},
        {{"remove", m_registry, "--id", "7"}, 2, "no player with id 7 in " + m_registry},
        {{"activate", m_registry, "--id", "7"}, 2, "no player with id 7 in " + m_registry},
        {{"deactivate", m_registry, "--id", "7"}, 2, "no player with id 7 in " + m_registry},
        {{"remove", m_registry}, 2, "remove needs --id"},
        {{"activate", m_registry, "--id"}, 2, "--id needs a value"},
        {{"deactivate", m_registry, "--id", "1", "--group", "Sala"}, 2, "unknown option '--group'"},
        {{"remove", "--id", "1"}, 2, "remove needs the registry's path"},
        {{"remove", m_registry + ".x", "--id", "1"},
         1,
         "orvanta-registry: no registry file at " + m_registry + ".x\n"},
        {{"set", m_registry + ".x", "--id", "1", "--group", "Nuovo"},
         1,
         "no registry file at " + m_registry + ".x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const Result result = Tool(c.args);
        EXPECT_EQ(result.status, c.status);
        EXPECT_NE(result.err.find(c.complaint), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "one line: " << result.err;
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(List(), before);
}

TEST_F(RegistryToolEditTest, aRegistryHeldByAnotherProgramFailsTheEditAndKeepsIt) {
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(m_registry.c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    const Result result = Tool({"remove", m_registry, "--id", "1"});
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "orvanta-registry: " + m_registry + ": database is locked\n");
    EXPECT_EQ(List(), m_heading + Row("1", true, "Sala", "10.0.0.1", 7000, m_media) +
                          Row("2", true, "Sala", "10.0.0.2", 7002, m_media));
}

TEST(RegistryToolParsingTest, addressesAndPorts) {
    const std::pair<std::string, std::string> addresses[] = {
        {"127.0.0.1", "127.0.0.1"},
        {"0.0.0.0", "0.0.0.0"},
        {"255.255.255.255", "255.255.255.255"},
        {"010.001.000.009", "10.1.0.9"},
        {"1.2.3", ""},
        {"1.2.3.4.5", ""},
        {"1..3.4", ""},
        {"1.2.3.", ""},
        {" 1.2.3.4", ""},
        {"1.2.3.0004", ""},
        {"-1.2.3.4", ""},
        {"", ""},
    };
    for (const auto& [text, normal] : addresses) {
        EXPECT_EQ(ParseAddress(text).value_or(""), normal) << text;
    }
    const std::pair<std::string, int> ports[] = {
        {"7000", 7000}, {"33333", 33333}, {"07001", 7001}, {"1", 0},  {"6999", 0},
        {"33334", 0},   {"65534", 0},     {"0", 0},        {"-5", 0}, {"+7005", 0},
        {"7 000", 0},   {"", 0},          {"999999", 0},
    };
    for (const auto& [text, port] : ports) {
        EXPECT_EQ(ParsePort(text).value_or(0), port) << text;
    }
}

TEST(RegistryToolProgramTest, exitStatusReachesTheShell) {
    test::TempFolder folder;
    const std::string registry = (folder.Path() / "data.mdb").string();
    auto status = [](const std::string& command) {
#ifdef _WIN32
        // cmd.exe takes a line in quotes of its own whole, and gives the status as it is.
        return std::system(("\"" + command + " >NUL 2>&1\"").c_str());
#else
        const int raw = std::system((command + " >/dev/null 2>&1").c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    };
    const std::string tool =
        "\"" + std::filesystem::path(ORVANTA_REGISTRY_TOOL).make_preferred().string() + "\"";
    EXPECT_EQ(status(tool + " create \"" + registry + "\""), 0);
    EXPECT_EQ(status(tool + " create \"" + registry + "\""), 1);
    EXPECT_EQ(status(tool + " add \"" + registry + "\" --group G --ip 1.2.3.4 --port x --file f"),
              2);
    EXPECT_EQ(status(tool + " frobnicate"), 2);
    EXPECT_EQ(status(tool + " remove \"" + registry + "\" --id 1"), 2) << "no such player";
    EXPECT_EQ(status(tool + " set \"" + registry + "\" --id 1 --port 1"), 2);
    EXPECT_EQ(status(tool + " deactivate \"" + registry + ".x\" --id 1"), 1);
}

}  // namespace
}  // namespace orvanta::tools

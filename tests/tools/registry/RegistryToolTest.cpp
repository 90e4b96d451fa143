#include <gtest/gtest.h>
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

    const Result unknown = Tool({"remove", m_registry});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err.rfind("orvanta-registry: unknown command 'remove'", 0), 0u);
    EXPECT_EQ(Tool({}).status, 2);
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
}

}  // namespace
}  // namespace orvanta::tools

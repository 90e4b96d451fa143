#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/ProgramRun.h"

namespace orvanta::test {
namespace {

std::vector<std::string> Programs() {
    std::vector<std::string> programs;
    std::istringstream list(ORVANTA_PROGRAMS);
    for (std::string path; std::getline(list, path, ',');) {
        programs.push_back(path);
    }
    return programs;
}

// The program's name as it calls itself (without Windows' ".exe").
std::string NameOf(const std::string& path) {
    return std::filesystem::path(path).stem().string();
}

// Whether the text is exactly one ended line.
bool IsOneLine(const std::string& text) {
    return !text.empty() && text.find('\n') == text.size() - 1;
}

TEST(ProgramOptionsTest, everyProgramAnswersHelpAndVersion) {
    const std::vector<std::string> programs = Programs();
    ASSERT_GE(programs.size(), 2u);
    for (const std::string& program : programs) {
        const std::string name = NameOf(program);
        SCOPED_TRACE(name);

        const ProgramResult help = RunProgram(program, {"--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out.rfind("usage: " + name, 0), 0u) << help.out;
        EXPECT_NE(help.out.find("--version"), std::string::npos) << help.out;
        EXPECT_EQ(help.err, "");

        const ProgramResult version = RunProgram(program, {"--version"});
        EXPECT_EQ(version.status, 0);
        EXPECT_EQ(version.out,
                  name + " (KELT Orvanta Manager) " + std::string(ORVANTA_PROJECT_VERSION) + "\n");
        EXPECT_EQ(version.err, "");
    }
}

TEST(ProgramOptionsTest, helpOrVersionWhereverAnOptionMayStandComesBeforeTheWork) {
    struct Case {
        std::string program;
        std::vector<std::string> args;
        std::string answerStart;
    };
    const std::string registry = ORVANTA_REGISTRY_TOOL;
    std::vector<Case> cases = {
        {registry, {"add", "/nonexistent/data.mdb", "--help"}, "usage: orvanta-registry"},
        {registry, {"create", "--version"}, "orvanta-registry (KELT Orvanta Manager) "},
        {registry, {"help"}, "usage: orvanta-registry"},
    };
#ifdef ORVANTA_PLAYER_SIM
    const std::string sim = ORVANTA_PLAYER_SIM;
    cases.insert(cases.end(), {
                                  // Would otherwise listen until stopped.
                                  {sim, {"--port", "1", "--help"}, "usage: orvanta-player-sim"},
                                  {sim, {"-h"}, "usage: orvanta-player-sim"},
                              });
#endif
    for (const Case& c : cases) {
        const ProgramResult result = RunProgram(c.program, c.args);
        SCOPED_TRACE(c.answerStart + " for " + c.args.back());
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out.rfind(c.answerStart, 0), 0u) << result.out;
        EXPECT_EQ(result.err, "");
    }
}

TEST(ProgramOptionsTest, wrongArgumentExitsTwoWithOneLineSayingWhatIsWrong) {
    struct Case {
        std::string program;
        std::vector<std::string> args;
        std::string complaint;
    };
    const std::string registry = ORVANTA_REGISTRY_TOOL;
    std::vector<Case> cases = {
        {registry, {}, "no command given"},
        {registry, {"frobnicate"}, "unknown command 'frobnicate'"},
        {registry, {"--frob"}, "unknown option '--frob'"},
        {registry, {"create"}, "create needs the registry's path"},
        {registry, {"create", "a.mdb", "b.mdb"}, "unexpected argument 'b.mdb'"},
        {registry, {"list", "a.mdb", "--group"}, "--group needs a value"},
        {registry, {"list", "a.mdb", "--ip", "1.2.3.4"}, "unknown option '--ip'"},
        {registry, {"add", "a.mdb", "--group", "A", "--group", "B"}, "--group given twice"},
        {registry, {"add", "a.mdb", "--group", "A"}, "add needs --ip"},
    };
#ifdef ORVANTA_PLAYER_SIM
    const std::string sim = ORVANTA_PLAYER_SIM;
    cases.insert(cases.end(),
                 {
                     {sim, {}, "--port is needed"},
                     {sim, {"--port"}, "--port needs a value"},
                     {sim, {"--port", "0"}, "port must be a number from 1 to 65535: '0'"},
                     {sim, {"--port", "65536"}, "port must be a number from 1 to 65535: '65536'"},
                     {sim, {"--port", "+7000"}, "port must be a number from 1 to 65535: '+7000'"},
                     {sim, {"--port", "7000", "extra"}, "unexpected argument 'extra'"},
                     {sim, {"--verbose"}, "unknown option '--verbose'"},
                 });
#endif
    for (const Case& c : cases) {
        const std::string name = NameOf(c.program);
        const ProgramResult result = RunProgram(c.program, c.args);
        SCOPED_TRACE(name + ": " + c.complaint);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_TRUE(IsOneLine(result.err)) << result.err;
        EXPECT_EQ(result.err.rfind(name + ": " + c.complaint, 0), 0u) << result.err;
    }
}

}  // namespace
}  // namespace orvanta::test

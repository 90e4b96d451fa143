#include "core/CommandLine.h"

#include <gtest/gtest.h>

#include <sstream>

namespace orvanta {
namespace {

const ProgramUsage kProgram{"prog", "usage: prog [--name N] [--quiet] ARG...\n"};
const KnownOptions kKnown{{"--name"}, {"--quiet"}};

TEST(CommandLineTest, splitsOptionsFromArgumentsAsWritten) {
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> positional;
        std::string name;
        bool quiet;
    };
    const Case cases[] = {
        {{"a", "--name", "x", "b"}, {"a", "b"}, "x", false},
        {{"--quiet", "a"}, {"a"}, "", true},
        // A value is taken as given, even when it looks like an option.
        {{"--name", "--help"}, {}, "--help", false},
        // "--" ends the options; a lone "-" is an argument.
        {{"--", "--quiet", "--help"}, {"--quiet", "--help"}, "", false},
        {{"-", "--quiet"}, {"-"}, "", true},
        {{}, {}, "", false},
    };
    for (const Case& c : cases) {
        std::ostringstream out, err;
        CommandLine line;
        EXPECT_EQ(ParseCommandLine(kProgram, c.args, kKnown, line, out, err), std::nullopt);
        EXPECT_EQ(line.positional, c.positional);
        EXPECT_EQ(line.Value("--name"), c.name);
        EXPECT_EQ(line.Has("--quiet"), c.quiet);
        EXPECT_EQ(out.str() + err.str(), "");
    }
}

TEST(CommandLineTest, toolkitOptionsPassWhileHelpAndVersionAreAnswered) {
    std::ostringstream out;
    EXPECT_EQ(AnswerHelpOrVersion(kProgram, {"-platform", "offscreen"}, out), std::nullopt);
    EXPECT_EQ(AnswerHelpOrVersion(kProgram, {}, out), std::nullopt);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(AnswerHelpOrVersion(kProgram, {"-platform", "offscreen", "--help"}, out), 0);
    EXPECT_EQ(out.str(), kProgram.usage);
}

}  // namespace
}  // namespace orvanta

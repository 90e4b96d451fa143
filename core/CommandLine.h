#pragma once

#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace orvanta {

// Exit status of a program given a wrong argument.
inline constexpr int kUsageError = 2;

// The version this build was made from.
const char* ProgramVersion();

// What a command-line program says about itself.
struct ProgramUsage {
    std::string name;   // the program's file name, as typed
    std::string usage;  // what --help prints, ending with a newline
};

// The options a program, or one of its commands, takes.
struct KnownOptions {
    std::set<std::string> valued;  // "--name VALUE"
    std::set<std::string> flags;   // "--name"
};

// A command line split by the options a program knows.
struct CommandLine {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    std::set<std::string> flags;

    bool Has(const std::string& option) const {
        return values.count(option) > 0 || flags.count(option) > 0;
    }
    std::string Value(const std::string& option, const std::string& otherwise = {}) const {
        const auto found = values.find(option);
        return found == values.end() ? otherwise : found->second;
    }
};

// Splits args (without the program's name) by the known options, left to right. "--help" (or
// "-h") and "--version" wherever an option may stand are answered on out; an unknown option, an
// option without its value or one given twice gets one line on err. "--" ends the options. Returns
// the exit status when the program ends here (0 after an answer, kUsageError after a wrong
// argument); nothing when `line` is ready.
std::optional<int> ParseCommandLine(const ProgramUsage& program,
                                    const std::vector<std::string>& args, const KnownOptions& known,
                                    CommandLine& line, std::ostream& out, std::ostream& err);

// For a program that takes no arguments of its own but must let others through (the toolkit's
// options): answers "--help" or "--version" anywhere in args on out and returns 0; nothing
// otherwise.
std::optional<int> AnswerHelpOrVersion(const ProgramUsage& program,
                                       const std::vector<std::string>& args, std::ostream& out);

// Writes the one line for a wrong argument, "NAME: WHAT (see NAME --help)", and returns
// kUsageError.
int WrongArgument(const ProgramUsage& program, const std::string& what, std::ostream& err);

}  // namespace orvanta

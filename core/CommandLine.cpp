#include "core/CommandLine.h"

#include "core/Dispatch.h"

namespace orvanta {

namespace {

bool IsHelp(const std::string& arg) {
    return arg == "--help" || arg == "-h";
}

void WriteVersion(const ProgramUsage& program, std::ostream& out) {
    out << program.name << " (" << kApplicationTitle << ") " << ProgramVersion() << "\n";
}

}  // namespace

const char* ProgramVersion() {
    return ORVANTA_VERSION;
}

std::optional<int> ParseCommandLine(const ProgramUsage& program,
                                    const std::vector<std::string>& args, const KnownOptions& known,
                                    CommandLine& line, std::ostream& out, std::ostream& err) {
    line = {};
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // A lone "-" is an argument (standard input, by custom), not an option.
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            line.positional.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (IsHelp(arg)) {
            out << program.usage;
            return 0;
        } else if (arg == "--version") {
            WriteVersion(program, out);
            return 0;
        } else if (known.flags.count(arg)) {
            line.flags.insert(arg);
        } else if (known.valued.count(arg)) {
            if (i + 1 >= args.size()) {
                return WrongArgument(program, arg + " needs a value", err);
            }
            if (line.values.count(arg)) {
                return WrongArgument(program, arg + " given twice", err);
            }
            line.values[arg] = args[++i];
        } else {
            return WrongArgument(program, "unknown option '" + arg + "'", err);
        }
    }
    return std::nullopt;
}

std::optional<int> AnswerHelpOrVersion(const ProgramUsage& program,
                                       const std::vector<std::string>& args, std::ostream& out) {
    for (const std::string& arg : args) {
        if (arg == "--help") {
            out << program.usage;
            return 0;
        }
        if (arg == "--version") {
            WriteVersion(program, out);
            return 0;
        }
    }
    return std::nullopt;
}

int WrongArgument(const ProgramUsage& program, const std::string& what, std::ostream& err) {
    err << program.name << ": " << what << " (see " << program.name << " --help)\n";
    return kUsageError;
}

}  // namespace orvanta

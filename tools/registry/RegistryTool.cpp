#include "tools/registry/RegistryTool.h"

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>

#include "core/CommandLine.h"
#include "core/Text.h"
#include "registry/Schema.h"

namespace orvanta::tools {

namespace {

const ProgramUsage kProgram{
    "orvanta-registry",
    "usage: orvanta-registry create PATH\n"
    "       orvanta-registry add PATH --group G --ip A --port N --file F [--inactive]\n"
    "       orvanta-registry list PATH [--group G]\n"
    "       orvanta-registry set PATH --id N [--group G] [--ip A] [--port N] [--file F]\n"
    "       orvanta-registry remove|activate|deactivate PATH --id N\n"
    "       orvanta-registry --help | --version\n"
    "Makes and fills the player registry the manager reads (data.mdb beside its executable).\n"
    "  create      makes an empty registry at PATH; an existing file is never touched\n"
    "  add         adds a player: viewing group G, IPv4 address A, control port N from 7000\n"
    "              to 33333 (its FTP server listens on N + 1), file F to play (stored as an\n"
    "              absolute path); --inactive adds it switched off\n"
    "  list        prints the players, all or those of group G, each with its id\n"
    "  set         changes what is given of the player with id N, checked as add checks it\n"
    "  remove      removes the player with id N\n"
    "  activate    switches the player with id N on, deactivate switches it off: the group\n"
    "  deactivate  commands reach only active players\n"
    "Exit status: 0 done, 1 the registry could not be made, read or changed, 2 wrong arguments\n"
    "or no player with the id given.\n"};

constexpr int kDone = 0;
constexpr int kFailed = 1;

bool AllDigits(const std::string& text) {
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

// Splits a command's arguments after its name; exactly one of them is the registry's path.
std::optional<int> ParseCommand(const std::vector<std::string>& args, const KnownOptions& known,
                                CommandLine& line, std::ostream& out, std::ostream& err) {
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (const auto status = ParseCommandLine(kProgram, rest, known, line, out, err)) {
        return status;
    }
    if (line.positional.empty()) {
        return WrongArgument(kProgram, args[0] + " needs the registry's path", err);
    }
    if (line.positional.size() > 1) {
        return WrongArgument(kProgram, "unexpected argument '" + line.positional[1] + "'", err);
    }
    return std::nullopt;
}

// An open registry file, closed on scope exit.
class Registry {
public:
    ~Registry() { sqlite3_close(m_db); }
    // Opens an existing file; never creates one.
    bool Open(const std::string& path, std::ostream& err) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec)) {
            err << "orvanta-registry: no registry file at " << path << "\n";
            return false;
        }
        if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            return Fail(path, err);
        }
        // As long as the manager waits for another station's lock on the registry.
        sqlite3_busy_timeout(m_db, 5000);
        return true;
    }
    bool Create(const std::string& path, std::ostream& err) {
        if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK) {
            return Fail(path, err);
        }
        return true;
    }
    bool Fail(const std::string& path, std::ostream& err) {
        err << "orvanta-registry: " << path << ": "
            << (m_db ? sqlite3_errmsg(m_db) : "out of memory") << "\n";
        return false;
    }
    sqlite3* Handle() const { return m_db; }

private:
    sqlite3* m_db = nullptr;
};

// A prepared statement, finalized on scope exit.
struct Statement {
    sqlite3_stmt* stmt = nullptr;
    ~Statement() { sqlite3_finalize(stmt); }
};

int Create(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CommandLine line;
    if (const auto status = ParseCommand(args, {}, line, out, err)) {
        return *status;
    }
    const std::string& path = line.positional[0];
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
        err << "orvanta-registry: " << path << " already exists; it is left as it is\n";
        return kFailed;
    }
    bool made = false;
    {
        Registry registry;
        if (registry.Create(path, err)) {
            char* error = nullptr;
            if (sqlite3_exec(registry.Handle(), registry::kManagerTableSchema, nullptr, nullptr,
                             &error) == SQLITE_OK) {
                made = true;
            } else {
                err << "orvanta-registry: " << path << ": " << (error ? error : "?") << "\n";
            }
            sqlite3_free(error);
        }
    }
    if (!made) {
        std::filesystem::remove(path, ec);
        return kFailed;
    }
    out << "created registry " << path << "\n";
    return kDone;
}

// The address an option gives, checked; nothing, with the complaint on err, when it is none.
std::optional<std::string> CheckedAddress(const std::string& text, std::ostream& err) {
    const std::optional<std::string> address = ParseAddress(text);
    if (!address) {
        err << "orvanta-registry: '" << text
            << "' is not an IPv4 address (four numbers 0 to 255 joined by dots)\n";
    }
    return address;
}

// The control port an option gives, checked; nothing, with the complaint on err, when wrong.
std::optional<int> CheckedPort(const std::string& text, std::ostream& err) {
    const std::optional<int> port = ParsePort(text);
    if (!port) {
        err << "orvanta-registry: '" << text
            << "' is not a player's port: the manager takes a whole number from 7000 to 33333\n";
    }
    return port;
}

// The file an option names, as an absolute path; nothing, with the complaint on err, when it is
// no plain file. The manager uploads the file from this machine, from wherever it is started.
std::optional<std::string> CheckedFile(const std::string& file, std::ostream& err) {
    std::error_code ec;
    if (file.empty() || !std::filesystem::is_regular_file(file, ec)) {
        err << "orvanta-registry: no file to play at '" << file << "'\n";
        return std::nullopt;
    }
    return std::filesystem::absolute(file, ec).lexically_normal().string();
}

int Add(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CommandLine options;
    if (const auto status = ParseCommand(
            args, {{"--group", "--ip", "--port", "--file"}, {"--inactive"}}, options, out, err)) {
        return *status;
    }
    for (const char* required : {"--group", "--ip", "--port", "--file"}) {
        if (!options.Has(required)) {
            return WrongArgument(kProgram, std::string("add needs ") + required, err);
        }
    }
    const std::string& path = options.positional[0];
    const std::optional<std::string> address = CheckedAddress(options.values["--ip"], err);
    if (!address) {
        return kUsageError;
    }
    const std::optional<int> port = CheckedPort(options.values["--port"], err);
    if (!port) {
        return kUsageError;
    }
    const std::optional<std::string> file = CheckedFile(options.values["--file"], err);
    if (!file) {
        return kUsageError;
    }
    const std::string& absolute = *file;

    Registry registry;
    if (!registry.Open(path, err)) {
        return kFailed;
    }
    Statement insert;
    if (sqlite3_prepare_v2(registry.Handle(),
                           "INSERT INTO manager (attivo, manager_list_name, player_ip, "
                           "player_port, player_file_play) VALUES (?, ?, ?, ?, ?)",
                           -1, &insert.stmt, nullptr) != SQLITE_OK) {
        registry.Fail(path, err);
        return kFailed;
    }
    const std::string& group = options.values["--group"];
    sqlite3_bind_int(insert.stmt, 1, options.flags.count("--inactive") ? 0 : 1);
    sqlite3_bind_text(insert.stmt, 2, group.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert.stmt, 3, address->c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(insert.stmt, 4, *port);
    sqlite3_bind_text(insert.stmt, 5, absolute.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(insert.stmt) != SQLITE_DONE) {
        registry.Fail(path, err);
        return kFailed;
    }
    out << "added player " << sqlite3_last_insert_rowid(registry.Handle()) << " to group '" << group
        << "': " << *address << ":" << *port
        << (options.flags.count("--inactive") ? " (inactive)" : "") << "\n";
    return kDone;
}

int List(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CommandLine options;
    if (const auto status = ParseCommand(args, {{"--group"}, {}}, options, out, err)) {
        return *status;
    }
    const std::string& path = options.positional[0];
    Registry registry;
    if (!registry.Open(path, err)) {
        return kFailed;
    }
    const bool filtered = options.values.count("--group") > 0;
    const std::string sql = std::string(
                                "SELECT id, attivo, manager_list_name, player_ip, player_port, "
                                "player_file_play FROM manager") +
                            (filtered ? " WHERE manager_list_name = ?" : "") + " ORDER BY id";
    Statement select;
    if (sqlite3_prepare_v2(registry.Handle(), sql.c_str(), -1, &select.stmt, nullptr) !=
        SQLITE_OK) {
        registry.Fail(path, err);
        return kFailed;
    }
    if (filtered) {
        sqlite3_bind_text(select.stmt, 1, options.values["--group"].c_str(), -1, SQLITE_TRANSIENT);
    }
    out << "id\tattivo\tgroup\tip\tport\tfile\n";
    int rc;
    while ((rc = sqlite3_step(select.stmt)) == SQLITE_ROW) {
        for (int i = 0; i < 6; ++i) {
            const auto* text = sqlite3_column_text(select.stmt, i);
            out << (i ? "\t" : "") << (text ? reinterpret_cast<const char*>(text) : "");
        }
        out << "\n";
    }
    if (rc != SQLITE_DONE) {
        registry.Fail(path, err);
        return kFailed;
    }
    return kDone;
}

// The id an option gives: a whole number from 1, as list shows it; nothing, with the complaint
// on err, for anything else.
std::optional<std::int64_t> CheckedId(const std::string& text, std::ostream& err) {
    if (!AllDigits(text) || text.size() > 18 || std::stoll(text) < 1) {
        err << "orvanta-registry: '" << text
            << "' is not a player's id: a whole number from 1, as list shows it\n";
        return std::nullopt;
    }
    return std::stoll(text);
}

// The player a changing statement returned (id, attivo, group, address, port), as the
// commands' last line shows it: "player 3 of group 'Sala': 10.0.0.1:7000".
std::string PlayerDescription(sqlite3_stmt* row) {
    const auto text = [row](int column) {
        const auto* value = sqlite3_column_text(row, column);
        return TerminalSafe(value ? reinterpret_cast<const char*>(value) : "");
    };
    return "player " + text(0) + " of group '" + text(2) + "': " + text(3) + ":" + text(4) +
           (sqlite3_column_int(row, 1) ? "" : " (inactive)");
}

// Runs a statement that changes the player with the id and returns its row (RETURNING id, attivo,
// manager_list_name, player_ip, player_port), binding the values before the id. Prints what
// the command did on out; says so on err when no player has the id.
int ChangePlayer(const std::string& path, const std::string& sql,
                 const std::vector<std::string>& values, std::int64_t id, const std::string& done,
                 std::ostream& out, std::ostream& err) {
    Registry registry;
    if (!registry.Open(path, err)) {
        return kFailed;
    }
    Statement change;
    if (sqlite3_prepare_v2(registry.Handle(), sql.c_str(), -1, &change.stmt, nullptr) !=
        SQLITE_OK) {
        registry.Fail(path, err);
        return kFailed;
    }
    int index = 1;
    for (const std::string& value : values) {
        sqlite3_bind_text(change.stmt, index++, value.c_str(), static_cast<int>(value.size()),
                          SQLITE_TRANSIENT);
    }
    sqlite3_bind_int64(change.stmt, index, id);
    int rc = sqlite3_step(change.stmt);
    if (rc == SQLITE_DONE) {
        err << "orvanta-registry: no player with id " << id << " in " << path
            << " (list shows the ids)\n";
        return kUsageError;
    }
    if (rc != SQLITE_ROW) {
        registry.Fail(path, err);
        return kFailed;
    }
    const std::string player = PlayerDescription(change.stmt);
    // The change is whole only once the statement has run to its end.
    while ((rc = sqlite3_step(change.stmt)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) {
        registry.Fail(path, err);
        return kFailed;
    }
    out << done << " " << player << "\n";
    return kDone;
}

constexpr const char* kReturningPlayer =
    " WHERE id = ? RETURNING id, attivo, manager_list_name, player_ip, player_port";

// set PATH --id N [--group G] [--ip A] [--port N] [--file F]: what is given changes, each value
// checked as add checks it.
int Set(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CommandLine options;
    if (const auto status = ParseCommand(
            args, {{"--id", "--group", "--ip", "--port", "--file"}, {}}, options, out, err)) {
        return *status;
    }
    if (!options.Has("--id")) {
        return WrongArgument(kProgram, "set needs --id", err);
    }
    const std::optional<std::int64_t> id = CheckedId(options.values["--id"], err);
    if (!id) {
        return kUsageError;
    }
    std::vector<std::string> columns;
    std::vector<std::string> values;
    if (options.Has("--group")) {
        columns.push_back("manager_list_name");
        values.push_back(options.values["--group"]);
    }
    if (options.Has("--ip")) {
        const std::optional<std::string> address = CheckedAddress(options.values["--ip"], err);
        if (!address) {
            return kUsageError;
        }
        columns.push_back("player_ip");
        values.push_back(*address);
    }
    if (options.Has("--port")) {
        const std::optional<int> port = CheckedPort(options.values["--port"], err);
        if (!port) {
            return kUsageError;
        }
        // Bound as text, stored as the number: the column's affinity is INTEGER.
        columns.push_back("player_port");
        values.push_back(std::to_string(*port));
    }
    if (options.Has("--file")) {
        const std::optional<std::string> file = CheckedFile(options.values["--file"], err);
        if (!file) {
            return kUsageError;
        }
        columns.push_back("player_file_play");
        values.push_back(*file);
    }
    if (columns.empty()) {
        return WrongArgument(kProgram, "set needs at least one of --group, --ip, --port, --file",
                             err);
    }
    std::string sql = "UPDATE manager SET ";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        sql += (i ? ", " : "") + columns[i] + " = ?";
    }
    return ChangePlayer(options.positional[0], sql + kReturningPlayer, values, *id, "changed", out,
                        err);
}

// remove, activate, deactivate PATH --id N.
int ChangeById(const std::vector<std::string>& args, const std::string& sql,
               const std::string& done, std::ostream& out, std::ostream& err) {
    CommandLine options;
    if (const auto status = ParseCommand(args, {{"--id"}, {}}, options, out, err)) {
        return *status;
    }
    if (!options.Has("--id")) {
        return WrongArgument(kProgram, args[0] + " needs --id", err);
    }
    const std::optional<std::int64_t> id = CheckedId(options.values["--id"], err);
    if (!id) {
        return kUsageError;
    }
    return ChangePlayer(options.positional[0], sql + kReturningPlayer, {}, *id, done, out, err);
}

}  // namespace

std::optional<std::string> ParseAddress(const std::string& text) {
    std::string normal;
    std::size_t start = 0;
    for (int part = 0; part < 4; ++part) {
        const std::size_t dot = text.find('.', start);
        const bool last = part == 3;
        if (last != (dot == std::string::npos)) {
            return std::nullopt;
        }
        const std::string number = text.substr(start, last ? std::string::npos : dot - start);
        if (!AllDigits(number) || number.size() > 3 || std::stoi(number) > 255) {
            return std::nullopt;
        }
        normal += (part ? "." : "") + std::to_string(std::stoi(number));
        start = dot + 1;
    }
    return normal;
}

std::optional<int> ParsePort(const std::string& text) {
    if (!AllDigits(text) || text.size() > 5) {
        return std::nullopt;
    }
    // The manager's port box holds no other port, and would not store one unchanged.
    const int port = std::stoi(text);
    if (port < kLowestPort || port > kHighestPort) {
        return std::nullopt;
    }
    return port;
}

int RunRegistryTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        return WrongArgument(kProgram, "no command given", err);
    }
    const std::string& command = args[0];
    if (command == "create") {
        return Create(args, out, err);
    }
    if (command == "add") {
        return Add(args, out, err);
    }
    if (command == "list") {
        return List(args, out, err);
    }
    if (command == "set") {
        return Set(args, out, err);
    }
    if (command == "remove") {
        return ChangeById(args, "DELETE FROM manager", "removed", out, err);
    }
    if (command == "activate") {
        return ChangeById(args, "UPDATE manager SET attivo = 1", "activated", out, err);
    }
    if (command == "deactivate") {
        return ChangeById(args, "UPDATE manager SET attivo = 0", "deactivated", out, err);
    }
    if (command == "help") {
        out << kProgram.usage;
        return kDone;
    }
    if (command.size() > 1 && command[0] == '-') {
        // --help, --version, or a wrong option before any command.
        CommandLine line;
        if (const auto status = ParseCommandLine(kProgram, args, {}, line, out, err)) {
            return *status;
        }
    }
    return WrongArgument(kProgram, "unknown command '" + command + "'", err);
}

}  // namespace orvanta::tools

#pragma once

#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/Value.h"

namespace orvanta::test {

inline constexpr const char* kManagerSchema =
    "CREATE TABLE manager (id INTEGER PRIMARY KEY AUTOINCREMENT, attivo BOOLEAN, "
    "manager_list_name VARCHAR(255), player_ip VARCHAR(255), player_port INTEGER, "
    "player_file_play VARCHAR(255))";

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        static std::atomic<int> counter{0};
        m_path = std::filesystem::temp_directory_path() /
                 ("orvanta-db-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    // The folder as the registry's location rule gives it: with a trailing separator.
    std::string WithSeparator() const { return m_path.string() + "/"; }

private:
    std::filesystem::path m_path;
};

// Runs statements on a database file through SQLite's own interface: to make test files, and
// to play the other program that changes rows behind the layer's back.
inline void ExecSql(const std::filesystem::path& file, const std::string& sql) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + file.string());
    }
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    const std::string message = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    if (rc != SQLITE_OK) {
        throw std::runtime_error(message);
    }
}

// One column of every row, as text ("NULL" for null), in rowid order.
inline std::vector<std::string> ColumnTexts(const std::filesystem::path& file,
                                            const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    std::vector<std::string> out;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            const auto* text = sqlite3_column_text(stmt, 0);
            out.push_back(text ? reinterpret_cast<const char*>(text) : "NULL");
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return out;
}

// Every statement a connection sent, with its values.
struct TracedStatement {
    std::string sql;
    std::vector<db::Value> values;
    bool operator==(const TracedStatement&) const = default;
};

inline void PrintTo(const TracedStatement& statement, std::ostream* out) {
    *out << '"' << statement.sql << "\" [";
    for (const db::Value& value : statement.values) {
        if (const auto* number = std::get_if<std::int64_t>(&value)) {
            *out << *number << ' ';
        } else if (const auto* text = std::get_if<std::string>(&value)) {
            *out << '\'' << *text << "' ";
        } else {
            *out << "NULL ";
        }
    }
    *out << ']';
}

}  // namespace orvanta::test

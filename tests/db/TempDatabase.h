#pragma once

// Test files are made and read through SQLite's own interface. The ODBC driver's test under
// wine (ORVANTA_TEST_FILES_THROUGH_ODBC) goes through the driver manager instead, so that its
// files see only the host's SQLite, whose locks wine's would not see.

#ifdef _WIN32
#include <windows.h>
// (after windows.h, which it needs)
#include <process.h>
#else
#include <unistd.h>
#endif
#ifdef ORVANTA_TEST_FILES_THROUGH_ODBC
#include <sql.h>
#include <sqlext.h>
#else
#include <sqlite3.h>
#endif

#include <atomic>
#include <filesystem>
#include <optional>
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

inline int ProcessId() {
#ifdef _WIN32
    return ::_getpid();
#else
    return ::getpid();
#endif
}

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        static std::atomic<int> counter{0};
        m_path = std::filesystem::temp_directory_path() /
                 ("orvanta-db-" + std::to_string(ProcessId()) + "-" + std::to_string(counter++));
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
    // The folder as the registry's location rule gives it: with the system's trailing separator.
    std::string WithSeparator() const {
        return m_path.string() + static_cast<char>(std::filesystem::path::preferred_separator);
    }

private:
    std::filesystem::path m_path;
};

#ifdef ORVANTA_TEST_FILES_THROUGH_ODBC
// Without SQLite the test files are made and read through the driver manager (odbc32.dll)
// with the SQLite ODBC driver, which is the host's under wine.

// The file's name as the driver sees it: under wine the driver is a host program, which knows
// the host's name of the file, not wine's drive letters.
inline std::string DriverPath(const std::filesystem::path& file) {
    using ToHost = char*(CDECL*)(const wchar_t*);
    const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    const FARPROC entry = kernel ? ::GetProcAddress(kernel, "wine_get_unix_file_name") : nullptr;
    if (!entry) {
        return file.string();
    }
    char* host = reinterpret_cast<ToHost>(reinterpret_cast<void (*)()>(entry))(
        std::filesystem::absolute(file).wstring().c_str());
    if (!host) {
        return file.string();
    }
    std::string name = host;
    ::HeapFree(::GetProcessHeap(), 0, host);
    return name;
}

// A host file's name as this program opens it: under wine, the name in wine's drives.
inline std::filesystem::path WindowsPath(const std::string& hostName) {
    using ToWindows = wchar_t*(CDECL*)(const char*);
    const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    const FARPROC entry = kernel ? ::GetProcAddress(kernel, "wine_get_dos_file_name") : nullptr;
    if (!entry) {
        return hostName;
    }
    wchar_t* name =
        reinterpret_cast<ToWindows>(reinterpret_cast<void (*)()>(entry))(hostName.c_str());
    if (!name) {
        return hostName;
    }
    std::filesystem::path path(name);
    ::HeapFree(::GetProcessHeap(), 0, name);
    return path;
}

// A connection to a database file through the driver manager, for the test's own statements.
class OdbcFile {
public:
    explicit OdbcFile(const std::filesystem::path& file) {
        ::SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env);
        ::SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                        0);
        ::SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc);
        std::string text =
            "DRIVER={Microsoft Access Driver (*.mdb)};Database=" + DriverPath(file) + ";";
        SQLCHAR out[1024];
        SQLSMALLINT length = 0;
        Check(::SQLDriverConnect(m_dbc, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS,
                                 out, sizeof out, &length, SQL_DRIVER_NOPROMPT),
              SQL_HANDLE_DBC, m_dbc, "connect to " + file.string());
        ::SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &m_stmt);
    }
    ~OdbcFile() {
        ::SQLFreeHandle(SQL_HANDLE_STMT, m_stmt);
        ::SQLDisconnect(m_dbc);
        ::SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
        ::SQLFreeHandle(SQL_HANDLE_ENV, m_env);
    }
    OdbcFile(const OdbcFile&) = delete;
    OdbcFile& operator=(const OdbcFile&) = delete;

    void Exec(std::string sql) {
        ::SQLFreeStmt(m_stmt, SQL_CLOSE);
        Check(::SQLExecDirect(m_stmt, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS),
              SQL_HANDLE_STMT, m_stmt, sql);
    }
    // The first column of the next row, as text ("NULL" for null); nullopt after the last.
    std::optional<std::string> Next() {
        if (!SQL_SUCCEEDED(::SQLFetch(m_stmt))) {
            return std::nullopt;
        }
        char value[4096];
        SQLLEN length = 0;
        ::SQLGetData(m_stmt, 1, SQL_C_CHAR, value, sizeof value, &length);
        return length == SQL_NULL_DATA ? std::string("NULL") : std::string(value);
    }

private:
    static void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const std::string& what) {
        if (SQL_SUCCEEDED(rc)) {
            return;
        }
        SQLCHAR state[6] = {};
        SQLCHAR message[1024] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        ::SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message, &length);
        throw std::runtime_error(what + ": " + reinterpret_cast<const char*>(message));
    }

    SQLHENV m_env = SQL_NULL_HENV;
    SQLHDBC m_dbc = SQL_NULL_HDBC;
    SQLHSTMT m_stmt = SQL_NULL_HSTMT;
};

// Runs statements (separated by semicolons) on a database file: to make test files, and to play
// the other program that changes rows behind the layer's back.
inline void ExecSql(const std::filesystem::path& file, const std::string& sql) {
    OdbcFile db(file);
    std::size_t from = 0;
    while (from < sql.size()) {
        std::size_t end = sql.find(';', from);
        if (end == std::string::npos) {
            end = sql.size();
        }
        const std::string statement = sql.substr(from, end - from);
        if (statement.find_first_not_of(" \t\r\n") != std::string::npos) {
            db.Exec(statement);
        }
        from = end + 1;
    }
}

// One column of every row, as text ("NULL" for null).
inline std::vector<std::string> ColumnTexts(const std::filesystem::path& file,
                                            const std::string& sql) {
    OdbcFile db(file);
    db.Exec(sql);
    std::vector<std::string> out;
    while (const auto text = db.Next()) {
        out.push_back(*text);
    }
    return out;
}
#else
// The file's name as the database driver sees it.
inline std::string DriverPath(const std::filesystem::path& file) {
    return file.string();
}

// SQLite takes file names in UTF-8 on every system.
inline std::string Utf8Path(const std::filesystem::path& file) {
    const std::u8string name = file.u8string();
    return std::string(name.begin(), name.end());
}

// Runs statements on a database file through SQLite's own interface: to make test files, and
// to play the other program that changes rows behind the layer's back.
inline void ExecSql(const std::filesystem::path& file, const std::string& sql) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(Utf8Path(file).c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK) {
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
    sqlite3_open_v2(Utf8Path(file).c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
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

#endif

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

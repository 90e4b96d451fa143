#include "db/DatabaseFileDriver.h"

#include <cstring>
#include <filesystem>
#include <fstream>

#include "db/ConnectionString.h"
#include "db/SqliteDriver.h"

namespace orvanta::db {

namespace {

constexpr char kSqliteHeader[] = "SQLite format 3";  // with its terminating zero: 16 bytes

}  // namespace

bool IsForeignDatabaseFile(const std::string& path) {
    std::error_code error;
    if (path.empty() || !std::filesystem::is_regular_file(path, error)) {
        return false;
    }
    char header[sizeof kSqliteHeader] = {};
    std::ifstream file(path, std::ios::binary);
    file.read(header, sizeof header);
    const std::streamsize read = file.gcount();
    // An empty file is what SQLite reads as an empty database: it stays there, as before.
    if (std::filesystem::file_size(path, error) == 0 && !error) {
        return false;
    }
    return read != static_cast<std::streamsize>(sizeof header) ||
           std::memcmp(header, kSqliteHeader, sizeof header) != 0;
}

DatabaseFileDriver::DatabaseFileDriver(OdbcSettings odbc)
    : m_sqlite(std::make_unique<SqliteDriver>()),
      m_odbc(std::make_unique<OdbcDriver>(std::move(odbc))) {}

DatabaseFileDriver::~DatabaseFileDriver() = default;

std::unique_ptr<DriverConnection> DatabaseFileDriver::Connect(const std::string& connectionString) {
    if (IsForeignDatabaseFile(ConnectionStringValue(connectionString, "DBQ"))) {
        return m_odbc->Connect(connectionString);
    }
    return m_sqlite->Connect(connectionString);
}

}  // namespace orvanta::db

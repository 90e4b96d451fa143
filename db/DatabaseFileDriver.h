#pragma once

#include <memory>
#include <string>

#include "db/Driver.h"
#include "db/OdbcDriver.h"

namespace orvanta::db {

// Chooses the driver by the file the connection string names (DBQ): a file that begins with
// SQLite's header goes to the embedded SQLite driver; any other existing file goes to the ODBC
// driver manager with the whole connection string. A missing file, or none named, stays with
// the SQLite driver, whose message tells so; so does an empty file, which SQLite reads as an
// empty database.
class DatabaseFileDriver : public Driver {
public:
    explicit DatabaseFileDriver(OdbcSettings odbc = {});
    ~DatabaseFileDriver() override;

    std::unique_ptr<DriverConnection> Connect(const std::string& connectionString) override;

private:
    std::unique_ptr<Driver> m_sqlite;
    std::unique_ptr<Driver> m_odbc;
};

// True when the file exists, is not empty and does not begin with SQLite's header: an Access
// file, or anything else a driver manager may know.
bool IsForeignDatabaseFile(const std::string& path);

}  // namespace orvanta::db

#pragma once

#include <memory>

#include "db/Driver.h"

namespace orvanta::db {

// The driver a connection uses when it is given none: the database file's own where this build
// has the embedded SQLite driver, the ODBC driver manager alone where it has not (a Windows
// build without SQLite). One file each.
std::unique_ptr<Driver> MakeDefaultDriver();

}  // namespace orvanta::db

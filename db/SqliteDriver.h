#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "db/Driver.h"

namespace orvanta::db {

// The embedded default driver: the registry file is an SQLite database. It opens the existing
// file named by DBQ (never creating one), answers "@@IDENTITY" with the connection's last
// generated row id, and reads keys, auto-numbers, defaults and declared types from SQLite's
// catalogue.
class SqliteDriver : public Driver {
public:
    std::unique_ptr<DriverConnection> Connect(const std::string& connectionString) override;
};

// Declared column type to field kind: INTEGER/INT/COUNTER/LONG and the other integer names
// to integer, BOOLEAN/BIT/YESNO to flag, MEMO/LONGTEXT to long text, BLOB/LONGBINARY to large
// object, everything else (TEXT, VARCHAR, CHAR, ...) to text.
FieldKind KindOfDeclaredType(std::string_view declared);

}  // namespace orvanta::db

#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvanta::db {

inline constexpr std::string_view kAccessDriverPart =
    "DRIVER={Microsoft Access Driver (*.mdb)};ExtendedAnsiSQL=1";

// The connection string for a definition of "key=value" lines: the driver part, then the
// known keys with a non-empty value in their fixed order (DBQ, SystemDB, ReadOnly, UID, PWD,
// DSN, FIL), whatever the order of the lines. Keys match without regard to case; unknown keys
// (DriverID among them) are left out.
std::string BuildConnectionString(const std::vector<std::string>& params);

// A value holding any of ! ( ) * , ; = ? @ [ ] { }, or starting with a double quote, is
// wrapped in braces with each "}" inside doubled, unless it is already wrapped in braces or
// double quotes.
std::string WrappedValue(std::string_view value);

// The value of a keyword in a connection string (case-insensitive), braces or double quotes
// around it removed ("}}" inside braces read as "}"); empty when absent.
std::string ConnectionStringValue(std::string_view connectionString, std::string_view keyword);

}  // namespace orvanta::db

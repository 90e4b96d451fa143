#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "db/Value.h"

namespace orvanta::db {

class Query;

// A column of an open query, reading and writing the value of the query's current row.
// A light handle: valid while the query stays open on the same result.
class Field {
public:
    Field(Query& query, std::size_t index) : m_query(&query), m_index(index) {}

    std::size_t Index() const { return m_index; }
    const std::string& FieldName() const;
    FieldKind Kind() const;

    bool IsNull() const;
    const Value& CurrentValue() const;
    // The value the row had when it entered edit state (null for a new row).
    const Value& OldValue() const;

    // Text: an integer in decimal, a flag as "True" or "False", null as the empty text.
    std::string AsString() const;
    // Integer and flag columns, and text holding a decimal integer; null reads as 0.
    std::int64_t AsInteger() const;
    // Flag and integer columns (non-zero is true); null reads as false.
    bool AsBoolean() const;

    // Setting is allowed in edit or insert state only.
    void SetAsString(const std::string& text);
    void SetAsInteger(std::int64_t value);
    void SetAsBoolean(bool value);
    void Clear();

private:
    [[noreturn]] void CannotAccess(const char* type) const;

    Query* m_query;
    std::size_t m_index;
};

// The whole text must be a decimal integer (an optional sign, then digits) within range.
bool ParseDecimal(const std::string& text, std::int64_t& value);

// The value as text: decimal for an integer, the bytes otherwise, empty for null.
std::string ValueText(const Value& value);

}  // namespace orvanta::db

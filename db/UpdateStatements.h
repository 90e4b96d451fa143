#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "db/Value.h"

namespace orvanta::db {

// A generated statement: its text with "?" markers and the values bound to them in order.
struct GeneratedStatement {
    std::string sql;
    std::vector<BoundValue> values;
};

// A read-back: the statement and, per item it selects, the result column it fills.
struct ReadBack {
    GeneratedStatement statement;
    std::vector<std::size_t> targets;
};

// The statements a posted or deleted row produces on its update table. `keys` are the key
// columns the catalogue reports for the table. Columns are named by the bracket rule; values
// are never written into the text.
class UpdateStatements {
public:
    UpdateStatements(std::string table, const std::vector<ColumnInfo>& columns,
                     std::vector<std::string> keys);

    // INSERT of the writable columns given a non-null value, plus writable long columns.
    GeneratedStatement Insert(const Row& row) const;
    // UPDATE of the writable columns whose value differs from the old one; nothing when none
    // does. Raises error 329 when no condition can be built.
    std::optional<GeneratedStatement> Update(const Row& oldRow, const Row& row) const;
    // Raises error 329 when no condition can be built.
    GeneratedStatement Delete(const Row& oldRow) const;
    // The columns the database fills itself; nothing when there are none.
    std::optional<ReadBack> ReadBackAfter(bool insertion, const Row& row) const;

    // The result columns that identify the row: the key columns found in the result, else
    // every comparable column.
    std::vector<std::size_t> ConditionColumns() const;

private:
    bool Writable(const ColumnInfo& column) const;
    // Terms "name = ?" or "name IS NULL" joined by " AND ".
    std::string Condition(const Row& values, const std::string& prefix, bool identityForAutoNumber,
                          std::vector<BoundValue>& bound) const;

    std::string m_table;
    const std::vector<ColumnInfo>& m_columns;
    std::vector<std::string> m_keys;
};

}  // namespace orvanta::db

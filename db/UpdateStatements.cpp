#include "db/UpdateStatements.h"

#include "core/Failure.h"
#include "core/Text.h"
#include "db/Errors.h"
#include "db/SqlText.h"

namespace orvanta::db {

namespace {

std::string Joined(const std::vector<std::string>& parts, const char* separator) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) {
            out += separator;
        }
        out += parts[i];
    }
    return out;
}

}  // namespace

UpdateStatements::UpdateStatements(std::string table, const std::vector<ColumnInfo>& columns,
                                   std::vector<std::string> keys)
    : m_table(std::move(table)), m_columns(columns), m_keys(std::move(keys)) {}

bool UpdateStatements::Writable(const ColumnInfo& column) const {
    // A column of another table in the result is never written to the update table.
    return column.writable &&
           (column.baseTable.empty() || EqualsIgnoreCaseAscii(column.baseTable, m_table));
}

std::vector<std::size_t> UpdateStatements::ConditionColumns() const {
    std::vector<std::size_t> chosen;
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        for (const std::string& key : m_keys) {
            if (EqualsIgnoreCaseAscii(m_columns[i].TableColumnName(), key) &&
                (m_columns[i].baseTable.empty() ||
                 EqualsIgnoreCaseAscii(m_columns[i].baseTable, m_table))) {
                chosen.push_back(i);
                break;
            }
        }
    }
    if (chosen.empty()) {
        for (std::size_t i = 0; i < m_columns.size(); ++i) {
            if (m_columns[i].comparable) {
                chosen.push_back(i);
            }
        }
    }
    return chosen;
}

std::string UpdateStatements::Condition(const Row& values, const std::string& prefix,
                                        bool identityForAutoNumber,
                                        std::vector<BoundValue>& bound) const {
    std::vector<std::string> terms;
    for (std::size_t i : ConditionColumns()) {
        const ColumnInfo& column = m_columns[i];
        const std::string name = prefix + BracketedName(column.TableColumnName());
        if (identityForAutoNumber && column.autoIncrement) {
            terms.push_back(name + " = @@IDENTITY");
        } else if (IsNull(values[i])) {
            terms.push_back(name + " IS NULL");
        } else {
            terms.push_back(name + " = ?");
            bound.push_back({values[i], column.kind});
        }
    }
    if (terms.empty()) {
        throw Failure(EmptyWhereText());
    }
    return Joined(terms, " AND ");
}

GeneratedStatement UpdateStatements::Insert(const Row& row) const {
    GeneratedStatement out;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        const ColumnInfo& column = m_columns[i];
        if (Writable(column) && (!IsNull(row[i]) || IsLongKind(column.kind))) {
            names.push_back(BracketedName(column.TableColumnName()));
            out.values.push_back({row[i], column.kind});
        }
    }
    const std::string table = BracketedName(m_table);
    if (names.empty()) {
        // Nothing to write: one column that takes a null makes the row.
        const ColumnInfo* chosen = nullptr;
        for (const ColumnInfo& column : m_columns) {
            if (Writable(column) && column.nullable) {
                chosen = &column;
                break;
            }
        }
        if (!chosen) {
            for (const ColumnInfo& column : m_columns) {
                if (Writable(column)) {
                    chosen = &column;
                    break;
                }
            }
        }
        const std::string name =
            chosen ? chosen->TableColumnName() : (m_columns.empty() ? "" : m_columns[0].name);
        out.sql = "INSERT INTO " + table + " (" + BracketedName(name) + ") VALUES (NULL)";
        return out;
    }
    std::vector<std::string> markers(names.size(), "?");
    out.sql = "INSERT INTO " + table + " (" + Joined(names, ", ") + ") VALUES (" +
              Joined(markers, ", ") + ")";
    return out;
}

std::optional<GeneratedStatement> UpdateStatements::Update(const Row& oldRow,
                                                           const Row& row) const {
    GeneratedStatement out;
    std::vector<std::string> assignments;
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        if (Writable(m_columns[i]) && row[i] != oldRow[i]) {
            assignments.push_back(BracketedName(m_columns[i].TableColumnName()) + " = ?");
            out.values.push_back({row[i], m_columns[i].kind});
        }
    }
    if (assignments.empty()) {
        return std::nullopt;
    }
    const std::string condition = Condition(oldRow, "", false, out.values);
    out.sql = "UPDATE " + BracketedName(m_table) + " SET " + Joined(assignments, ", ") + " WHERE " +
              condition;
    return out;
}

GeneratedStatement UpdateStatements::Delete(const Row& oldRow) const {
    GeneratedStatement out;
    const std::string condition = Condition(oldRow, "", false, out.values);
    out.sql = "DELETE FROM " + BracketedName(m_table) + " WHERE " + condition;
    return out;
}

std::optional<ReadBack> UpdateStatements::ReadBackAfter(bool insertion, const Row& row) const {
    ReadBack out;
    std::vector<std::string> items;
    bool fromTable = false;
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        const ColumnInfo& column = m_columns[i];
        if (!column.baseTable.empty() && !EqualsIgnoreCaseAscii(column.baseTable, m_table)) {
            continue;
        }
        const bool filled =
            column.rowVersion || column.computed ||
            (insertion && (column.autoIncrement || column.rowId || column.defaultFilled));
        if (!filled) {
            continue;
        }
        const std::string name = BracketedName(column.TableColumnName());
        if (insertion && column.autoIncrement) {
            items.push_back("@@IDENTITY AS " + name);
        } else {
            items.push_back("A." + name);
            fromTable = true;
        }
        out.targets.push_back(i);
    }
    if (items.empty()) {
        return std::nullopt;
    }
    out.statement.sql = "SELECT " + Joined(items, ", ");
    if (fromTable) {
        // After an update the auto-number is bound like any other value: @@IDENTITY then
        // names the last insertion, not the updated row.
        const std::string condition = Condition(row, "A.", insertion, out.statement.values);
        out.statement.sql += " FROM " + BracketedName(m_table) + " A WHERE " + condition;
    }
    return out;
}

}  // namespace orvanta::db

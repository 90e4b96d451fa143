#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace orvanta::db {

// One cell: null, an integer (flags are 0 or 1) or bytes (text and large objects alike).
using Value = std::variant<std::monostate, std::int64_t, std::string>;
using Row = std::vector<Value>;

inline bool IsNull(const Value& value) {
    return std::holds_alternative<std::monostate>(value);
}

// The kind a field takes from the column type the driver reports.
enum class FieldKind { Text, Integer, Flag, LongText, Blob };

inline bool IsLongKind(FieldKind kind) {
    return kind == FieldKind::LongText || kind == FieldKind::Blob;
}

// What the driver tells of one result column.
struct ColumnInfo {
    std::string name;       // as the result names it (an alias, if any)
    std::string baseName;   // the table column it comes from; empty for an expression
    std::string baseTable;  // the table it comes from; empty for an expression
    FieldKind kind = FieldKind::Text;
    bool comparable = true;  // may appear in a WHERE condition
    bool writable = true;
    bool nullable = true;
    bool autoIncrement = false;
    bool rowId = false;
    bool rowVersion = false;
    bool computed = false;  // computed or volatile: the database sets it on every write
    bool defaultFilled = false;

    // The name generated statements use.
    const std::string& TableColumnName() const { return baseName.empty() ? name : baseName; }
};

// A value bound to a "?" marker, with the type of the column it is bound for.
struct BoundValue {
    Value value;
    FieldKind kind = FieldKind::Text;
};

}  // namespace orvanta::db

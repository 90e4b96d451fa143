#include "db/Field.h"

#include <charconv>

#include "core/Failure.h"
#include "core/Text.h"
#include "db/Errors.h"
#include "db/Query.h"

namespace orvanta::db {

bool ParseDecimal(const std::string& text, std::int64_t& value) {
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (begin != end && *begin == '+') {
        ++begin;
        if (begin != end && *begin == '-') {
            return false;
        }
    }
    if (begin == end) {
        return false;
    }
    const auto result = std::from_chars(begin, end, value);
    return result.ec == std::errc() && result.ptr == end;
}

std::string ValueText(const Value& value) {
    if (const auto* number = std::get_if<std::int64_t>(&value)) {
        return std::to_string(*number);
    }
    if (const auto* text = std::get_if<std::string>(&value)) {
        return *text;
    }
    return {};
}

const std::string& Field::FieldName() const {
    return m_query->Columns().at(m_index).name;
}

FieldKind Field::Kind() const {
    return m_query->Columns().at(m_index).kind;
}

const Value& Field::CurrentValue() const {
    return m_query->CurrentValue(m_index);
}

const Value& Field::OldValue() const {
    return m_query->OldValue(m_index);
}

bool Field::IsNull() const {
    return db::IsNull(CurrentValue());
}

void Field::CannotAccess(const char* type) const {
    throw Failure(Fill(kCannotAccess, {FieldName(), type}));
}

std::string Field::AsString() const {
    const Value& value = CurrentValue();
    if (Kind() == FieldKind::Flag && !db::IsNull(value)) {
        return AsBoolean() ? "True" : "False";
    }
    return ValueText(value);
}

std::int64_t Field::AsInteger() const {
    const Value& value = CurrentValue();
    switch (Kind()) {
        case FieldKind::Blob:
            CannotAccess("Integer");
        case FieldKind::Flag:
            return AsBoolean() ? 1 : 0;
        default:
            break;
    }
    if (db::IsNull(value)) {
        return 0;
    }
    if (const auto* number = std::get_if<std::int64_t>(&value)) {
        return *number;
    }
    const std::string& text = std::get<std::string>(value);
    std::int64_t parsed = 0;
    if (!ParseDecimal(text, parsed)) {
        throw Failure(Fill(kInvalidInteger, {text, FieldName()}));
    }
    return parsed;
}

bool Field::AsBoolean() const {
    const FieldKind kind = Kind();
    if (kind != FieldKind::Flag && kind != FieldKind::Integer) {
        CannotAccess("Boolean");
    }
    const Value& value = CurrentValue();
    if (const auto* number = std::get_if<std::int64_t>(&value)) {
        return *number != 0;
    }
    if (const auto* text = std::get_if<std::string>(&value)) {
        // A file written by another program may hold a flag as text.
        std::int64_t parsed = 0;
        if (ParseDecimal(*text, parsed)) {
            return parsed != 0;
        }
        return EqualsIgnoreCaseAscii(*text, "true");
    }
    return false;
}

void Field::SetAsString(const std::string& text) {
    switch (Kind()) {
        case FieldKind::Integer: {
            if (text.empty()) {
                m_query->SetCurrentValue(m_index, Value{});
                return;
            }
            std::int64_t parsed = 0;
            if (!ParseDecimal(text, parsed)) {
                throw Failure(Fill(kInvalidInteger, {text, FieldName()}));
            }
            m_query->SetCurrentValue(m_index, parsed);
            return;
        }
        case FieldKind::Flag: {
            if (text.empty()) {
                m_query->SetCurrentValue(m_index, Value{});
            } else if (EqualsIgnoreCaseAscii(text, "true") || text == "1") {
                m_query->SetCurrentValue(m_index, std::int64_t{1});
            } else if (EqualsIgnoreCaseAscii(text, "false") || text == "0") {
                m_query->SetCurrentValue(m_index, std::int64_t{0});
            } else {
                throw Failure(Fill(kInvalidBoolean, {text, FieldName()}));
            }
            return;
        }
        default:
            m_query->SetCurrentValue(m_index, text);
    }
}

void Field::SetAsInteger(std::int64_t value) {
    switch (Kind()) {
        case FieldKind::Blob:
            CannotAccess("Integer");
        case FieldKind::Flag:
            m_query->SetCurrentValue(m_index, std::int64_t{value != 0 ? 1 : 0});
            return;
        case FieldKind::Integer:
            m_query->SetCurrentValue(m_index, value);
            return;
        default:
            m_query->SetCurrentValue(m_index, std::to_string(value));
    }
}

void Field::SetAsBoolean(bool value) {
    const FieldKind kind = Kind();
    if (kind != FieldKind::Flag && kind != FieldKind::Integer) {
        CannotAccess("Boolean");
    }
    m_query->SetCurrentValue(m_index, std::int64_t{value ? 1 : 0});
}

void Field::Clear() {
    m_query->SetCurrentValue(m_index, Value{});
}

}  // namespace orvanta::db

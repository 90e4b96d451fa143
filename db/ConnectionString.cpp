#include "db/ConnectionString.h"

#include <array>
#include <optional>
#include <utility>

#include "core/Text.h"

namespace orvanta::db {

namespace {

struct KeyMapping {
    std::string_view key;
    std::string_view keyword;
};

constexpr std::array<KeyMapping, 7> kKeys = {{
    {"Database", "DBQ"},
    {"SystemDB", "SystemDB"},
    {"ReadOnly", "ReadOnly"},
    {"User_Name", "UID"},
    {"Password", "PWD"},
    {"DSN", "DSN"},
    {"FIL", "FIL"},
}};

// The value of the first line whose key matches.
std::optional<std::string> ParamValue(const std::vector<std::string>& params,
                                      std::string_view key) {
    for (const std::string& line : params) {
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos && EqualsIgnoreCaseAscii(line.substr(0, eq), key)) {
            return line.substr(eq + 1);
        }
    }
    return std::nullopt;
}

bool Enclosed(std::string_view value, char open, char close) {
    return value.size() >= 2 && value.front() == open && value.back() == close;
}

// Splits "k=v;k={v;v};k=\"v\"" into pairs; braces and double quotes protect a ";".
std::vector<std::pair<std::string, std::string>> Pairs(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t eq = text.find('=', i);
        std::size_t semi = text.find(';', i);
        if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
            i = semi == std::string_view::npos ? text.size() : semi + 1;
            continue;
        }
        std::string key(text.substr(i, eq - i));
        std::size_t j = eq + 1;
        std::size_t end = j;
        if (j < text.size() && text[j] == '{') {
            // Inside braces a doubled "}" stands for one.
            std::size_t at = j + 1;
            for (; at < text.size(); ++at) {
                if (text[at] == '}') {
                    if (at + 1 < text.size() && text[at + 1] == '}') {
                        ++at;
                        continue;
                    }
                    break;
                }
            }
            end = at < text.size() ? at + 1 : text.size();
        } else if (j < text.size() && text[j] == '"') {
            const std::size_t at = text.find('"', j + 1);
            end = at == std::string_view::npos ? text.size() : at + 1;
        }
        end = text.find(';', end);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        pairs.emplace_back(std::move(key), std::string(text.substr(j, end - j)));
        i = end + 1;
    }
    return pairs;
}

}  // namespace

std::string WrappedValue(std::string_view value) {
    if (Enclosed(value, '{', '}') || Enclosed(value, '"', '"')) {
        return std::string(value);
    }
    // A leading double quote would be read as the start of a quoted value running on into
    // the next keys.
    if (value.find_first_of("!()*,;=?@[]{}") == std::string_view::npos &&
        (value.empty() || value.front() != '"')) {
        return std::string(value);
    }
    // A "}" inside is doubled, or it would end the value early and let the rest be read as
    // keys of their own.
    std::string out = "{";
    for (char c : value) {
        out += c;
        if (c == '}') {
            out += '}';
        }
    }
    out += '}';
    return out;
}

std::string BuildConnectionString(const std::vector<std::string>& params) {
    std::string out(kAccessDriverPart);
    for (const KeyMapping& mapping : kKeys) {
        const std::optional<std::string> value = ParamValue(params, mapping.key);
        if (value && !value->empty()) {
            out += ';';
            out += mapping.keyword;
            out += '=';
            out += WrappedValue(*value);
        }
    }
    return out;
}

std::string ConnectionStringValue(std::string_view connectionString, std::string_view keyword) {
    for (const auto& [key, value] : Pairs(connectionString)) {
        if (EqualsIgnoreCaseAscii(Trimmed(key), keyword)) {
            std::string_view v = value;
            if (Enclosed(v, '"', '"')) {
                return std::string(v.substr(1, v.size() - 2));
            }
            if (!Enclosed(v, '{', '}')) {
                return std::string(v);
            }
            std::string unwrapped;
            for (std::size_t k = 1; k + 1 < v.size(); ++k) {
                unwrapped += v[k];
                if (v[k] == '}' && k + 2 < v.size() && v[k + 1] == '}') {
                    ++k;
                }
            }
            return unwrapped;
        }
    }
    return {};
}

}  // namespace orvanta::db

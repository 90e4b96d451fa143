#include "db/SqlText.h"

#include "core/Text.h"

namespace orvanta::db {

namespace {

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsWordByte(char c) {
    return IsAsciiLetter(c) || IsDigit(c) || c == '_' || c == '#' || c == '$' || c == '@' ||
           static_cast<unsigned char>(c) > 127;
}

// The end of a quoted run starting at `at` (the opening byte), past its closing byte; a
// doubled closing byte inside stands for itself. An unclosed run takes the rest.
std::size_t QuotedEnd(std::string_view sql, std::size_t at, char close) {
    std::size_t i = at + 1;
    while (i < sql.size()) {
        if (sql[i] == close) {
            if (close != ']' && i + 1 < sql.size() && sql[i + 1] == close) {
                i += 2;
                continue;
            }
            return i + 1;
        }
        ++i;
    }
    return sql.size();
}

bool WordIs(std::string_view sql, const SqlToken& token, std::string_view word) {
    return token.kind == SqlToken::Kind::Word &&
           EqualsIgnoreCaseAscii(sql.substr(token.begin, token.end - token.begin), word);
}

bool IsBreakOrBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string NameOf(std::string_view sql, const SqlToken& token) {
    std::string_view text = sql.substr(token.begin, token.end - token.begin);
    if (token.kind == SqlToken::Kind::QuotedName && text.size() >= 2) {
        const char close = text.back();
        text = text.substr(1, text.size() - 2);
        if (close == '"' || close == '`') {
            std::string name;
            for (std::size_t i = 0; i < text.size(); ++i) {
                name += text[i];
                if (text[i] == close && i + 1 < text.size() && text[i + 1] == close) {
                    ++i;
                }
            }
            return name;
        }
    }
    return std::string(text);
}

}  // namespace

std::vector<SqlToken> SqlTokens(std::string_view sql) {
    std::vector<SqlToken> tokens;
    int depth = 0;
    std::size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (IsBlank(c)) {
            ++i;
        } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
            const std::size_t eol = sql.find('\n', i);
            i = eol == std::string_view::npos ? sql.size() : eol + 1;
        } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
            const std::size_t close = sql.find("*/", i + 2);
            i = close == std::string_view::npos ? sql.size() : close + 2;
        } else if (c == '\'') {
            const std::size_t end = QuotedEnd(sql, i, '\'');
            tokens.push_back({SqlToken::Kind::Literal, i, end, depth});
            i = end;
        } else if (c == '"' || c == '[' || c == '`') {
            const std::size_t end = QuotedEnd(sql, i, c == '[' ? ']' : c);
            tokens.push_back({SqlToken::Kind::QuotedName, i, end, depth});
            i = end;
        } else if (IsWordByte(c)) {
            std::size_t end = i;
            while (end < sql.size() && IsWordByte(sql[end])) {
                ++end;
            }
            tokens.push_back({SqlToken::Kind::Word, i, end, depth});
            i = end;
        } else {
            if (c == ')' && depth > 0) {
                --depth;
            }
            tokens.push_back({SqlToken::Kind::Symbol, i, i + 1, depth});
            if (c == '(') {
                ++depth;
            }
            ++i;
        }
    }
    return tokens;
}

std::size_t FindOrderBy(std::string_view sql) {
    const std::vector<SqlToken> tokens = SqlTokens(sql);
    for (std::size_t t = 0; t + 1 < tokens.size(); ++t) {
        const SqlToken& order = tokens[t];
        const SqlToken& by = tokens[t + 1];
        if (order.depth != 0 || !WordIs(sql, order, "ORDER") || !WordIs(sql, by, "BY")) {
            continue;
        }
        const bool startsClean = order.begin == 0 || IsBreakOrBlank(sql[order.begin - 1]);
        const bool oneBlank = by.begin == order.end + 1 && sql[order.end] == ' ';
        if (startsClean && oneBlank) {
            return order.begin;
        }
    }
    return std::string_view::npos;
}

std::string UpdateTableOf(std::string_view sql) {
    const std::vector<SqlToken> tokens = SqlTokens(sql);
    if (tokens.empty() || !WordIs(sql, tokens.front(), "SELECT")) {
        return {};
    }
    for (std::size_t t = 1; t < tokens.size(); ++t) {
        if (tokens[t].depth != 0 || !WordIs(sql, tokens[t], "FROM")) {
            continue;
        }
        std::string name;
        std::size_t n = t + 1;
        while (n < tokens.size() && (tokens[n].kind == SqlToken::Kind::Word ||
                                     tokens[n].kind == SqlToken::Kind::QuotedName)) {
            name = NameOf(sql, tokens[n]);
            // A dotted name goes on after the dot; its last part is the table.
            if (n + 2 < tokens.size() && tokens[n + 1].kind == SqlToken::Kind::Symbol &&
                sql[tokens[n + 1].begin] == '.') {
                n += 2;
                continue;
            }
            break;
        }
        return name;
    }
    return {};
}

std::string ReplaceIdentity(std::string_view sql, std::string_view with) {
    std::string out;
    std::size_t copied = 0;
    for (const SqlToken& token : SqlTokens(sql)) {
        if (WordIs(sql, token, "@@IDENTITY")) {
            out.append(sql.substr(copied, token.begin - copied));
            out.append(with);
            copied = token.end;
        }
    }
    out.append(sql.substr(copied));
    return out;
}

std::string BracketedName(std::string_view name) {
    bool plain = !name.empty() && IsAsciiLetter(name.front());
    for (char c : name) {
        if (!(IsAsciiLetter(c) || IsDigit(c) || c == '_' || c == '#' || c == '$')) {
            plain = false;
        }
    }
    if (plain) {
        return std::string(name);
    }
    std::string out = "[";
    out += name;
    out += ']';
    return out;
}

std::string QuotedLiteral(std::string_view text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'') {
            out += '\'';
        }
    }
    return out + "'";
}

}  // namespace orvanta::db

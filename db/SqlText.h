#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::db {

// A piece of statement text outside literals, quoted identifiers and comments (or one of
// those, whole), with the parenthesis level it stands at.
struct SqlToken {
    enum class Kind { Word, QuotedName, Literal, Symbol };
    Kind kind;
    std::size_t begin;
    std::size_t end;
    int depth;
};

// Words are runs of letters, digits, "_", "#", "$", "@" and bytes above 127; quoted names
// are "..." [...] or `...`; literals '...' ('' inside); comments (-- to the line end,
// /* */) and blanks are skipped.
std::vector<SqlToken> SqlTokens(std::string_view sql);

// Where the outermost ORDER BY clause begins (its "O"): the words ORDER and BY with one blank
// between them, after a blank or line break or at the very start, at parenthesis level 0,
// outside literals, quoted names and comments. npos when there is none.
std::size_t FindOrderBy(std::string_view sql);

// The first table name after the outermost FROM of a SELECT, unquoted (the last part of a
// dotted name); empty when the statement is no SELECT or names no table there.
std::string UpdateTableOf(std::string_view sql);

// Replaces each word "@@IDENTITY" (any letter case) outside literals, quoted names and
// comments with the given text.
std::string ReplaceIdentity(std::string_view sql, std::string_view with);

// A plain identifier (a letter, then letters, digits, "_", "#" or "$") as it is; any other
// name between "[" and "]".
std::string BracketedName(std::string_view name);

// A text as an SQL string literal: single quotes around it, each single quote inside doubled.
std::string QuotedLiteral(std::string_view text);

}  // namespace orvanta::db

#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "core/Failure.h"
#include "db/Driver.h"

namespace orvanta::db {

// Dataset and conversion texts; "%s" marks where the arguments go, in order.
inline constexpr std::string_view kNotEditing = "Dataset not in edit or insert mode";
inline constexpr std::string_view kEmptyDataset =
    "Cannot perform this operation on an empty dataset";
inline constexpr std::string_view kClosedDataset =
    "Cannot perform this operation on a closed dataset";
inline constexpr std::string_view kFieldNotFound = "Field '%s' not found";
inline constexpr std::string_view kInvalidInteger =
    "'%s' is not a valid integer value for field '%s'";
inline constexpr std::string_view kInvalidBoolean =
    "'%s' is not a valid boolean value for field '%s'";
inline constexpr std::string_view kCannotAccess = "Cannot access field '%s' as type %s";

// Fills each "%s" or "%d" with the next argument, in one pass, so an argument that itself
// holds "%s" is never filled again.
std::string Fill(std::string_view pattern, std::initializer_list<std::string_view> args);

// "[AnyDAC]", each part in brackets, "-", the number, ". " and the text.
std::string NumberedText(std::initializer_list<std::string_view> parts, int number,
                         std::string_view text);

// "[AnyDAC][Phys][ODBC]" and the driver's first diagnostic; without one, the driver's file
// name in brackets and the name of the return code.
std::string DriverErrorText(const DriverError& error, std::string_view driverFileName);

// The query's name, ": " and the text.
std::string DatasetText(std::string_view datasetName, std::string_view text);

enum class UpdateKind { Insert, Update, Delete };

// Error 400: a generated statement affected another number of rows than one.
std::string RowsAffectedText(UpdateKind kind, std::int64_t rows);
// Error 312: a read-back returned no row or more than one.
std::string ExactFetchText();
// Error 329: no condition could be built.
std::string EmptyWhereText();
// Error 330: the query has no update table.
std::string NoUpdateTableText();

}  // namespace orvanta::db

#include "db/Errors.h"

namespace orvanta::db {

const char* ReturnCodeName(ReturnCode code) {
    switch (code) {
        case ReturnCode::Error:
            return "SQL_ERROR";
        case ReturnCode::InvalidHandle:
            return "SQL_INVALID_HANDLE";
        case ReturnCode::NoData:
            return "SQL_NO_DATA";
        case ReturnCode::NeedData:
            return "SQL_NEED_DATA";
        case ReturnCode::StillExecuting:
            return "SQL_STILL_EXECUTING";
    }
    return "SQL_ERROR";
}

std::string Fill(std::string_view pattern, std::initializer_list<std::string_view> args) {
    std::string out;
    auto next = args.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() &&
            (pattern[i + 1] == 's' || pattern[i + 1] == 'd') && next != args.end()) {
            out += *next++;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

std::string NumberedText(std::initializer_list<std::string_view> parts, int number,
                         std::string_view text) {
    std::string out = "[AnyDAC]";
    for (std::string_view part : parts) {
        out += '[';
        out += part;
        out += ']';
    }
    out += '-';
    out += std::to_string(number);
    out += ". ";
    out += text;
    return out;
}

std::string DriverErrorText(const DriverError& error, std::string_view driverFileName) {
    std::string out = "[AnyDAC][Phys][ODBC]";
    if (!error.Diagnostic().empty()) {
        return out + error.Diagnostic();
    }
    out += '[';
    out += driverFileName;
    out += "] ";
    out += ReturnCodeName(error.Code());
    return out;
}

std::string DatasetText(std::string_view datasetName, std::string_view text) {
    if (datasetName.empty()) {
        return std::string(text);
    }
    std::string out(datasetName);
    out += ": ";
    out += text;
    return out;
}

std::string RowsAffectedText(UpdateKind kind, std::int64_t rows) {
    const char* command = kind == UpdateKind::Insert   ? "Insert"
                          : kind == UpdateKind::Update ? "Update"
                                                       : "Delete";
    const char* done = kind == UpdateKind::Insert   ? "inserted"
                       : kind == UpdateKind::Update ? "updated"
                                                    : "deleted";
    const std::string count = std::to_string(rows);
    return NumberedText({"DApt"}, 400,
                        Fill("%s command %s [%d] instead of [1] record.\r\n"
                             "Possible reasons: update table does not have PK or row "
                             "identifier,\r\nrecord has been changed/deleted by another user.",
                             {command, done, count}));
}

std::string ExactFetchText() {
    return NumberedText({"Phys"}, 312, "Exact fetch returned wrong number of rows");
}

std::string EmptyWhereText() {
    return NumberedText({"Phys"}, 329, "WHERE condition must be not empty");
}

std::string NoUpdateTableText() {
    return NumberedText({"Phys"}, 330, "Update table undefined");
}

}  // namespace orvanta::db

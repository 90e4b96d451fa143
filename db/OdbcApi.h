#pragma once

// The call-level interface's types and constants only: the driver manager itself is loaded at
// run time, never linked.
#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace orvanta::db {

// Every driver manager function the ODBC driver calls, by its exported name.
#define ORVANTA_ODBC_FUNCTIONS(X) \
    X(SQLAllocHandle)             \
    X(SQLFreeHandle)              \
    X(SQLSetEnvAttr)              \
    X(SQLDriverConnect)           \
    X(SQLDisconnect)              \
    X(SQLGetInfo)                 \
    X(SQLGetFunctions)            \
    X(SQLGetDiagRec)              \
    X(SQLExecDirect)              \
    X(SQLBindParameter)           \
    X(SQLNumResultCols)           \
    X(SQLDescribeCol)             \
    X(SQLColAttribute)            \
    X(SQLFetch)                   \
    X(SQLGetData)                 \
    X(SQLRowCount)                \
    X(SQLPrimaryKeys)             \
    X(SQLSpecialColumns)          \
    X(SQLSetConnectAttr)          \
    X(SQLEndTran)

// The driver manager's functions as one loaded library offers them. An entry point the library
// lacks stays null; calling it raises error 315 again instead of crashing.
struct OdbcApi {
#define ORVANTA_ODBC_MEMBER(name) decltype(&::name) name = nullptr;
    ORVANTA_ODBC_FUNCTIONS(ORVANTA_ODBC_MEMBER)
#undef ORVANTA_ODBC_MEMBER

    std::string libraryName;
    // Error 315's text for each entry point that is missing, by name.
    std::map<std::string, std::string> missing;

    // The function, or the Failure of error 315 when the library lacks it.
    template <typename Fn>
    Fn Require(Fn fn, const char* name) const {
        if (!fn) {
            RaiseMissing(name);
        }
        return fn;
    }
    [[noreturn]] void RaiseMissing(const char* name) const;
};

// Calls a driver manager function through the table, with error 315 for a missing one.
#define ORVANTA_ODBC(api, name) (api).Require((api).name, #name)

// Loads the named driver manager library on first use and keeps it for the life of the
// process. A library that cannot be loaded raises error 314 (and is tried again next time);
// each missing entry point is reported at once as error 315 through `reportMissing`, and
// loading goes on with the next function.
std::shared_ptr<const OdbcApi> LoadDriverManager(
    const std::string& libraryName, const std::function<void(const std::string&)>& reportMissing);

// Error 314: the library could not be loaded, with the system's text.
std::string VendorLibraryText(const std::string& libraryName, const std::string& systemError);
// Error 315: an entry point is missing, with the system's text.
std::string VendorEntryPointText(const std::string& function, const std::string& systemError);

}  // namespace orvanta::db

// A test-only ODBC driver without transactions: Debian's SQLite ODBC driver (loaded from
// ORVANTA_SQLITE_ODBC_DRIVER) behind a refusal to turn auto-commit off. It answers as one of
// two kinds of driver, chosen by ORVANTA_SHIM_TXN_CAPABLE when the call comes:
//   unset   claims transactions (the SQLite driver's own SQL_TXN_CAPABLE) and refuses manual
//           commit with HYC00, "optional feature not implemented";
//   "none"  says SQL_TC_NONE up front and refuses manual commit with a general error (HY000).
// It exports only what unixODBC and the layer call (so unixODBC answers SQLGetFunctions from
// that list).
#include <dlfcn.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

// The SQLite ODBC driver, loaded with this library and released with it.
class RealDriver {
public:
    RealDriver() : m_library(::dlopen(ORVANTA_SQLITE_ODBC_DRIVER, RTLD_NOW | RTLD_LOCAL)) {
        if (!m_library) {
            std::fprintf(stderr, "no-transaction driver: %s\n", ::dlerror());
            std::abort();
        }
    }
    ~RealDriver() { ::dlclose(m_library); }
    RealDriver(const RealDriver&) = delete;
    RealDriver& operator=(const RealDriver&) = delete;

    template <typename Fn>
    Fn Entry(const char* name) const {
        void* entry = ::dlsym(m_library, name);
        if (!entry) {
            std::fprintf(stderr, "no-transaction driver: %s lacks %s\n", ORVANTA_SQLITE_ODBC_DRIVER,
                         name);
            std::abort();
        }
        return reinterpret_cast<Fn>(entry);
    }

private:
    void* m_library;
};

const RealDriver& Real() {
    static const RealDriver driver;
    return driver;
}

// Calls the SQLite driver's function of the same name with the same arguments.
#define FORWARD(name, ...)                                               \
    do {                                                                 \
        static const auto real = Real().Entry<decltype(&::name)>(#name); \
        return real(__VA_ARGS__);                                        \
    } while (false)

bool SaysNoTransactions() {
    const char* capable = std::getenv("ORVANTA_SHIM_TXN_CAPABLE");
    return capable && std::strcmp(capable, "none") == 0;
}

struct Refusal {
    const char* state;
    const char* message;
};

// The refusal each connection was last given, until its next attribute call: the diagnostic
// record the driver manager reads back.
std::map<SQLHDBC, Refusal>& Refusals() {
    static std::map<SQLHDBC, Refusal> refusals;
    return refusals;
}

const Refusal* RefusalFor(SQLSMALLINT type, SQLHANDLE handle) {
    if (type != SQL_HANDLE_DBC) {
        return nullptr;
    }
    const auto found = Refusals().find(handle);
    return found == Refusals().end() ? nullptr : &found->second;
}

SQLRETURN CopyText(const char* text, SQLCHAR* out, SQLSMALLINT size, SQLSMALLINT* length) {
    const auto needed = static_cast<SQLSMALLINT>(std::strlen(text));
    if (length) {
        *length = needed;
    }
    if (out && size > 0) {
        std::snprintf(reinterpret_cast<char*>(out), static_cast<std::size_t>(size), "%s", text);
    }
    return needed < size ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
}

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                                    SQLINTEGER length) {
    Refusals().erase(dbc);
    if (attribute == SQL_ATTR_AUTOCOMMIT &&
        reinterpret_cast<SQLULEN>(value) == SQL_AUTOCOMMIT_OFF) {
        Refusals()[dbc] = SaysNoTransactions()
                              ? Refusal{"HY000", "[NoTransaction]Transactions are not supported"}
                              : Refusal{"HYC00", "[NoTransaction]Optional feature not implemented"};
        return SQL_ERROR;
    }
    FORWARD(SQLSetConnectAttr, dbc, attribute, value, length);
}

SQLRETURN SQL_API SQLGetInfo(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT size,
                             SQLSMALLINT* length) {
    if (type == SQL_TXN_CAPABLE && SaysNoTransactions()) {
        *static_cast<SQLUSMALLINT*>(value) = SQL_TC_NONE;
        if (length) {
            *length = sizeof(SQLUSMALLINT);
        }
        return SQL_SUCCESS;
    }
    FORWARD(SQLGetInfo, dbc, type, value, size, length);
}

SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                                SQLCHAR* state, SQLINTEGER* native, SQLCHAR* message,
                                SQLSMALLINT size, SQLSMALLINT* length) {
    if (const Refusal* refusal = RefusalFor(type, handle)) {
        if (record != 1) {
            return SQL_NO_DATA;
        }
        if (state) {
            std::memcpy(state, refusal->state, 6);
        }
        if (native) {
            *native = 0;
        }
        return CopyText(refusal->message, message, size, length);
    }
    FORWARD(SQLGetDiagRec, type, handle, record, state, native, message, size, length);
}

// unixODBC reads a driver's records with SQLGetDiagRec, but only from a driver that has this
// too.
SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                                  SQLSMALLINT field, SQLPOINTER info, SQLSMALLINT size,
                                  SQLSMALLINT* length) {
    FORWARD(SQLGetDiagField, type, handle, record, field, info, size, length);
}

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
    FORWARD(SQLAllocHandle, type, input, output);
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
    if (type == SQL_HANDLE_DBC) {
        Refusals().erase(handle);
    }
    FORWARD(SQLFreeHandle, type, handle);
}

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value,
                                SQLINTEGER length) {
    FORWARD(SQLSetEnvAttr, env, attribute, value, length);
}

SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value,
                                SQLINTEGER size, SQLINTEGER* length) {
    FORWARD(SQLGetEnvAttr, env, attribute, value, size, length);
}

SQLRETURN SQL_API SQLDriverConnect(SQLHDBC dbc, SQLHWND window, SQLCHAR* in, SQLSMALLINT inLength,
                                   SQLCHAR* out, SQLSMALLINT outSize, SQLSMALLINT* outLength,
                                   SQLUSMALLINT completion) {
    FORWARD(SQLDriverConnect, dbc, window, in, inLength, out, outSize, outLength, completion);
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC dbc) {
    FORWARD(SQLDisconnect, dbc);
}

SQLRETURN SQL_API SQLExecDirect(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length) {
    FORWARD(SQLExecDirect, stmt, text, length);
}

SQLRETURN SQL_API SQLBindParameter(SQLHSTMT stmt, SQLUSMALLINT at, SQLSMALLINT direction,
                                   SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN size,
                                   SQLSMALLINT digits, SQLPOINTER value, SQLLEN room,
                                   SQLLEN* indicator) {
    FORWARD(SQLBindParameter, stmt, at, direction, cType, sqlType, size, digits, value, room,
            indicator);
}

SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT stmt, SQLSMALLINT* count) {
    FORWARD(SQLNumResultCols, stmt, count);
}

SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT stmt, SQLUSMALLINT column, SQLCHAR* name,
                                 SQLSMALLINT size, SQLSMALLINT* length, SQLSMALLINT* type,
                                 SQLULEN* columnSize, SQLSMALLINT* digits, SQLSMALLINT* nullable) {
    FORWARD(SQLDescribeCol, stmt, column, name, size, length, type, columnSize, digits, nullable);
}

SQLRETURN SQL_API SQLColAttribute(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field,
                                  SQLPOINTER text, SQLSMALLINT size, SQLSMALLINT* length,
                                  SQLLEN* number) {
    FORWARD(SQLColAttribute, stmt, column, field, text, size, length, number);
}

SQLRETURN SQL_API SQLFetch(SQLHSTMT stmt) {
    FORWARD(SQLFetch, stmt);
}

SQLRETURN SQL_API SQLGetData(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType,
                             SQLPOINTER value, SQLLEN size, SQLLEN* indicator) {
    FORWARD(SQLGetData, stmt, column, cType, value, size, indicator);
}

SQLRETURN SQL_API SQLRowCount(SQLHSTMT stmt, SQLLEN* rows) {
    FORWARD(SQLRowCount, stmt, rows);
}

SQLRETURN SQL_API SQLPrimaryKeys(SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength,
                                 SQLCHAR* schema, SQLSMALLINT schemaLength, SQLCHAR* table,
                                 SQLSMALLINT tableLength) {
    FORWARD(SQLPrimaryKeys, stmt, catalog, catalogLength, schema, schemaLength, table, tableLength);
}

SQLRETURN SQL_API SQLGetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                                 SQLINTEGER size, SQLINTEGER* length) {
    FORWARD(SQLGetStmtAttr, stmt, attribute, value, size, length);
}

}  // extern "C"

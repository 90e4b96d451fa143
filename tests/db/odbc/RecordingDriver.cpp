// A test-only ODBC driver that records the connection string the driver manager hands it (to
// the file named by ORVANTA_RECORDED_CONNECTION, with the completion mode on a second line)
// and then refuses the connection with a diagnostic of its own.
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

constexpr const char* kRefusal = "[Recorder]Connection string recorded";
bool g_pending = false;
int g_handles[16];
int g_next = 0;

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT, SQLHANDLE, SQLHANDLE* output) {
    *output = &g_handles[g_next++ % 16];
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT, SQLHANDLE) {
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER) {
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC, SQLINTEGER, SQLPOINTER, SQLINTEGER) {
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLDriverConnect(SQLHDBC, SQLHWND, SQLCHAR* in, SQLSMALLINT length, SQLCHAR*,
                                   SQLSMALLINT, SQLSMALLINT*, SQLUSMALLINT completion) {
    const char* text = reinterpret_cast<const char*>(in);
    const std::string connection =
        length == SQL_NTS ? std::string(text) : std::string(text, static_cast<std::size_t>(length));
    if (const char* file = std::getenv("ORVANTA_RECORDED_CONNECTION")) {
        std::ofstream(file, std::ios::binary) << connection << '\n' << completion;
    }
    g_pending = true;
    return SQL_ERROR;
}

SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT, SQLHANDLE, SQLSMALLINT record, SQLCHAR* state,
                                SQLINTEGER* native, SQLCHAR* message, SQLSMALLINT size,
                                SQLSMALLINT* length) {
    if (record != 1 || !g_pending) {
        return SQL_NO_DATA;
    }
    if (state) {
        std::memcpy(state, "HY000", 6);
    }
    if (native) {
        *native = 0;
    }
    const auto needed = static_cast<SQLSMALLINT>(std::strlen(kRefusal));
    if (length) {
        *length = needed;
    }
    if (message && size > 0) {
        std::strncpy(reinterpret_cast<char*>(message), kRefusal, static_cast<std::size_t>(size));
        message[size - 1] = 0;
    }
    return needed < size ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
}

SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT, SQLHANDLE, SQLSMALLINT record, SQLSMALLINT field,
                                  SQLPOINTER info, SQLSMALLINT, SQLSMALLINT*) {
    if (record == 0 && field == SQL_DIAG_NUMBER && info) {
        *static_cast<SQLINTEGER*>(info) = g_pending ? 1 : 0;
        return SQL_SUCCESS;
    }
    return SQL_NO_DATA;
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC) {
    return SQL_SUCCESS;
}

}  // extern "C"

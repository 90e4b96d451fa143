#include "db/OdbcDriver.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>
#include <utility>
#include <vector>

#include "core/Dispatch.h"
#include "db/LibraryLoader.h"
#include "db/OdbcApi.h"

namespace orvanta::db {

// The driver manager's functions and one environment handle, shared by the connections made
// through one driver object.
struct OdbcEnvironment {
    std::shared_ptr<const OdbcApi> api;
    SQLHENV env = SQL_NULL_HENV;

    ~OdbcEnvironment() {
        if (env != SQL_NULL_HENV && api->SQLFreeHandle) {
            api->SQLFreeHandle(SQL_HANDLE_ENV, env);
        }
    }
};

namespace {

// The completed connection string the driver returns is not used, but the call needs room.
constexpr SQLSMALLINT kCompletedStringSize = 1024;
// Long values are read this much at a time.
constexpr SQLLEN kChunkSize = 8192;

ReturnCode CodeOf(SQLRETURN rc) {
    switch (rc) {
        case SQL_INVALID_HANDLE:
            return ReturnCode::InvalidHandle;
        case SQL_NO_DATA:
            return ReturnCode::NoData;
        case SQL_NEED_DATA:
            return ReturnCode::NeedData;
        case SQL_STILL_EXECUTING:
            return ReturnCode::StillExecuting;
        default:
            return ReturnCode::Error;
    }
}

// The message text of the first diagnostic record; empty when there is none. Its SQLSTATE
// goes to sqlState when asked for.
std::string FirstDiagnostic(const OdbcApi& api, SQLSMALLINT type, SQLHANDLE handle,
                            std::string* sqlState = nullptr) {
    if (!api.SQLGetDiagRec || handle == SQL_NULL_HANDLE) {
        return {};
    }
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    std::vector<SQLCHAR> message(SQL_MAX_MESSAGE_LENGTH + 1);
    SQLSMALLINT length = 0;
    SQLRETURN rc = api.SQLGetDiagRec(type, handle, 1, state, &native, message.data(),
                                     static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
        message.assign(static_cast<std::size_t>(length) + 1, 0);
        rc = api.SQLGetDiagRec(type, handle, 1, state, &native, message.data(),
                               static_cast<SQLSMALLINT>(message.size()), &length);
    }
    if (!SQL_SUCCEEDED(rc)) {
        return {};
    }
    if (sqlState) {
        const auto* code = reinterpret_cast<const char*>(state);
        sqlState->assign(code, strnlen(code, sizeof state));
    }
    const auto* text = reinterpret_cast<const char*>(message.data());
    return std::string(text, strnlen(text, message.size()));
}

// Success with information is success: its records stay with the handle, shown to nobody.
void Check(const OdbcApi& api, SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle) {
    if (!SQL_SUCCEEDED(rc)) {
        throw DriverError(CodeOf(rc), FirstDiagnostic(api, type, handle));
    }
}

// One ODBC connection handle; cursors keep it alive until their statements are freed.
struct OdbcLink {
    std::shared_ptr<OdbcEnvironment> environment;
    SQLHDBC dbc = SQL_NULL_HDBC;
    bool connected = false;

    const OdbcApi& Api() const { return *environment->api; }

    ~OdbcLink() {
        const OdbcApi& api = Api();
        if (connected && api.SQLDisconnect) {
            api.SQLDisconnect(dbc);
        }
        if (dbc != SQL_NULL_HDBC && api.SQLFreeHandle) {
            api.SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        }
    }
};

// One statement handle, freed (its cursor closed) when it goes.
class OdbcStatement {
public:
    explicit OdbcStatement(std::shared_ptr<OdbcLink> link) : m_link(std::move(link)) {
        const OdbcApi& api = Api();
        db::Check(api, ORVANTA_ODBC(api, SQLAllocHandle)(SQL_HANDLE_STMT, m_link->dbc, &m_stmt),
                  SQL_HANDLE_DBC, m_link->dbc);
    }
    ~OdbcStatement() {
        if (m_stmt != SQL_NULL_HSTMT && Api().SQLFreeHandle) {
            Api().SQLFreeHandle(SQL_HANDLE_STMT, m_stmt);
        }
    }
    OdbcStatement(const OdbcStatement&) = delete;
    OdbcStatement& operator=(const OdbcStatement&) = delete;

    const OdbcApi& Api() const { return m_link->Api(); }
    SQLHSTMT Handle() const { return m_stmt; }
    void Check(SQLRETURN rc) const { db::Check(Api(), rc, SQL_HANDLE_STMT, m_stmt); }

    // Moves to the next row; false past the last one.
    bool FetchRow() {
        const SQLRETURN rc = ORVANTA_ODBC(Api(), SQLFetch)(m_stmt);
        if (rc == SQL_NO_DATA) {
            return false;
        }
        Check(rc);
        return true;
    }

    // A character or binary value of the current row, read in chunks; null when null.
    Value Bytes(SQLUSMALLINT column, SQLSMALLINT cType) const {
        const auto getData = ORVANTA_ODBC(Api(), SQLGetData);
        // A character chunk ends with a terminating zero that is not part of the value.
        const SQLLEN room = cType == SQL_C_CHAR ? kChunkSize - 1 : kChunkSize;
        std::vector<char> buffer(static_cast<std::size_t>(kChunkSize));
        std::string out;
        for (;;) {
            SQLLEN indicator = 0;
            const SQLRETURN rc =
                getData(m_stmt, column, cType, buffer.data(), kChunkSize, &indicator);
            if (rc == SQL_NO_DATA) {
                break;
            }
            Check(rc);
            if (indicator == SQL_NULL_DATA) {
                return Value{};
            }
            if (indicator == SQL_NO_TOTAL || indicator > room) {
                out.append(buffer.data(), static_cast<std::size_t>(room));
                if (rc == SQL_SUCCESS_WITH_INFO) {
                    continue;
                }
                break;
            }
            out.append(buffer.data(), static_cast<std::size_t>(indicator));
            break;
        }
        return out;
    }

    Value Integer(SQLUSMALLINT column) const {
        SQLBIGINT number = 0;
        SQLLEN indicator = 0;
        Check(ORVANTA_ODBC(Api(), SQLGetData)(m_stmt, column, SQL_C_SBIGINT, &number, sizeof number,
                                              &indicator));
        if (indicator == SQL_NULL_DATA) {
            return Value{};
        }
        return static_cast<std::int64_t>(number);
    }

    Value Flag(SQLUSMALLINT column) const {
        unsigned char flag = 0;
        SQLLEN indicator = 0;
        Check(ORVANTA_ODBC(Api(), SQLGetData)(m_stmt, column, SQL_C_BIT, &flag, sizeof flag,
                                              &indicator));
        if (indicator == SQL_NULL_DATA) {
            return Value{};
        }
        return static_cast<std::int64_t>(flag != 0 ? 1 : 0);
    }

    // A numeric attribute of a result column; fallback when the driver cannot tell.
    SQLLEN NumberAttribute(SQLUSMALLINT column, SQLUSMALLINT field, SQLLEN fallback) const {
        SQLLEN number = 0;
        const SQLRETURN rc = ORVANTA_ODBC(Api(), SQLColAttribute)(m_stmt, column, field, nullptr, 0,
                                                                  nullptr, &number);
        return SQL_SUCCEEDED(rc) ? number : fallback;
    }

    // A text attribute of a result column; false when the driver cannot tell.
    bool TextAttribute(SQLUSMALLINT column, SQLUSMALLINT field, std::string& text) const {
        std::vector<char> buffer(256);
        SQLSMALLINT length = 0;
        SQLRETURN rc = ORVANTA_ODBC(Api(), SQLColAttribute)(m_stmt, column, field, buffer.data(),
                                                            static_cast<SQLSMALLINT>(buffer.size()),
                                                            &length, nullptr);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(buffer.size())) {
            buffer.assign(static_cast<std::size_t>(length) + 1, 0);
            rc = ORVANTA_ODBC(Api(), SQLColAttribute)(m_stmt, column, field, buffer.data(),
                                                      static_cast<SQLSMALLINT>(buffer.size()),
                                                      &length, nullptr);
        }
        if (!SQL_SUCCEEDED(rc)) {
            return false;
        }
        text.assign(buffer.data(), strnlen(buffer.data(), buffer.size()));
        return true;
    }

private:
    std::shared_ptr<OdbcLink> m_link;
    SQLHSTMT m_stmt = SQL_NULL_HSTMT;
};

FieldKind KindOfSqlType(SQLSMALLINT type) {
    switch (type) {
        case SQL_BIT:
            return FieldKind::Flag;
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
        case SQL_BIGINT:
            return FieldKind::Integer;
        case SQL_LONGVARCHAR:
        case SQL_WLONGVARCHAR:
            return FieldKind::LongText;
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY:
            return FieldKind::Blob;
        default:
            return FieldKind::Text;
    }
}

std::vector<ColumnInfo> Describe(OdbcStatement& statement, SQLSMALLINT count) {
    std::vector<ColumnInfo> columns;
    columns.reserve(static_cast<std::size_t>(count));
    const auto describe = ORVANTA_ODBC(statement.Api(), SQLDescribeCol);
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(count); ++c) {
        std::vector<SQLCHAR> name(256);
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT type = 0;
        SQLULEN size = 0;
        SQLSMALLINT digits = 0;
        SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN;
        SQLRETURN rc =
            describe(statement.Handle(), c, name.data(), static_cast<SQLSMALLINT>(name.size()),
                     &nameLength, &type, &size, &digits, &nullable);
        if (rc == SQL_SUCCESS_WITH_INFO && nameLength >= static_cast<SQLSMALLINT>(name.size())) {
            name.assign(static_cast<std::size_t>(nameLength) + 1, 0);
            rc = describe(statement.Handle(), c, name.data(), static_cast<SQLSMALLINT>(name.size()),
                          &nameLength, &type, &size, &digits, &nullable);
        }
        statement.Check(rc);
        ColumnInfo column;
        const auto* text = reinterpret_cast<const char*>(name.data());
        column.name.assign(text, strnlen(text, name.size()));
        column.kind = KindOfSqlType(type);
        column.nullable = nullable != SQL_NO_NULLS;
        column.autoIncrement =
            statement.NumberAttribute(c, SQL_DESC_AUTO_UNIQUE_VALUE, SQL_FALSE) == SQL_TRUE;
        const SQLLEN searchable =
            statement.NumberAttribute(c, SQL_DESC_SEARCHABLE, SQL_PRED_SEARCHABLE);
        column.comparable = !IsLongKind(column.kind) &&
                            (searchable == SQL_PRED_BASIC || searchable == SQL_PRED_SEARCHABLE);
        column.writable =
            !column.autoIncrement &&
            statement.NumberAttribute(c, SQL_DESC_UPDATABLE, SQL_ATTR_READWRITE_UNKNOWN) !=
                SQL_ATTR_READONLY;
        std::string baseName;
        if (statement.TextAttribute(c, SQL_DESC_BASE_COLUMN_NAME, baseName)) {
            if (baseName.empty()) {
                // An expression: nothing to write it back to, nothing to find a row by.
                column.writable = false;
                column.comparable = false;
            }
            column.baseName = baseName;
        }
        statement.TextAttribute(c, SQL_DESC_BASE_TABLE_NAME, column.baseTable);
        columns.push_back(std::move(column));
    }
    return columns;
}

class OdbcCursor : public Cursor {
public:
    OdbcCursor(std::unique_ptr<OdbcStatement> statement, SQLSMALLINT columnCount,
               std::int64_t affected)
        : m_statement(std::move(statement)), m_affected(affected) {
        if (columnCount > 0) {
            m_columns = Describe(*m_statement, columnCount);
        } else {
            m_statement.reset();
        }
    }

    const std::vector<ColumnInfo>& Columns() const override { return m_columns; }
    bool AtEnd() const override { return !m_statement; }
    std::int64_t AffectedRows() const override { return m_affected; }

    std::size_t Fetch(std::vector<Row>& rows, std::size_t maxRows) override {
        std::size_t fetched = 0;
        while (m_statement && fetched < maxRows) {
            try {
                if (!m_statement->FetchRow()) {
                    // Freeing the statement ends its read, so others may write again.
                    m_statement.reset();
                    break;
                }
                rows.push_back(ReadRow());
            } catch (...) {
                m_statement.reset();
                throw;
            }
            ++fetched;
        }
        return fetched;
    }

private:
    Row ReadRow() const {
        Row row;
        row.reserve(m_columns.size());
        for (std::size_t i = 0; i < m_columns.size(); ++i) {
            const auto column = static_cast<SQLUSMALLINT>(i + 1);
            switch (m_columns[i].kind) {
                case FieldKind::Integer:
                    row.push_back(m_statement->Integer(column));
                    break;
                case FieldKind::Flag:
                    row.push_back(m_statement->Flag(column));
                    break;
                case FieldKind::Blob:
                    row.push_back(m_statement->Bytes(column, SQL_C_BINARY));
                    break;
                default:
                    row.push_back(m_statement->Bytes(column, SQL_C_CHAR));
                    break;
            }
        }
        return row;
    }

    std::unique_ptr<OdbcStatement> m_statement;
    std::int64_t m_affected;
    std::vector<ColumnInfo> m_columns;
};

// What a bound value points to; it must stay in place until the statement has run.
struct ParameterBuffer {
    std::string bytes;
    SQLINTEGER integer = 0;
    SQLBIGINT bigInteger = 0;
    unsigned char flag = 0;
    SQLLEN indicator = 0;
};

SQLSMALLINT SqlTypeOf(FieldKind kind) {
    switch (kind) {
        case FieldKind::Integer:
            return SQL_INTEGER;
        case FieldKind::Flag:
            return SQL_BIT;
        case FieldKind::LongText:
            return SQL_LONGVARCHAR;
        case FieldKind::Blob:
            return SQL_LONGVARBINARY;
        default:
            return SQL_VARCHAR;
    }
}

void Bind(OdbcStatement& statement, SQLUSMALLINT at, const BoundValue& bound,
          ParameterBuffer& buffer) {
    const auto bind = ORVANTA_ODBC(statement.Api(), SQLBindParameter);
    const SQLHSTMT stmt = statement.Handle();
    if (IsNull(bound.value)) {
        buffer.indicator = SQL_NULL_DATA;
        const bool binary = bound.kind == FieldKind::Blob;
        statement.Check(bind(stmt, at, SQL_PARAM_INPUT, binary ? SQL_C_BINARY : SQL_C_CHAR,
                             SqlTypeOf(bound.kind), 1, 0, nullptr, 0, &buffer.indicator));
    } else if (const auto* number = std::get_if<std::int64_t>(&bound.value)) {
        if (bound.kind == FieldKind::Flag) {
            buffer.flag = *number != 0 ? 1 : 0;
            buffer.indicator = sizeof buffer.flag;
            statement.Check(bind(stmt, at, SQL_PARAM_INPUT, SQL_C_BIT, SQL_BIT, 1, 0, &buffer.flag,
                                 0, &buffer.indicator));
        } else if (*number >= std::numeric_limits<SQLINTEGER>::min() &&
                   *number <= std::numeric_limits<SQLINTEGER>::max()) {
            // Older drivers know no 64-bit integers; most values fit in 32 bits.
            buffer.integer = static_cast<SQLINTEGER>(*number);
            buffer.indicator = sizeof buffer.integer;
            statement.Check(bind(stmt, at, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 10, 0,
                                 &buffer.integer, 0, &buffer.indicator));
        } else {
            buffer.bigInteger = static_cast<SQLBIGINT>(*number);
            buffer.indicator = sizeof buffer.bigInteger;
            statement.Check(bind(stmt, at, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 19, 0,
                                 &buffer.bigInteger, 0, &buffer.indicator));
        }
    } else {
        buffer.bytes = std::get<std::string>(bound.value);
        const bool binary = bound.kind == FieldKind::Blob;
        SQLSMALLINT sqlType = SqlTypeOf(bound.kind);
        if (sqlType == SQL_INTEGER || sqlType == SQL_BIT) {
            sqlType = SQL_VARCHAR;  // text for a numeric column: the driver converts it
        }
        buffer.indicator = static_cast<SQLLEN>(buffer.bytes.size());
        statement.Check(bind(stmt, at, SQL_PARAM_INPUT, binary ? SQL_C_BINARY : SQL_C_CHAR, sqlType,
                             std::max<SQLULEN>(buffer.bytes.size(), 1), 0, buffer.bytes.data(),
                             static_cast<SQLLEN>(buffer.bytes.size()), &buffer.indicator));
    }
}

class OdbcConnection : public DriverConnection {
public:
    explicit OdbcConnection(std::shared_ptr<OdbcLink> link) : m_link(std::move(link)) {
        const OdbcApi& api = m_link->Api();
        SQLCHAR name[256] = {};
        SQLSMALLINT length = 0;
        Check(api,
              ORVANTA_ODBC(api, SQLGetInfo)(m_link->dbc, SQL_DRIVER_NAME, name,
                                            static_cast<SQLSMALLINT>(sizeof name), &length),
              SQL_HANDLE_DBC, m_link->dbc);
        const auto* text = reinterpret_cast<const char*>(name);
        m_fileName.assign(text, strnlen(text, sizeof name));
        SQLUSMALLINT supported = SQL_FALSE;
        Check(api,
              ORVANTA_ODBC(api, SQLGetFunctions)(m_link->dbc, SQL_API_SQLPRIMARYKEYS, &supported),
              SQL_HANDLE_DBC, m_link->dbc);
        m_hasPrimaryKeys = supported == SQL_TRUE;
        // A driver that says it has no transactions is never asked for one; one that cannot
        // tell is tried, and its answer to Begin settles it.
        SQLUSMALLINT capable = SQL_TC_ALL;
        if (SQL_SUCCEEDED(ORVANTA_ODBC(api, SQLGetInfo)(m_link->dbc, SQL_TXN_CAPABLE, &capable,
                                                        sizeof capable, nullptr))) {
            m_hasTransactions = capable != SQL_TC_NONE;
        }
    }

    std::unique_ptr<Cursor> Execute(const std::string& sql,
                                    const std::vector<BoundValue>& values) override {
        auto statement = std::make_unique<OdbcStatement>(m_link);
        std::vector<ParameterBuffer> buffers(values.size());
        for (std::size_t i = 0; i < values.size(); ++i) {
            Bind(*statement, static_cast<SQLUSMALLINT>(i + 1), values[i], buffers[i]);
        }
        const OdbcApi& api = statement->Api();
        std::string text = sql;
        const SQLRETURN rc = ORVANTA_ODBC(api, SQLExecDirect)(
            statement->Handle(), reinterpret_cast<SQLCHAR*>(text.data()),
            static_cast<SQLINTEGER>(text.size()));
        // A searched UPDATE or DELETE that found no row answers "no data": zero rows.
        const bool noData = rc == SQL_NO_DATA;
        if (!noData) {
            statement->Check(rc);
        }
        SQLSMALLINT columnCount = 0;
        statement->Check(ORVANTA_ODBC(api, SQLNumResultCols)(statement->Handle(), &columnCount));
        std::int64_t affected = -1;
        if (columnCount == 0) {
            SQLLEN rows = -1;
            if (SQL_SUCCEEDED(ORVANTA_ODBC(api, SQLRowCount)(statement->Handle(), &rows))) {
                affected = rows;
            } else if (noData) {
                affected = 0;
            }
        }
        return std::make_unique<OdbcCursor>(std::move(statement), columnCount, affected);
    }

    std::vector<std::string> KeyColumns(const std::string& table) override {
        OdbcStatement statement(m_link);
        const OdbcApi& api = statement.Api();
        std::string name = table;
        auto* tableName = reinterpret_cast<SQLCHAR*>(name.data());
        SQLUSMALLINT nameColumn;
        if (m_hasPrimaryKeys) {
            statement.Check(ORVANTA_ODBC(api, SQLPrimaryKeys)(statement.Handle(), nullptr, 0,
                                                              nullptr, 0, tableName, SQL_NTS));
            nameColumn = 4;  // COLUMN_NAME; KEY_SEQ follows it
        } else {
            statement.Check(ORVANTA_ODBC(api, SQLSpecialColumns)(
                statement.Handle(), SQL_BEST_ROWID, nullptr, 0, nullptr, 0, tableName, SQL_NTS,
                SQL_SCOPE_CURROW, SQL_NULLABLE));
            nameColumn = 2;  // COLUMN_NAME
        }
        std::vector<std::pair<std::int64_t, std::string>> keys;
        while (statement.FetchRow()) {
            const Value column = statement.Bytes(nameColumn, SQL_C_CHAR);
            if (IsNull(column)) {
                continue;
            }
            std::int64_t order = static_cast<std::int64_t>(keys.size());
            if (m_hasPrimaryKeys) {
                const Value sequence = statement.Integer(5);
                if (const auto* number = std::get_if<std::int64_t>(&sequence)) {
                    order = *number;
                }
            }
            keys.emplace_back(order, std::get<std::string>(column));
        }
        std::stable_sort(keys.begin(), keys.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<std::string> names;
        for (auto& key : keys) {
            names.push_back(std::move(key.second));
        }
        return names;
    }

    bool Begin() override {
        if (!m_hasTransactions) {
            return false;
        }
        const OdbcApi& api = m_link->Api();
        const SQLRETURN rc = SetAutoCommitMode(SQL_AUTOCOMMIT_OFF);
        if (SQL_SUCCEEDED(rc)) {
            return true;
        }
        std::string state;
        std::string diagnostic = FirstDiagnostic(api, SQL_HANDLE_DBC, m_link->dbc, &state);
        // "Optional feature not implemented": the driver runs in auto-commit only, so this
        // connection does not ask again.
        if (state == "HYC00") {
            m_hasTransactions = false;
            return false;
        }
        throw DriverError(CodeOf(rc), std::move(diagnostic));
    }

    void Commit() override {
        EndTransaction(SQL_COMMIT);
        SetAutoCommit(true);
    }

    void Rollback() override {
        // Back to auto-commit whatever the rollback answered; the first refusal is reported.
        std::exception_ptr failure;
        try {
            EndTransaction(SQL_ROLLBACK);
        } catch (...) {
            failure = std::current_exception();
        }
        try {
            SetAutoCommit(true);
        } catch (...) {
            if (!failure) {
                failure = std::current_exception();
            }
        }
        if (failure) {
            std::rethrow_exception(failure);
        }
    }

    std::string FileName() const override { return m_fileName; }

private:
    SQLRETURN SetAutoCommitMode(SQLULEN mode) {
        const OdbcApi& api = m_link->Api();
        return ORVANTA_ODBC(api, SQLSetConnectAttr)(
            m_link->dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(mode), SQL_IS_UINTEGER);
    }

    void SetAutoCommit(bool on) {
        Check(m_link->Api(), SetAutoCommitMode(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF),
              SQL_HANDLE_DBC, m_link->dbc);
    }

    void EndTransaction(SQLSMALLINT completion) {
        const OdbcApi& api = m_link->Api();
        Check(api, ORVANTA_ODBC(api, SQLEndTran)(SQL_HANDLE_DBC, m_link->dbc, completion),
              SQL_HANDLE_DBC, m_link->dbc);
    }

    std::shared_ptr<OdbcLink> m_link;
    std::string m_fileName;
    bool m_hasPrimaryKeys = false;
    bool m_hasTransactions = true;
};

}  // namespace

OdbcDriver::OdbcDriver(OdbcSettings settings) : m_settings(std::move(settings)) {}

OdbcDriver::~OdbcDriver() = default;

std::string OdbcDriver::LibraryName() const {
    return m_settings.libraryName.empty() ? DriverManagerLibraryName() : m_settings.libraryName;
}

std::unique_ptr<DriverConnection> OdbcDriver::Connect(const std::string& connectionString) {
    if (!m_environment) {
        auto environment = std::make_shared<OdbcEnvironment>();
        environment->api = LoadDriverManager(
            LibraryName(), m_settings.reportMissingEntryPoint
                               ? m_settings.reportMissingEntryPoint
                               : std::function<void(const std::string&)>(ReportUncaughtFailure));
        const OdbcApi& api = *environment->api;
        const SQLRETURN rc =
            ORVANTA_ODBC(api, SQLAllocHandle)(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment->env);
        if (!SQL_SUCCEEDED(rc)) {
            environment->env = SQL_NULL_HENV;
            throw DriverError(CodeOf(rc), {});
        }
        Check(api,
              ORVANTA_ODBC(api, SQLSetEnvAttr)(environment->env, SQL_ATTR_ODBC_VERSION,
                                               reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
              SQL_HANDLE_ENV, environment->env);
        m_environment = std::move(environment);
    }
    const OdbcApi& api = *m_environment->api;
    auto link = std::make_shared<OdbcLink>();
    link->environment = m_environment;
    Check(api, ORVANTA_ODBC(api, SQLAllocHandle)(SQL_HANDLE_DBC, m_environment->env, &link->dbc),
          SQL_HANDLE_ENV, m_environment->env);
    std::string text = connectionString;
    std::vector<SQLCHAR> completed(kCompletedStringSize);
    SQLSMALLINT completedLength = 0;
    Check(api,
          ORVANTA_ODBC(api, SQLDriverConnect)(
              link->dbc, static_cast<SQLHWND>(DesktopWindowHandle()),
              reinterpret_cast<SQLCHAR*>(text.data()), static_cast<SQLSMALLINT>(text.size()),
              completed.data(), kCompletedStringSize, &completedLength, SQL_DRIVER_NOPROMPT),
          SQL_HANDLE_DBC, link->dbc);
    link->connected = true;
    return std::make_unique<OdbcConnection>(std::move(link));
}

}  // namespace orvanta::db

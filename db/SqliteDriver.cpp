#include "db/SqliteDriver.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cmath>
#include <map>
#include <utility>

#include "core/Text.h"
#include "db/ConnectionString.h"
#include "db/SqlText.h"

namespace orvanta::db {

namespace {

// How long a statement waits for another station's (or the registry tool's) lock on the file
// before it fails with "database is locked": long enough for another save to finish, short
// enough that a lock left behind is reported while the operator still waits.
constexpr int kLockWaitMs = 5000;

[[noreturn]] void Fail(std::string diagnostic) {
    throw DriverError(ReturnCode::Error, std::move(diagnostic));
}

[[noreturn]] void FailWith(sqlite3* db) {
    Fail(db ? sqlite3_errmsg(db) : "out of memory");
}

// Finalizes a statement when it goes out of scope.
struct StatementHolder {
    sqlite3_stmt* stmt = nullptr;
    ~StatementHolder() { sqlite3_finalize(stmt); }
};

struct TableColumn {
    std::string type;
    bool notNull = false;
    bool hasDefault = false;
    int pk = 0;
    int hidden = 0;
};

struct TableInfo {
    std::map<std::string, TableColumn> columns;  // by upper-cased name
    bool rowIdAlias = false;                     // a single INTEGER key stands for the rowid
    std::string aliasName;
};

std::string ColumnText(sqlite3_stmt* stmt, int i) {
    const auto* text = sqlite3_column_text(stmt, i);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              static_cast<std::size_t>(sqlite3_column_bytes(stmt, i)))
                : std::string();
}

TableInfo ReadTableInfo(sqlite3* db, const std::string& schema, const std::string& table) {
    TableInfo info;
    StatementHolder q;
    if (sqlite3_prepare_v2(db,
                           "SELECT name, type, \"notnull\", dflt_value, pk, hidden "
                           "FROM pragma_table_xinfo(?1, ?2)",
                           -1, &q.stmt, nullptr) != SQLITE_OK) {
        FailWith(db);
    }
    sqlite3_bind_text(q.stmt, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(q.stmt, 2, schema.c_str(), -1, SQLITE_TRANSIENT);
    int keyCount = 0;
    std::string keyName;
    int rc;
    while ((rc = sqlite3_step(q.stmt)) == SQLITE_ROW) {
        TableColumn column;
        column.type = ColumnText(q.stmt, 1);
        column.notNull = sqlite3_column_int(q.stmt, 2) != 0;
        column.hasDefault = sqlite3_column_type(q.stmt, 3) != SQLITE_NULL;
        column.pk = sqlite3_column_int(q.stmt, 4);
        column.hidden = sqlite3_column_int(q.stmt, 5);
        const std::string name = ColumnText(q.stmt, 0);
        if (column.pk > 0) {
            ++keyCount;
            keyName = name;
        }
        info.columns[UpperAscii(name)] = std::move(column);
    }
    if (rc != SQLITE_DONE) {
        FailWith(db);
    }
    if (keyCount == 1 &&
        EqualsIgnoreCaseAscii(Trimmed(info.columns[UpperAscii(keyName)].type), "INTEGER")) {
        // In a WITHOUT ROWID table the key has an index of its own and is no rowid alias.
        StatementHolder idx;
        if (sqlite3_prepare_v2(db, "SELECT 1 FROM pragma_index_list(?1, ?2) WHERE origin = 'pk'",
                               -1, &idx.stmt, nullptr) != SQLITE_OK) {
            FailWith(db);
        }
        sqlite3_bind_text(idx.stmt, 1, table.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(idx.stmt, 2, schema.c_str(), -1, SQLITE_TRANSIENT);
        const int step = sqlite3_step(idx.stmt);
        if (step != SQLITE_ROW && step != SQLITE_DONE) {
            FailWith(db);
        }
        info.rowIdAlias = step == SQLITE_DONE;
        info.aliasName = keyName;
    }
    return info;
}

bool IsRowIdName(std::string_view name) {
    return EqualsIgnoreCaseAscii(name, "rowid") || EqualsIgnoreCaseAscii(name, "oid") ||
           EqualsIgnoreCaseAscii(name, "_rowid_");
}

std::vector<ColumnInfo> Describe(sqlite3* db, sqlite3_stmt* stmt, bool hasRow) {
    std::map<std::string, TableInfo> tables;
    std::vector<ColumnInfo> columns;
    const int count = sqlite3_column_count(stmt);
    for (int i = 0; i < count; ++i) {
        ColumnInfo column;
        column.name = sqlite3_column_name(stmt, i);
        const char* table = sqlite3_column_table_name(stmt, i);
        const char* origin = sqlite3_column_origin_name(stmt, i);
        const char* schema = sqlite3_column_database_name(stmt, i);
        if (table && origin) {
            column.baseTable = table;
            column.baseName = origin;
            const std::string key = std::string(schema ? schema : "main") + "." + table;
            auto found = tables.find(key);
            if (found == tables.end()) {
                found =
                    tables.emplace(key, ReadTableInfo(db, schema ? schema : "main", table)).first;
            }
            const TableInfo& info = found->second;
            const auto col = info.columns.find(UpperAscii(origin));
            if (col != info.columns.end()) {
                column.kind = KindOfDeclaredType(col->second.type);
                column.nullable = !col->second.notNull && col->second.pk == 0;
                column.defaultFilled = col->second.hasDefault;
                column.computed = col->second.hidden == 2 || col->second.hidden == 3;
                column.autoIncrement =
                    info.rowIdAlias && EqualsIgnoreCaseAscii(origin, info.aliasName);
                column.writable = !column.computed && !column.autoIncrement;
            } else if (IsRowIdName(origin)) {
                column.kind = FieldKind::Integer;
                column.rowId = true;
                column.nullable = false;
                column.writable = false;
            }
            column.comparable = !IsLongKind(column.kind);
        } else {
            // An expression: typed by its declared type if any, else by its first value.
            const char* declared = sqlite3_column_decltype(stmt, i);
            if (declared) {
                column.kind = KindOfDeclaredType(declared);
            } else if (hasRow && sqlite3_column_type(stmt, i) == SQLITE_INTEGER) {
                column.kind = FieldKind::Integer;
            }
            column.writable = false;
            column.comparable = false;
        }
        columns.push_back(std::move(column));
    }
    return columns;
}

Value ReadValue(sqlite3_stmt* stmt, int i, FieldKind kind) {
    const int type = sqlite3_column_type(stmt, i);
    if (type == SQLITE_NULL) {
        return Value{};
    }
    if (kind == FieldKind::Blob) {
        const void* bytes = sqlite3_column_blob(stmt, i);
        return std::string(static_cast<const char*>(bytes),
                           static_cast<std::size_t>(sqlite3_column_bytes(stmt, i)));
    }
    if (kind == FieldKind::Integer || kind == FieldKind::Flag) {
        if (type == SQLITE_INTEGER) {
            return static_cast<std::int64_t>(sqlite3_column_int64(stmt, i));
        }
        if (type == SQLITE_FLOAT) {
            const double d = sqlite3_column_double(stmt, i);
            if (std::floor(d) == d && std::fabs(d) < 9.0e18) {
                return static_cast<std::int64_t>(d);
            }
        }
    }
    return ColumnText(stmt, i);
}

class SqliteCursor : public Cursor {
public:
    SqliteCursor(sqlite3* db, sqlite3_stmt* stmt, bool hasRow, std::int64_t affected)
        : m_stmt(stmt), m_hasRow(hasRow), m_affected(affected) {
        m_columns = Describe(db, stmt, hasRow);
        if (!m_hasRow) {
            Release();
        }
    }
    ~SqliteCursor() override { Release(); }

    const std::vector<ColumnInfo>& Columns() const override { return m_columns; }
    bool AtEnd() const override { return !m_hasRow; }
    std::int64_t AffectedRows() const override { return m_affected; }

    std::size_t Fetch(std::vector<Row>& rows, std::size_t maxRows) override {
        std::size_t fetched = 0;
        while (m_hasRow && fetched < maxRows) {
            Row row;
            row.reserve(m_columns.size());
            for (std::size_t i = 0; i < m_columns.size(); ++i) {
                row.push_back(ReadValue(m_stmt, static_cast<int>(i), m_columns[i].kind));
            }
            rows.push_back(std::move(row));
            ++fetched;
            const int rc = sqlite3_step(m_stmt);
            if (rc == SQLITE_DONE) {
                Release();
            } else if (rc != SQLITE_ROW) {
                std::string message = sqlite3_errmsg(sqlite3_db_handle(m_stmt));
                Release();
                Fail(std::move(message));
            }
        }
        return fetched;
    }

private:
    // Finishing the statement ends its read of the file, so other programs may write again.
    void Release() {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        m_hasRow = false;
    }

    sqlite3_stmt* m_stmt;
    bool m_hasRow;
    std::int64_t m_affected;
    std::vector<ColumnInfo> m_columns;
};

bool IsRowChange(std::string_view sql) {
    const std::vector<SqlToken> tokens = SqlTokens(sql);
    if (tokens.empty() || tokens.front().kind != SqlToken::Kind::Word) {
        return false;
    }
    const std::string word =
        UpperAscii(sql.substr(tokens.front().begin, tokens.front().end - tokens.front().begin));
    return word == "INSERT" || word == "UPDATE" || word == "DELETE" || word == "REPLACE";
}

class SqliteConnection : public DriverConnection {
public:
    explicit SqliteConnection(sqlite3* db) : m_db(db) {}
    ~SqliteConnection() override { sqlite3_close_v2(m_db); }

    std::unique_ptr<Cursor> Execute(const std::string& sql,
                                    const std::vector<BoundValue>& values) override {
        const std::string text = ReplaceIdentity(sql, "last_insert_rowid()");
        StatementHolder holder;
        const char* tail = nullptr;
        if (sqlite3_prepare_v2(m_db, text.c_str(), static_cast<int>(text.size()), &holder.stmt,
                               &tail) != SQLITE_OK) {
            FailWith(m_db);
        }
        if (!holder.stmt) {
            Fail("the statement text is empty");
        }
        if (tail && *tail) {
            StatementHolder rest;
            if (sqlite3_prepare_v2(m_db, tail, -1, &rest.stmt, nullptr) != SQLITE_OK || rest.stmt) {
                Fail("only one statement can run at a time");
            }
        }
        if (sqlite3_bind_parameter_count(holder.stmt) != static_cast<int>(values.size())) {
            Fail("the statement has " + std::to_string(sqlite3_bind_parameter_count(holder.stmt)) +
                 " markers but " + std::to_string(values.size()) + " values were given");
        }
        for (std::size_t i = 0; i < values.size(); ++i) {
            Bind(holder.stmt, static_cast<int>(i) + 1, values[i]);
        }
        const int rc = sqlite3_step(holder.stmt);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
            FailWith(m_db);
        }
        const std::int64_t affected =
            rc == SQLITE_DONE && IsRowChange(text) ? sqlite3_changes64(m_db) : -1;
        sqlite3_stmt* stmt = holder.stmt;
        holder.stmt = nullptr;
        return std::make_unique<SqliteCursor>(m_db, stmt, rc == SQLITE_ROW, affected);
    }

    std::vector<std::string> KeyColumns(const std::string& table) override {
        StatementHolder q;
        if (sqlite3_prepare_v2(m_db,
                               "SELECT name FROM pragma_table_info(?1) WHERE pk > 0 ORDER BY pk",
                               -1, &q.stmt, nullptr) != SQLITE_OK) {
            FailWith(m_db);
        }
        sqlite3_bind_text(q.stmt, 1, table.c_str(), -1, SQLITE_TRANSIENT);
        std::vector<std::string> keys;
        int rc;
        while ((rc = sqlite3_step(q.stmt)) == SQLITE_ROW) {
            keys.push_back(ColumnText(q.stmt, 0));
        }
        if (rc != SQLITE_DONE) {
            FailWith(m_db);
        }
        return keys;
    }

    bool Begin() override {
        Run("BEGIN");
        return true;
    }
    void Commit() override { Run("COMMIT"); }
    void Rollback() override {
        // Some failures (a full disk, a lock lost) end the transaction on their own.
        if (!sqlite3_get_autocommit(m_db)) {
            Run("ROLLBACK");
        }
    }

    std::string FileName() const override { return "libsqlite3"; }

private:
    void Run(const char* sql) {
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
            FailWith(m_db);
        }
    }

    static void Bind(sqlite3_stmt* stmt, int at, const BoundValue& bound) {
        if (const auto* number = std::get_if<std::int64_t>(&bound.value)) {
            sqlite3_bind_int64(stmt, at, *number);
        } else if (const auto* text = std::get_if<std::string>(&bound.value)) {
            if (bound.kind == FieldKind::Blob) {
                sqlite3_bind_blob64(stmt, at, text->data(), text->size(), SQLITE_TRANSIENT);
            } else {
                sqlite3_bind_text64(stmt, at, text->data(), text->size(), SQLITE_TRANSIENT,
                                    SQLITE_UTF8);
            }
        } else {
            sqlite3_bind_null(stmt, at);
        }
    }

    sqlite3* m_db;
};

bool IsYes(std::string_view value) {
    return value == "1" || EqualsIgnoreCaseAscii(value, "true") ||
           EqualsIgnoreCaseAscii(value, "yes");
}

}  // namespace

FieldKind KindOfDeclaredType(std::string_view declared) {
    std::string word = UpperAscii(Trimmed(declared));
    const std::size_t end = word.find_first_of(" (");
    if (end != std::string::npos) {
        word.resize(end);
    }
    static const std::map<std::string, FieldKind> kinds = {
        {"INTEGER", FieldKind::Integer},
        {"INT", FieldKind::Integer},
        {"COUNTER", FieldKind::Integer},
        {"LONG", FieldKind::Integer},
        {"SMALLINT", FieldKind::Integer},
        {"TINYINT", FieldKind::Integer},
        {"BIGINT", FieldKind::Integer},
        {"BYTE", FieldKind::Integer},
        {"AUTOINCREMENT", FieldKind::Integer},
        {"BOOLEAN", FieldKind::Flag},
        {"BIT", FieldKind::Flag},
        {"YESNO", FieldKind::Flag},
        {"LOGICAL", FieldKind::Flag},
        {"MEMO", FieldKind::LongText},
        {"LONGTEXT", FieldKind::LongText},
        {"BLOB", FieldKind::Blob},
        {"LONGBINARY", FieldKind::Blob},
    };
    const auto found = kinds.find(word);
    return found == kinds.end() ? FieldKind::Text : found->second;
}

std::unique_ptr<DriverConnection> SqliteDriver::Connect(const std::string& connectionString) {
    const std::string path = ConnectionStringValue(connectionString, "DBQ");
    if (path.empty()) {
        Fail("no database file named in the connection string (DBQ)");
    }
    // SQLite would create a missing file; the registry is never created here.
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        Fail("database file '" + path + "' does not exist");
    }
    const int flags = IsYes(ConnectionStringValue(connectionString, "ReadOnly"))
                          ? SQLITE_OPEN_READONLY
                          : SQLITE_OPEN_READWRITE;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        std::string message = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close_v2(db);
        Fail(message + " '" + path + "'");
    }
    sqlite3_busy_timeout(db, kLockWaitMs);
    // Opening is lazy; reading the catalogue proves the file is a database.
    char* error = nullptr;
    if (sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, &error) !=
        SQLITE_OK) {
        std::string message = error ? error : sqlite3_errmsg(db);
        sqlite3_free(error);
        sqlite3_close_v2(db);
        Fail(message + " '" + path + "'");
    }
    return std::make_unique<SqliteConnection>(db);
}

}  // namespace orvanta::db

#include "db/Query.h"

#include <algorithm>

#include "core/Failure.h"
#include "core/Text.h"
#include "db/Connection.h"
#include "db/Errors.h"
#include "db/SqlText.h"
#include "db/UpdateStatements.h"

namespace orvanta::db {

namespace {

const Value kNullValue{};

}  // namespace

Query::Query(Connection& connection, std::string name)
    : m_conn(&connection), m_name(std::move(name)) {
    m_conn->Register(this);
}

Query::~Query() {
    m_observer = nullptr;
    if (m_conn) {
        Close();
        m_conn->Unregister(this);
    }
}

void Query::SqlClear() {
    Close();
    m_sql.clear();
}

void Query::SqlAdd(std::string line) {
    Close();
    m_sql.push_back(std::move(line));
}

std::string Query::Statement() const {
    std::string text;
    for (std::size_t i = 0; i < m_sql.size(); ++i) {
        if (i > 0) {
            text += '\n';
        }
        text += m_sql[i];
    }
    return text;
}

void Query::DatasetError(std::string_view text) const {
    throw Failure(DatasetText(m_name, text));
}

void Query::CheckActive() const {
    if (!Active()) {
        DatasetError(kClosedDataset);
    }
}

void Query::Notify(DataChange change, std::size_t row, std::size_t count) {
    if (m_observer) {
        m_observer(DataEvent{change, row, count});
    }
}

void Query::Open() {
    if (Active()) {
        return;
    }
    // The driver receives the lines exactly as written, each ended by a line feed.
    std::string text;
    for (const std::string& line : m_sql) {
        text += line;
        text += '\n';
    }
    std::unique_ptr<Cursor> cursor = m_conn->Execute(text, {});
    std::string updateTable = UpdateTableOf(Statement());
    std::vector<std::string> keys;
    if (!updateTable.empty()) {
        keys = m_conn->KeyColumns(updateTable);
    }
    m_columns = cursor->Columns();
    m_cursor = std::move(cursor);
    m_updateTable = std::move(updateTable);
    m_keyColumns = std::move(keys);
    m_rows.clear();
    m_current = 0;
    m_modified = false;
    m_countKnown = false;
    m_state = DatasetState::Browse;
    try {
        FetchBlock(false);  // the reset below tells of these rows
    } catch (...) {
        Close();
        throw;
    }
    m_eof = m_rows.empty();
    Notify(DataChange::Reset);
}

void Query::Close() {
    if (!Active()) {
        return;
    }
    m_cursor.reset();
    std::vector<Row>().swap(m_rows);
    m_columns.clear();
    m_updateTable.clear();
    m_keyColumns.clear();
    m_oldValues.clear();
    m_current = 0;
    m_eof = true;
    m_modified = false;
    m_countKnown = false;
    m_count = 0;
    m_state = DatasetState::Inactive;
    Notify(DataChange::Reset);
}

std::size_t Query::FetchBlock(bool notify) {
    if (!m_cursor) {
        return 0;
    }
    const std::size_t before = m_rows.size();
    try {
        m_conn->Fetch(*m_cursor, m_rows, kRowsetSize);
    } catch (...) {
        if (m_cursor->AtEnd()) {
            m_cursor.reset();
        }
        if (notify && m_rows.size() > before) {
            Notify(DataChange::RowsFetched, before, m_rows.size() - before);
        }
        throw;
    }
    if (m_cursor->AtEnd()) {
        m_cursor.reset();
    }
    const std::size_t fetched = m_rows.size() - before;
    if (notify && fetched > 0) {
        Notify(DataChange::RowsFetched, before, fetched);
    }
    return fetched;
}

void Query::FetchAll() {
    while (FetchBlock() > 0) {
    }
}

bool Query::FetchMore() {
    return Active() && FetchBlock() > 0;
}

const Value& Query::CellValue(std::size_t row, std::size_t column) const {
    return m_rows.at(row).at(column);
}

void Query::FinishPending() {
    if (m_state == DatasetState::Edit || m_state == DatasetState::Insert) {
        if (m_modified) {
            Post();
        } else {
            Cancel();
        }
    }
}

void Query::First() {
    CheckActive();
    FinishPending();
    CheckActive();  // a post's handler may have closed the query
    m_current = 0;
    m_eof = m_rows.empty();
    Notify(DataChange::Moved, m_current);
}

void Query::Next() {
    CheckActive();
    FinishPending();
    CheckActive();
    if (!m_rows.empty() && m_current + 1 >= m_rows.size()) {
        FetchBlock();
    }
    if (m_current + 1 < m_rows.size()) {
        ++m_current;
        m_eof = false;
    } else {
        m_eof = true;
    }
    Notify(DataChange::Moved, m_current);
}

void Query::MoveTo(std::size_t row) {
    CheckActive();
    FinishPending();
    CheckActive();
    while (row >= m_rows.size() && FetchBlock() > 0) {
    }
    if (m_rows.empty()) {
        m_current = 0;
        m_eof = true;
    } else {
        m_current = std::min(row, m_rows.size() - 1);
        m_eof = false;
    }
    Notify(DataChange::Moved, m_current);
}

std::int64_t Query::RecordCount() {
    if (!Active()) {
        return 0;
    }
    if (m_countKnown) {
        return m_count;
    }
    const std::string statement = Statement();
    const std::size_t orderBy = FindOrderBy(statement);
    const std::string counted =
        orderBy == std::string::npos ? statement : statement.substr(0, orderBy);
    const std::string text = "SELECT COUNT(*) FROM (\n" + counted + "\n) A\n";
    std::vector<Row> rows;
    {
        std::unique_ptr<Cursor> cursor = m_conn->Execute(text, {});
        m_conn->Fetch(*cursor, rows, 1);
    }
    std::int64_t count = 0;
    if (!rows.empty() && !rows.front().empty()) {
        const Value& value = rows.front().front();
        if (const auto* number = std::get_if<std::int64_t>(&value)) {
            count = *number;
        } else if (const auto* text = std::get_if<std::string>(&value)) {
            ParseDecimal(*text, count);
        }
    }
    m_count = count;
    m_countKnown = true;
    return m_count;
}

Field Query::FieldByName(std::string_view name) {
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        if (EqualsIgnoreCaseAscii(m_columns[i].name, name)) {
            return Field(*this, i);
        }
    }
    DatasetError(Fill(kFieldNotFound, {name}));
}

Field Query::Fields(std::size_t index) {
    if (index >= m_columns.size()) {
        throw Failure("List index out of bounds (" + std::to_string(index) + ")");
    }
    return Field(*this, index);
}

const Value& Query::CurrentValue(std::size_t column) const {
    if (column >= m_columns.size()) {
        throw Failure("List index out of bounds (" + std::to_string(column) + ")");
    }
    return m_rows.empty() ? kNullValue : m_rows[m_current][column];
}

const Value& Query::OldValue(std::size_t column) const {
    if (m_state == DatasetState::Edit || m_state == DatasetState::Insert) {
        if (column >= m_oldValues.size()) {
            throw Failure("List index out of bounds (" + std::to_string(column) + ")");
        }
        return m_oldValues[column];
    }
    return CurrentValue(column);
}

void Query::SetCurrentValue(std::size_t column, Value value) {
    if (column >= m_columns.size()) {
        throw Failure("List index out of bounds (" + std::to_string(column) + ")");
    }
    if (m_state != DatasetState::Edit && m_state != DatasetState::Insert) {
        DatasetError(kNotEditing);
    }
    m_rows[m_current][column] = std::move(value);
    m_modified = true;
    Notify(DataChange::RowChanged, m_current);
}

void Query::Edit() {
    CheckActive();
    if (m_state == DatasetState::Edit || m_state == DatasetState::Insert) {
        return;
    }
    if (m_rows.empty()) {
        StartInsertion();
        return;
    }
    m_oldValues = m_rows[m_current];
    m_modified = false;
    m_state = DatasetState::Edit;
    Notify(DataChange::StateChanged, m_current);
}

void Query::Append() {
    CheckActive();
    FinishPending();
    CheckActive();
    StartInsertion();
}

void Query::StartInsertion() {
    // The new row goes after the last row of the whole result.
    FetchAll();
    m_returnRow = m_rows.empty() ? 0 : m_rows.size() - 1;
    m_rows.emplace_back(m_columns.size());
    m_current = m_rows.size() - 1;
    m_oldValues = m_rows.back();
    m_modified = false;
    m_eof = false;
    m_state = DatasetState::Insert;
    Notify(DataChange::RowInserted, m_current);
    Notify(DataChange::StateChanged, m_current);
}

void Query::Cancel() {
    if (m_state == DatasetState::Edit) {
        m_rows[m_current] = m_oldValues;
        m_state = DatasetState::Browse;
        m_modified = false;
        Notify(DataChange::RowChanged, m_current);
        Notify(DataChange::StateChanged, m_current);
    } else if (m_state == DatasetState::Insert) {
        const std::size_t removed = m_current;
        m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(removed));
        m_state = DatasetState::Browse;
        m_modified = false;
        Notify(DataChange::RowRemoved, removed);
        m_current = m_rows.empty() ? 0 : std::min(m_returnRow, m_rows.size() - 1);
        m_eof = m_rows.empty();
        Notify(DataChange::StateChanged, m_current);
        Notify(DataChange::Moved, m_current);
    }
}

void Query::Post() {
    if (m_state != DatasetState::Edit && m_state != DatasetState::Insert) {
        DatasetError(kNotEditing);
    }
    WriteRow();
    m_oldValues = m_rows[m_current];
    m_modified = false;
    m_state = DatasetState::Browse;
    Notify(DataChange::RowChanged, m_current);
    Notify(DataChange::StateChanged, m_current);
    // Last: the handler may close and reopen this very query.
    if (m_afterPost) {
        const std::function<void()> handler = m_afterPost;
        handler();
    }
}

void Query::RunChange(const std::string& sql, const std::vector<BoundValue>& values,
                      UpdateKind kind, const std::function<void()>& beforeCommit) {
    // A statement that reaches more rows (or none) than the one meant must change nothing, so
    // it runs in a transaction of its own that a wrong count rolls back. A driver without
    // transactions commits it as it runs, as the program always did: the count is still
    // checked, but the error then tells of a change already made.
    const bool inTransaction = m_conn->Begin();
    const auto rollBackQuietly = [&] {
        if (!inTransaction) {
            return;
        }
        try {
            m_conn->Rollback();
        } catch (const std::exception&) {
            // The failure already on its way is the one worth showing.
        }
    };
    std::int64_t affected = -1;
    try {
        std::unique_ptr<Cursor> cursor = m_conn->Execute(sql, values);
        affected = cursor->AffectedRows();
    } catch (...) {
        rollBackQuietly();
        throw;
    }
    if (affected >= 0 && affected != 1) {
        if (inTransaction) {
            m_conn->Rollback();
        }
        throw Failure(RowsAffectedText(kind, affected));
    }
    try {
        if (beforeCommit) {
            beforeCommit();
        }
        if (inTransaction) {
            m_conn->Commit();
        }
    } catch (...) {
        rollBackQuietly();
        throw;
    }
}

void Query::WriteRow() {
    const bool insertion = m_state == DatasetState::Insert;
    if (m_updateTable.empty()) {
        if (insertion || m_rows[m_current] != m_oldValues) {
            throw Failure(NoUpdateTableText());
        }
        return;
    }
    const UpdateStatements statements(m_updateTable, m_columns, m_keyColumns);
    // The read-back runs inside the statement's transaction: when it fails, the row is not
    // stored either, so saving it again cannot store it twice (a driver without transactions
    // has stored it already).
    const std::optional<ReadBack> readBack = statements.ReadBackAfter(insertion, m_rows[m_current]);
    std::vector<Row> rows;
    const auto readBackRow = [&] {
        if (!readBack) {
            return;
        }
        {
            std::unique_ptr<Cursor> cursor =
                m_conn->Execute(readBack->statement.sql, readBack->statement.values);
            m_conn->Fetch(*cursor, rows, 2);
        }
        if (rows.size() != 1) {
            throw Failure(ExactFetchText());
        }
    };
    if (insertion) {
        const GeneratedStatement insert = statements.Insert(m_rows[m_current]);
        RunChange(insert.sql, insert.values, UpdateKind::Insert, readBackRow);
    } else {
        const std::optional<GeneratedStatement> update =
            statements.Update(m_oldValues, m_rows[m_current]);
        if (!update) {
            // Changed values that no column of the update table holds (a view's columns come
            // from its tables) would otherwise be dropped without a word.
            if (m_rows[m_current] != m_oldValues) {
                throw Failure(NoUpdateTableText());
            }
            return;
        }
        RunChange(update->sql, update->values, UpdateKind::Update, readBackRow);
    }
    if (!readBack) {
        return;
    }
    for (std::size_t i = 0; i < readBack->targets.size() && i < rows[0].size(); ++i) {
        m_rows[m_current][readBack->targets[i]] = rows[0][i];
    }
    Notify(DataChange::RowChanged, m_current);
}

void Query::Delete() {
    CheckActive();
    if (m_state == DatasetState::Insert) {
        Cancel();
        return;
    }
    if (m_rows.empty()) {
        DatasetError(kEmptyDataset);
    }
    if (m_updateTable.empty()) {
        throw Failure(NoUpdateTableText());
    }
    // A row in edit state is found by the values it had before the edit.
    const Row& identity = m_state == DatasetState::Edit ? m_oldValues : m_rows[m_current];
    const UpdateStatements statements(m_updateTable, m_columns, m_keyColumns);
    const GeneratedStatement deletion = statements.Delete(identity);
    RunChange(deletion.sql, deletion.values, UpdateKind::Delete);

    const bool wasEditing = m_state == DatasetState::Edit;
    const std::size_t removed = m_current;
    m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(removed));
    m_state = DatasetState::Browse;
    m_modified = false;
    Notify(DataChange::RowRemoved, removed);
    if (m_current >= m_rows.size()) {
        FetchBlock();
    }
    if (m_current >= m_rows.size()) {
        m_current = m_rows.empty() ? 0 : m_rows.size() - 1;
    }
    m_eof = m_rows.empty();
    if (wasEditing) {
        Notify(DataChange::StateChanged, m_current);
    }
    Notify(DataChange::Moved, m_current);
}

}  // namespace orvanta::db

#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/Driver.h"
#include "db/Field.h"
#include "db/Value.h"

namespace orvanta::db {

class Connection;
enum class UpdateKind;

enum class DatasetState { Inactive, Browse, Edit, Insert };

// What changed in a query, told after the change, so a grid can follow it.
enum class DataChange {
    Reset,        // opened or closed: everything is new
    RowsFetched,  // `count` rows were added at the end, from `row` on
    RowInserted,  // a new row at `row`
    RowRemoved,   // the row at `row` left the result
    RowChanged,   // values of the row at `row` changed
    Moved,        // the current row (or the end-of-data flag) changed
    StateChanged,
};

struct DataEvent {
    DataChange change;
    std::size_t row = 0;
    std::size_t count = 0;
};

// A query object: statement text lines, open and close, forward navigation with an
// end-of-data flag, the kept row count, fields, and row editing that writes each posted
// or deleted row as one generated statement.
class Query {
public:
    // Rows are fetched from the driver this many at a time, as the caller moves on.
    static constexpr std::size_t kRowsetSize = 50;

    Query(Connection& connection, std::string name);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    const std::string& Name() const { return m_name; }

    // The statement text. Changing it closes an open query first, so the result, its count
    // and its text always belong together.
    const std::vector<std::string>& SQL() const { return m_sql; }
    void SqlClear();
    void SqlAdd(std::string line);
    // The lines joined by line feeds.
    std::string Statement() const;

    // Runs the statement; browse state on the first row (end-of-data when there is none).
    // Opening an open query does nothing.
    void Open();
    // Discards the result and any unposted row; forgets the kept count.
    void Close();
    bool Active() const { return m_state != DatasetState::Inactive; }
    DatasetState State() const { return m_state; }

    // Moves finish a pending row first: posted when a value was set, dropped otherwise.
    void First();
    void Next();
    bool Eof() const { return m_eof; }
    bool IsEmpty() const { return m_rows.empty(); }

    // The statement's total number of rows, counted once per opening; 0 when closed.
    std::int64_t RecordCount();

    void Edit();
    void Append();
    void Post();
    void Delete();
    // Drops a pending row: edits are undone, a new row leaves the result.
    void Cancel();
    bool Modified() const { return m_modified; }

    std::size_t FieldCount() const { return m_columns.size(); }
    const std::vector<ColumnInfo>& Columns() const { return m_columns; }
    // By name without regard to case; raises "<name>: Field '<field>' not found".
    Field FieldByName(std::string_view name);
    Field Fields(std::size_t index);
    // The table posted rows and deletions go to; empty when the statement names none.
    const std::string& UpdateTable() const { return m_updateTable; }

    void SetAfterPost(std::function<void()> handler) { m_afterPost = std::move(handler); }
    void SetObserver(std::function<void(const DataEvent&)> observer) {
        m_observer = std::move(observer);
    }

    // Random access to the rows fetched so far, for a grid that fetches as it scrolls.
    std::size_t FetchedRowCount() const { return m_rows.size(); }
    bool AllFetched() const { return !m_cursor; }
    // Fetches the next block; false when no rows were left.
    bool FetchMore();
    const Value& CellValue(std::size_t row, std::size_t column) const;
    // The current row's index among the fetched rows (0 on an empty result).
    std::size_t CurrentRow() const { return m_current; }
    // Makes a row current (fetching up to it); past the end it goes to the last row.
    void MoveTo(std::size_t row);

private:
    friend class Field;
    friend class Connection;

    const Value& CurrentValue(std::size_t column) const;
    const Value& OldValue(std::size_t column) const;
    void SetCurrentValue(std::size_t column, Value value);

    [[noreturn]] void DatasetError(std::string_view text) const;
    void CheckActive() const;
    void Notify(DataChange change, std::size_t row = 0, std::size_t count = 0);
    std::size_t FetchBlock(bool notify = true);
    void FetchAll();
    // Posts a pending row when it was changed, drops it otherwise.
    void FinishPending();
    void StartInsertion();
    // Writes the pending row and reads back what the database filled in.
    void WriteRow();
    // Runs a generated statement in a transaction of its own; `beforeCommit` runs inside it.
    void RunChange(const std::string& sql, const std::vector<BoundValue>& values, UpdateKind kind,
                   const std::function<void()>& beforeCommit = {});
    void ReadBackInto(bool insertion);

    Connection* m_conn;
    std::string m_name;
    std::vector<std::string> m_sql;
    DatasetState m_state = DatasetState::Inactive;
    std::unique_ptr<Cursor> m_cursor;
    std::vector<ColumnInfo> m_columns;
    std::string m_updateTable;
    std::vector<std::string> m_keyColumns;
    std::vector<Row> m_rows;
    std::size_t m_current = 0;
    bool m_eof = true;
    Row m_oldValues;
    bool m_modified = false;
    std::size_t m_returnRow = 0;  // where a dropped new row leaves the current row
    bool m_countKnown = false;
    std::int64_t m_count = 0;
    std::function<void()> m_afterPost;
    std::function<void(const DataEvent&)> m_observer;
};

}  // namespace orvanta::db

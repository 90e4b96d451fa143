#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "db/Value.h"

namespace orvanta::db {

// The unsuccessful answers a driver call can give, named as the call-level interface names
// them; the layer shows the name when the driver has no diagnostic to offer.
enum class ReturnCode { Error, InvalidHandle, NoData, NeedData, StillExecuting };
const char* ReturnCodeName(ReturnCode code);

// A driver call that failed. It is not an operator-facing failure yet: the connection words
// it (driver prefix, first diagnostic) before it leaves the layer.
class DriverError : public std::exception {
public:
    DriverError(ReturnCode code, std::string diagnostic)
        : m_code(code), m_diagnostic(std::move(diagnostic)) {}
    ReturnCode Code() const { return m_code; }
    // The message text of the driver's first diagnostic record; empty when it gave none.
    const std::string& Diagnostic() const { return m_diagnostic; }
    const char* what() const noexcept override { return m_diagnostic.c_str(); }

private:
    ReturnCode m_code;
    std::string m_diagnostic;
};

// The result of one statement. Rows come on demand; a cursor that has delivered its last row
// releases what it held in the database.
class Cursor {
public:
    virtual ~Cursor() = default;
    virtual const std::vector<ColumnInfo>& Columns() const = 0;
    // Appends at most maxRows rows; returns how many it appended.
    virtual std::size_t Fetch(std::vector<Row>& rows, std::size_t maxRows) = 0;
    virtual bool AtEnd() const = 0;
    // Rows an INSERT, UPDATE or DELETE affected; -1 when the driver cannot tell.
    virtual std::int64_t AffectedRows() const = 0;
};

// One open connection. Statements run exactly as written, with the values bound to the "?"
// markers by position, each committed on its own unless a transaction is open.
class DriverConnection {
public:
    virtual ~DriverConnection() = default;
    virtual std::unique_ptr<Cursor> Execute(const std::string& sql,
                                            const std::vector<BoundValue>& values) = 0;
    // A transaction: after Begin, statements take effect only when Commit is called, and
    // Rollback undoes them all; either one ends it and returns to committing each statement
    // on its own. Transactions do not nest. A cursor still open on a result keeps working
    // across them. Rollback is called while another failure is on its way out, and after a
    // failed statement; it must leave the connection usable (and out of the transaction)
    // whatever happened inside. Begin answers whether a transaction is open: a driver that
    // cannot do transactions answers false and opens none, so its statements go on committing
    // each on its own as they run, and the caller neither commits nor rolls back for that
    // Begin. Otherwise all three raise DriverError when the driver refuses.
    virtual bool Begin() = 0;
    virtual void Commit() = 0;
    virtual void Rollback() = 0;
    // The table's key columns from the catalogue: the primary key, else the best row
    // identifier; empty when it has neither (or the table is unknown).
    virtual std::vector<std::string> KeyColumns(const std::string& table) = 0;
    // The driver's file name, used in error texts.
    virtual std::string FileName() const = 0;
};

class Driver {
public:
    virtual ~Driver() = default;
    // Connects without prompting, with the whole connection string.
    virtual std::unique_ptr<DriverConnection> Connect(const std::string& connectionString) = 0;
};

}  // namespace orvanta::db

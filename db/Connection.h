#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/Driver.h"
#include "db/Value.h"

namespace orvanta::db {

class Query;

// Sees every statement the connection sends, with its bound values in order: the callers'
// statements, the count statements, the generated statements and their read-backs.
using StatementTrace =
    std::function<void(const std::string& sql, const std::vector<Value>& values)>;

// Called around every driver call, so the window can show the SQL-wait pointer while the
// database works (and restore it once no activity has been seen for a short while).
struct ActivityHook {
    std::function<void()> busy;
    std::function<void()> idle;
};

// The connection object: a definition of "key=value" lines turned into a connection string,
// and the queries that run on it. Queries must not outlive their connection.
class Connection {
public:
    explicit Connection(std::string connectionName = "conndb",
                        std::unique_ptr<Driver> driver = nullptr);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const std::string& ConnectionName() const { return m_name; }

    const std::vector<std::string>& Params() const { return m_params; }
    void ClearParams() { m_params.clear(); }
    void AddParam(std::string line) { m_params.push_back(std::move(line)); }

    // The string Connect hands to the driver.
    std::string ConnectionString() const;

    bool Connected() const { return m_driverConnection != nullptr; }
    void SetConnected(bool connected);
    // Connecting a connected object does nothing; on failure it stays disconnected.
    void Connect();
    // Closes every open query (dropping unposted rows), then ends the connection.
    void Disconnect();

    void SetTrace(StatementTrace trace) { m_trace = std::move(trace); }
    void SetActivityHook(ActivityHook hook) { m_hook = std::move(hook); }

    // For the queries: one statement run through the driver, traced, with driver failures
    // worded for the operator. Connects first when disconnected.
    std::unique_ptr<Cursor> Execute(const std::string& sql, const std::vector<BoundValue>& values);
    std::vector<std::string> KeyColumns(const std::string& table);
    // The driver's transaction calls (see DriverConnection), worded like statements; they are
    // not statements and the trace does not see them. Begin answers whether a transaction is
    // open (false from a driver without transactions).
    bool Begin();
    void Commit();
    void Rollback();
    std::size_t Fetch(Cursor& cursor, std::vector<Row>& rows, std::size_t maxRows);

private:
    friend class Query;
    void Register(Query* query);
    void Unregister(Query* query);

    // Runs a driver call with the activity hook around it and its DriverError worded.
    template <typename Call>
    auto DriverCall(Call&& call) -> decltype(call());

    std::string m_name;
    std::unique_ptr<Driver> m_driver;
    std::unique_ptr<DriverConnection> m_driverConnection;
    std::string m_driverFileName;
    std::vector<std::string> m_params;
    std::vector<Query*> m_queries;
    StatementTrace m_trace;
    ActivityHook m_hook;
};

}  // namespace orvanta::db

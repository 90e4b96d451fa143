#include "db/Connection.h"

#include <algorithm>

#include "core/Failure.h"
#include "db/ConnectionString.h"
#include "db/DefaultDriver.h"
#include "db/Errors.h"
#include "db/Query.h"

namespace orvanta::db {

namespace {

class ActivityScope {
public:
    explicit ActivityScope(const ActivityHook& hook) : m_hook(hook) {
        if (m_hook.busy) {
            m_hook.busy();
        }
    }
    ~ActivityScope() {
        if (m_hook.idle) {
            m_hook.idle();
        }
    }

private:
    const ActivityHook& m_hook;
};

}  // namespace

Connection::Connection(std::string connectionName, std::unique_ptr<Driver> driver)
    : m_name(std::move(connectionName)),
      m_driver(driver ? std::move(driver) : MakeDefaultDriver()) {}

Connection::~Connection() {
    Disconnect();
    for (Query* query : m_queries) {
        query->m_conn = nullptr;
    }
}

std::string Connection::ConnectionString() const {
    return BuildConnectionString(m_params);
}

void Connection::SetConnected(bool connected) {
    if (connected) {
        Connect();
    } else {
        Disconnect();
    }
}

template <typename Call>
auto Connection::DriverCall(Call&& call) -> decltype(call()) {
    ActivityScope scope(m_hook);
    try {
        return call();
    } catch (const DriverError& error) {
        // Before a connection exists the driver manager itself answers.
        throw Failure(DriverErrorText(error, Connected() ? m_driverFileName : "CLI"));
    }
}

void Connection::Connect() {
    if (Connected()) {
        return;
    }
    const std::string connectionString = ConnectionString();
    auto connection = DriverCall([&] { return m_driver->Connect(connectionString); });
    m_driverFileName = connection->FileName();
    m_driverConnection = std::move(connection);
}

void Connection::Disconnect() {
    // A query may unregister while closing; walk a copy.
    const std::vector<Query*> queries = m_queries;
    for (Query* query : queries) {
        query->Close();
    }
    m_driverConnection.reset();
}

std::unique_ptr<Cursor> Connection::Execute(const std::string& sql,
                                            const std::vector<BoundValue>& values) {
    Connect();
    if (m_trace) {
        std::vector<Value> traced;
        traced.reserve(values.size());
        for (const BoundValue& value : values) {
            traced.push_back(value.value);
        }
        m_trace(sql, traced);
    }
    return DriverCall([&] { return m_driverConnection->Execute(sql, values); });
}

std::vector<std::string> Connection::KeyColumns(const std::string& table) {
    Connect();
    return DriverCall([&] { return m_driverConnection->KeyColumns(table); });
}

bool Connection::Begin() {
    Connect();
    return DriverCall([&] { return m_driverConnection->Begin(); });
}

void Connection::Commit() {
    Connect();
    DriverCall([&] { m_driverConnection->Commit(); });
}

void Connection::Rollback() {
    Connect();
    DriverCall([&] { m_driverConnection->Rollback(); });
}

std::size_t Connection::Fetch(Cursor& cursor, std::vector<Row>& rows, std::size_t maxRows) {
    return DriverCall([&] { return cursor.Fetch(rows, maxRows); });
}

void Connection::Register(Query* query) {
    m_queries.push_back(query);
}

void Connection::Unregister(Query* query) {
    m_queries.erase(std::remove(m_queries.begin(), m_queries.end(), query), m_queries.end());
}

}  // namespace orvanta::db

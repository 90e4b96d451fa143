#pragma once

#include <functional>
#include <memory>
#include <string>

#include "db/Driver.h"

namespace orvanta::db {

struct OdbcEnvironment;

struct OdbcSettings {
    // The driver manager library; empty for the platform's own (odbc32.dll, libodbc.so.2).
    std::string libraryName;
    // Where error 315 (an entry point the library lacks) is shown while loading goes on;
    // empty for the application's handler for uncaught failures.
    std::function<void(const std::string& message)> reportMissingEntryPoint;
};

// The registry file through the ODBC driver manager, loaded at run time on the first connect
// and kept loaded. Narrow (ANSI) calls throughout: text passes as bytes, unchanged. Connects
// without prompting; statements run as written, values bound to the "?" markers by position,
// each committed on its own outside a transaction (auto-commit off and SQLEndTran within
// one). A driver that answers SQL_TC_NONE to SQL_TXN_CAPABLE, or refuses auto-commit off with
// HYC00, gets no transactions: Begin answers false. Keys come from SQLPrimaryKeys when the
// driver has it, else from SQLSpecialColumns' best row identifier.
class OdbcDriver : public Driver {
public:
    explicit OdbcDriver(OdbcSettings settings = {});
    ~OdbcDriver() override;

    std::unique_ptr<DriverConnection> Connect(const std::string& connectionString) override;

    // The library name in use.
    std::string LibraryName() const;

private:
    OdbcSettings m_settings;
    std::shared_ptr<OdbcEnvironment> m_environment;
};

}  // namespace orvanta::db

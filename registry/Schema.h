#pragma once

namespace orvanta::registry {

// The players' table as the registry file holds it. The manager never creates it; the
// registry tool does.
inline constexpr const char* kManagerTableSchema =
    "CREATE TABLE manager (id INTEGER PRIMARY KEY AUTOINCREMENT, attivo BOOLEAN, "
    "manager_list_name VARCHAR(255), player_ip VARCHAR(255), player_port INTEGER, "
    "player_file_play VARCHAR(255))";

// The registry file's name, beside the executable.
inline constexpr const char* kRegistryFileName = "data.mdb";

}  // namespace orvanta::registry

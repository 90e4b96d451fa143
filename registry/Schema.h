#pragma once

namespace orvanta::registry {

// The players' table as the registry file holds it. The manager never creates it; the
// registry tool does. Its text compares and sorts without regard to letter case, as the
// players' database always has: "sala d'attesa" finds the group "Sala d'attesa", and a sort
// does not put every capital first. The statements stay as they are; a registry made without
// the collation keeps working, with SQLite's exact comparison.
inline constexpr const char* kManagerTableSchema =
    "CREATE TABLE manager (id INTEGER PRIMARY KEY AUTOINCREMENT, attivo BOOLEAN, "
    "manager_list_name VARCHAR(255) COLLATE NOCASE, player_ip VARCHAR(255) COLLATE NOCASE, "
    "player_port INTEGER, player_file_play VARCHAR(255) COLLATE NOCASE)";

// The registry file's name, beside the executable.
inline constexpr const char* kRegistryFileName = "data.mdb";

}  // namespace orvanta::registry

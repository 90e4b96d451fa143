#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/Connection.h"
#include "db/Driver.h"
#include "db/Query.h"

namespace orvanta::registry {

// What the editing panel shows of a player and what save writes back.
struct PlayerEntry {
    std::string group;    // manager_list_name
    std::string address;  // player_ip
    std::string port;     // player_port, as text
    std::string file;     // player_file_play
    bool active = false;  // attivo
};

// Where a player is reached, as a registry row gives it.
struct PlayerAddress {
    std::string address;    // player_ip
    std::int64_t port = 0;  // player_port
};

// A group name as a quoted literal: single quotes around it, each quote inside doubled.
std::string Quoted(const std::string& name);

// A registry row's control port, refused with a failure that names it when it is no TCP port:
// cut down to an int it would reach another port, maybe another player's.
int PlayerPort(std::int64_t stored);

// The player registry: the connection to data.mdb beside the executable, its queries, the one
// sort direction, and the row operations on the player query. Every statement the system
// sends to the database is written here.
class RegistryStore {
public:
    // Where the executable lives, with a trailing separator; read afresh on every reload.
    using FolderSource = std::function<std::string()>;

    explicit RegistryStore(FolderSource executableFolder = nullptr,
                           std::unique_ptr<db::Driver> driver = nullptr);
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    // The group reload: reconnects to data.mdb in the executable's folder and returns the
    // group names in the order the database gives them (null as the empty name).
    std::vector<std::string> LoadGroups();
    // Re-queries the players of the group; true when the group check found a row.
    bool FilterGroup(const std::string& name);
    // Flips the sort direction and re-queries the group ordered by the column.
    void SortGroup(const std::string& name, const std::string& column);
    // Re-queries the group's active players; returns how many there are.
    std::int64_t SelectActivePlayers(const std::string& name);
    // The group's active players in the order SelectActivePlayers gives them, read through a
    // query of their own: the player query, and so the grid, stay as they are.
    std::vector<PlayerAddress> ActivePlayersOf(const std::string& name);

    // Puts the current player into edit state (a new row on an empty result) and reads it.
    PlayerEntry EditCurrentPlayer();
    void NewPlayer();
    // Writes the entry into a row in edit or insert state and posts it; does nothing in
    // browse state or when the query is closed.
    void SavePlayer(const PlayerEntry& entry);
    void DeleteCurrentPlayer();
    // Writes attivo as 1 or 0 and posts it.
    void SetCurrentPlayerActive(bool active);

    // The after-post notification: runs after every successful post on the player query.
    void SetAfterPost(std::function<void()> handler) { m_afterPost = std::move(handler); }

    // player_file_play of the current player; empty when null or when qfiles is closed.
    std::string CurrentFilePlay() const;
    // "ASC" until the first sort, then flipped by each sort.
    const std::string& SortDirection() const { return m_sortDirection; }
    // Where the next reload looks for the registry file.
    std::string DatabaseLocation() const;
    // Reloads read this file instead of data.mdb in the executable's folder (the command-line
    // tool's choice of registry).
    void UseRegistryFile(std::string path) { m_registryFile = std::move(path); }

    // The window's data-access components, under their own names.
    db::Connection conn;
    db::Query qliste{conn, "qliste"};
    db::Query qcercalista{conn, "qcercalista"};
    db::Query qfiles{conn, "qfiles"};
    // The players a probe reaches.
    db::Query qverifica{conn, "qverifica"};
    // Configured but never opened.
    db::Query qcercafile{conn, "qcercafile"};
    db::Query filesospesi{conn, "filesospesi"};

private:
    static void SetText(db::Query& query, const std::string& line);

    FolderSource m_executableFolder;
    std::string m_registryFile;
    std::string m_sortDirection = "ASC";
    std::function<void()> m_afterPost;
};

}  // namespace orvanta::registry

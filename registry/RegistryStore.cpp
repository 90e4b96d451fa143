#include "registry/RegistryStore.h"

#include "core/ExecutableFolder.h"
#include "core/Failure.h"
#include "core/Text.h"
#include "db/Field.h"
#include "db/SqlText.h"
#include "registry/Schema.h"

namespace orvanta::registry {

int PlayerPort(std::int64_t stored) {
    if (stored < 1 || stored > 65535) {
        throw Failure("Porta del lettore non valida: " + std::to_string(stored) +
                      " (ammesse da 1 a 65535).");
    }
    return static_cast<int>(stored);
}

std::string Quoted(const std::string& name) {
    return db::QuotedLiteral(name);
}

RegistryStore::RegistryStore(FolderSource executableFolder, std::unique_ptr<db::Driver> driver)
    : conn("conndb", std::move(driver)),
      m_executableFolder(executableFolder ? std::move(executableFolder) : ExecutableFolder) {
    qliste.SqlAdd("select distinct manager_list_name from manager");
    qcercalista.SqlAdd("select nome_playlist from playlist where nome_playlist=:nomelista");
    qcercafile.SqlAdd("select * from manager");
    filesospesi.SqlAdd("select * from playlist where stato=0");
    qfiles.SetAfterPost([this] {
        // qfilesAfterPost
        if (m_afterPost) {
            m_afterPost();
        }
    });
}

void RegistryStore::SetText(db::Query& query, const std::string& line) {
    query.Close();
    query.SqlClear();
    query.SqlAdd(line);
}

std::string RegistryStore::DatabaseLocation() const {
    return m_registryFile.empty() ? m_executableFolder() + kRegistryFileName : m_registryFile;
}

std::vector<std::string> RegistryStore::LoadGroups() {
    conn.Disconnect();
    conn.ClearParams();
    conn.AddParam("Database=" + DatabaseLocation());
    conn.AddParam("User_Name=admin");
    conn.AddParam("DriverID=MSAcc");
    conn.Connect();
    qliste.Open();
    std::vector<std::string> names;
    while (!qliste.Eof()) {
        names.push_back(qliste.Fields(0).AsString());
        qliste.Next();
    }
    return names;
}

bool RegistryStore::FilterGroup(const std::string& name) {
    SetText(qcercalista,
            "select manager_list_name from manager where manager_list_name=" + Quoted(name));
    qcercalista.Open();
    SetText(qfiles, "select * from manager where manager_list_name=" + Quoted(name) +
                        " order by manager_list_name");
    qfiles.Open();
    return qcercalista.RecordCount() > 0;
}

void RegistryStore::SortGroup(const std::string& name, const std::string& column) {
    m_sortDirection = m_sortDirection == "DESC" ? "ASC" : "DESC";
    SetText(qfiles, "select * from manager where manager_list_name=" + Quoted(name) + " order by " +
                        column + " " + m_sortDirection);
    qfiles.Open();
}

std::int64_t RegistryStore::SelectActivePlayers(const std::string& name) {
    SetText(qfiles, "select * from manager where attivo=1 and manager_list_name=" + Quoted(name) +
                        " order by manager_list_name");
    qfiles.Open();
    return qfiles.RecordCount();
}

std::vector<PlayerAddress> RegistryStore::ActivePlayersOf(const std::string& name) {
    SetText(qverifica, "select * from manager where attivo=1 and manager_list_name=" +
                           Quoted(name) + " order by manager_list_name");
    qverifica.Open();
    std::vector<PlayerAddress> players;
    for (qverifica.First(); !qverifica.Eof(); qverifica.Next()) {
        players.push_back({qverifica.FieldByName("player_ip").AsString(),
                           qverifica.FieldByName("player_port").AsInteger()});
    }
    qverifica.Close();
    return players;
}

PlayerEntry RegistryStore::EditCurrentPlayer() {
    qfiles.Edit();
    PlayerEntry entry;
    entry.group = qfiles.FieldByName("manager_list_name").AsString();
    entry.address = qfiles.FieldByName("player_ip").AsString();
    entry.port = qfiles.FieldByName("player_port").AsString();
    entry.file = qfiles.FieldByName("player_file_play").AsString();
    entry.active = qfiles.FieldByName("attivo").AsBoolean();
    return entry;
}

void RegistryStore::NewPlayer() {
    qfiles.Append();
}

void RegistryStore::SavePlayer(const PlayerEntry& entry) {
    if (qfiles.State() != db::DatasetState::Edit && qfiles.State() != db::DatasetState::Insert) {
        return;
    }
    qfiles.FieldByName("manager_list_name").SetAsString(entry.group);
    qfiles.FieldByName("player_ip").SetAsString(entry.address);
    qfiles.FieldByName("player_port").SetAsString(entry.port);
    qfiles.FieldByName("player_file_play").SetAsString(entry.file);
    qfiles.FieldByName("attivo").SetAsBoolean(entry.active);
    qfiles.Post();
}

void RegistryStore::DeleteCurrentPlayer() {
    qfiles.Delete();
}

void RegistryStore::SetCurrentPlayerActive(bool active) {
    qfiles.Edit();
    qfiles.FieldByName("attivo").SetAsInteger(active ? 1 : 0);
    qfiles.Post();
}

std::string RegistryStore::CurrentFilePlay() const {
    if (!qfiles.Active() || qfiles.IsEmpty()) {
        return {};
    }
    const std::vector<db::ColumnInfo>& columns = qfiles.Columns();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (EqualsIgnoreCaseAscii(columns[i].name, "player_file_play")) {
            return db::ValueText(qfiles.CellValue(qfiles.CurrentRow(), i));
        }
    }
    return {};
}

}  // namespace orvanta::registry

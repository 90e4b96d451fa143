#include "registry/GroupCommands.h"

namespace orvanta::registry {

GroupCommands::GroupCommands(RegistryStore& store, Environment environment)
    : m_store(store), m_env(std::move(environment)) {}

void GroupCommands::Preparalettori1Click() {
    const std::string name = m_env.groupName();
    const std::int64_t count = m_store.SelectActivePlayers(name);
    if (count == 0) {
        m_env.notices.ShowMessage("Nessun lettore impostato o attivo.");
        return;
    }
    m_links.resize(static_cast<std::size_t>(count));
    db::Query& players = m_store.qfiles;
    players.First();
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
        // The entry holds the new link before anything is done with it; the link it replaces
        // is closed without a farewell line.
        m_links[i] = m_env.newLink();
        link::TForm1& link = *m_links[i];
        link.edServer.Text = players.FieldByName("player_ip").AsString();
        link.sePort.SetValue(static_cast<int>(players.FieldByName("player_port").AsInteger()));
        link.BtnConnectClick();
        link.IdFTP.Host = link.edServer.Text;
        link.IdFTP.Port = link.sePort.Value() + 1;
        link.IdFTP.ConnectAndLogin();
        link.btnfullscreenClick();
        players.Next();
    }
    m_env.groupChange();
}

void GroupCommands::ForEachLink(void (link::TForm1::*operation)()) {
    const std::size_t count = m_links.size();
    for (std::size_t i = 0; i < count && i < m_links.size(); ++i) {
        if (link::TForm1* link = m_links[i].get()) {
            (link->*operation)();
        }
    }
}

void GroupCommands::Inviaifiles1Click() {
    ForEachLink(&link::TForm1::btnInviaFileClick);
}

void GroupCommands::Caricaifiles1Click() {
    ForEachLink(&link::TForm1::btn_prepfileplayClick);
}

void GroupCommands::Normalscreen1Click() {
    ForEachLink(&link::TForm1::btnnormalscreenClick);
}

void GroupCommands::Fullscreen1Click() {
    ForEachLink(&link::TForm1::btnfullscreenClick);
}

void GroupCommands::Play1Click() {
    // The count is of list entries, not of connected links.
    m_env.notices.ShowMessage(std::to_string(m_links.size()) + " interessati dal play");
    ForEachLink(&link::TForm1::btnPlayClick);
}

void GroupCommands::Pausa1Click() {
    ForEachLink(&link::TForm1::btnpauseClick);
}

}  // namespace orvanta::registry

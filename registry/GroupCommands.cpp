#include "registry/GroupCommands.h"

#include "core/Dispatch.h"
#include "core/Failure.h"

namespace orvanta::registry {

namespace {

using State = EntryOutcome::State;

const char* const kOtherFile =
    "La riga corrente indica un altro file da quello del comando interrotto (";

void (link::TForm1::*OperationOf(GroupCommand command))() {
    switch (command) {
        case GroupCommand::CopyFiles:
            return &link::TForm1::btnInviaFileClick;
        case GroupCommand::LoadFiles:
            return &link::TForm1::btn_prepfileplayClick;
        case GroupCommand::Play:
            return &link::TForm1::btnPlayClick;
        case GroupCommand::Pause:
            return &link::TForm1::btnpauseClick;
        case GroupCommand::NormalScreen:
            return &link::TForm1::btnnormalscreenClick;
        case GroupCommand::FullScreen:
            return &link::TForm1::btnfullscreenClick;
        case GroupCommand::Initialize:
        case GroupCommand::None:
            break;
    }
    return nullptr;
}

// Commands whose step takes long enough to show it under way.
bool ShowsRunning(GroupCommand command) {
    return command == GroupCommand::Initialize || command == GroupCommand::CopyFiles;
}

}  // namespace

GroupCommands::GroupCommands(RegistryStore& store, Environment environment)
    : m_store(store), m_env(std::move(environment)) {}

void GroupCommands::Changed(std::size_t entry) {
    if (m_watcher.changed) {
        m_watcher.changed(entry);
    }
}

void GroupCommands::Set(std::size_t entry, State state, bool tell) {
    m_record.entries.at(entry) = {state, {}};
    if (tell) {
        Changed(entry);
    }
}

void GroupCommands::StopAt(std::size_t entry, const std::exception_ptr& failure) {
    m_record.entries.at(entry) = {State::Failed, ErrorBoxTextOf(failure)};
    for (std::size_t i = entry + 1; i < m_record.entries.size(); ++i) {
        m_record.entries[i] = {State::NotReached, {}};
    }
    m_record.stoppedAt = entry;
    m_record.running = false;
    Changed(kWholeList);
}

void GroupCommands::Attach(link::TForm1& link, std::size_t entry) {
    // An entry's link never moves to another entry, so the index stays true.
    link.OnTransferProgress = [this, entry](link::TForm1&) {
        if (m_watcher.transferProgressed) {
            m_watcher.transferProgressed(entry);
        }
    };
    link.OnPolled = [this, entry](link::TForm1&) {
        if (m_watcher.polled) {
            m_watcher.polled(entry);
        }
    };
}

void GroupCommands::Preparalettori1Click() {
    const std::string name = m_env.groupName();
    const std::int64_t count = m_store.SelectActivePlayers(name);
    if (count == 0) {
        // The list and its links stay as they were, and so does their record.
        m_env.notices.ShowMessage("Nessun lettore impostato o attivo.");
        return;
    }
    const std::size_t entries = static_cast<std::size_t>(count);
    m_links.resize(entries);
    m_record = CommandRecord{};
    m_record.command = GroupCommand::Initialize;
    m_record.running = true;
    m_record.entries.assign(entries, {State::Waiting, {}});
    Changed(kWholeList);
    db::Query& players = m_store.qfiles;
    players.First();
    for (std::size_t i = 0; i < entries; ++i) {
        Set(i, State::Running);
        try {
            // The entry holds the new link before anything is done with it; the link it
            // replaces is closed without a farewell line.
            m_links[i] = m_env.newLink();
            link::TForm1& link = *m_links[i];
            Attach(link, i);
            link.edServer.Text = players.FieldByName("player_ip").AsString();
            link.sePort.SetValue(static_cast<int>(players.FieldByName("player_port").AsInteger()));
            link.BtnConnectClick();
            link.IdFTP.Host = link.edServer.Text;
            link.IdFTP.Port = link.sePort.Value() + 1;
            link.IdFTP.ConnectAndLogin();
            link.btnfullscreenClick();
        } catch (...) {
            StopAt(i, std::current_exception());
            throw;
        }
        Set(i, State::Done);
        players.Next();
    }
    m_record.running = false;
    Changed(kWholeList);
    m_env.groupChange();
}

void GroupCommands::ForEachLink(GroupCommand command, Operation operation, std::size_t from) {
    const std::size_t count = m_links.size();
    if (from == 0) {
        m_record = CommandRecord{};
        m_record.command = command;
        if (command == GroupCommand::CopyFiles || command == GroupCommand::LoadFiles) {
            m_record.file = m_store.CurrentFilePlay();
        }
        m_record.entries.assign(count, {State::Waiting, {}});
    } else {
        for (std::size_t i = from; i < count; ++i) {
            m_record.entries[i] = {State::Waiting, {}};
        }
        m_record.stoppedAt.reset();
    }
    m_record.running = true;
    Changed(kWholeList);
    const bool showRunning = ShowsRunning(command);
    for (std::size_t i = from; i < count && i < m_links.size(); ++i) {
        link::TForm1* link = m_links[i].get();
        if (!link) {
            Set(i, State::NoLink);
            continue;
        }
        Set(i, State::Running, showRunning);
        try {
            (link->*operation)();
        } catch (...) {
            StopAt(i, std::current_exception());
            throw;
        }
        Set(i, State::Done);
    }
    m_record.running = false;
    Changed(kWholeList);
}

bool GroupCommands::CanContinue() const {
    switch (m_record.command) {
        case GroupCommand::CopyFiles:
        case GroupCommand::LoadFiles:
        case GroupCommand::Play:
        case GroupCommand::Pause:
            break;
        default:
            return false;
    }
    return !m_record.running && m_record.stoppedAt && *m_record.stoppedAt < m_links.size() &&
           m_record.entries.size() == m_links.size();
}

void GroupCommands::Continua() {
    if (!CanContinue()) {
        return;
    }
    const GroupCommand command = m_record.command;
    if ((command == GroupCommand::CopyFiles || command == GroupCommand::LoadFiles) &&
        m_store.CurrentFilePlay() != m_record.file) {
        throw Failure(kOtherFile + m_record.file + ").");
    }
    ForEachLink(command, OperationOf(command), *m_record.stoppedAt);
}

void GroupCommands::Inviaifiles1Click() {
    ForEachLink(GroupCommand::CopyFiles, &link::TForm1::btnInviaFileClick, 0);
}

void GroupCommands::Caricaifiles1Click() {
    ForEachLink(GroupCommand::LoadFiles, &link::TForm1::btn_prepfileplayClick, 0);
}

void GroupCommands::Normalscreen1Click() {
    ForEachLink(GroupCommand::NormalScreen, &link::TForm1::btnnormalscreenClick, 0);
}

void GroupCommands::Fullscreen1Click() {
    ForEachLink(GroupCommand::FullScreen, &link::TForm1::btnfullscreenClick, 0);
}

void GroupCommands::Play1Click() {
    // The count is of list entries, not of connected links.
    m_env.notices.ShowMessage(std::to_string(m_links.size()) + " interessati dal play");
    ForEachLink(GroupCommand::Play, &link::TForm1::btnPlayClick, 0);
}

void GroupCommands::Pausa1Click() {
    ForEachLink(GroupCommand::Pause, &link::TForm1::btnpauseClick, 0);
}

}  // namespace orvanta::registry

#include "registry/GroupCommands.h"

#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "core/Dispatch.h"
#include "core/Failure.h"
#include "ftp/FanOutUpload.h"
#include "ftp/FileSource.h"
#include "ftp/NamePart.h"

namespace orvanta::registry {

namespace {

using State = EntryOutcome::State;

const char* const kOtherFile =
    "La riga corrente indica un altro file da quello del comando interrotto (";
const char* const kPlayersChanged = "I lettori attivi del gruppo ";
const char* const kInitializeAgain =
    " sono cambiati dall'inizializzazione interrotta: inizializzare di nuovo.";

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
        case GroupCommand::ParallelCopy:
        case GroupCommand::None:
            break;
    }
    return nullptr;
}

// A fan-out upload's status as the link shows its own uploads.
link::TransferProgress ProgressOf(const ftp::FanOutUpload::Status& status,
                                  const std::string& name) {
    using Stage = ftp::FanOutUpload::Stage;
    link::TransferProgress progress;
    progress.name = name;
    progress.state = status.stage == Stage::Done     ? link::TransferProgress::State::Done
                     : status.stage == Stage::Failed ? link::TransferProgress::State::Failed
                                                     : link::TransferProgress::State::Running;
    progress.total = std::max<std::int64_t>(status.total, 0);
    progress.sent = status.sent;
    progress.flowing = status.total >= 0;
    progress.began = status.sendingSince;
    progress.ended = status.endedAt;
    return progress;
}

// Commands whose step takes long enough to show it under way.
bool ShowsRunning(GroupCommand command) {
    return command == GroupCommand::Initialize || command == GroupCommand::CopyFiles;
}

}  // namespace

GroupCommands::GroupCommands(RegistryStore& store, Environment environment)
    : m_store(store), m_env(std::move(environment)), m_journal(kJournalProgram) {}

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
    m_record.entries.assign(entries, {State::Waiting, {}});
    m_listGroup = name;
    m_store.qfiles.First();
    InitializeFrom(0);
}

void GroupCommands::InitializeFrom(std::size_t from) {
    const std::size_t entries = m_links.size();
    for (std::size_t i = from; i < entries; ++i) {
        m_record.entries[i] = {State::Waiting, {}};
    }
    m_record.stoppedAt.reset();
    m_record.running = true;
    const JournalAtEnd journal(*this, from);
    Changed(kWholeList);
    db::Query& players = m_store.qfiles;
    for (std::size_t i = from; i < entries; ++i) {
        Set(i, State::Running);
        try {
            // The entry holds the new link before anything is done with it; the link it
            // replaces is closed without a farewell line.
            m_links[i] = m_env.newLink();
            link::TForm1& link = *m_links[i];
            Attach(link, i);
            link.edServer.Text = players.FieldByName("player_ip").AsString();
            link.sePort.SetValue(PlayerPort(players.FieldByName("player_port").AsInteger()));
            link.BtnConnectClick();
            link.IdFTP.Host = link.edServer.Text;
            link.IdFTP.Port = link.sePort.Value() + 1;
            link.IdFTP.ConnectAndLogin();
            link.btnfullscreenClick();
        } catch (...) {
            // The entries after it may still hold links to an earlier group's players: no later
            // command may reach those screens.
            for (std::size_t j = i + 1; j < entries; ++j) {
                m_links[j].reset();
            }
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

void GroupCommands::ResumeInitialize(std::size_t from) {
    // The group's active players are read again; the list stays valid only while they are
    // still as many as its entries.
    const std::int64_t count = m_store.SelectActivePlayers(m_listGroup);
    if (count < 0 || static_cast<std::size_t>(count) != m_links.size()) {
        throw Failure(kPlayersChanged + m_listGroup + kInitializeAgain);
    }
    m_store.qfiles.First();
    for (std::size_t i = 0; i < from; ++i) {
        m_store.qfiles.Next();
    }
    InitializeFrom(from);
}

void GroupCommands::ForEachLink(GroupCommand command, Operation operation, std::size_t from,
                                bool resumed) {
    const std::size_t count = m_links.size();
    if (!resumed) {
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
    const JournalAtEnd journal(*this, from);
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
            RunOn(*link, command, operation, resumed);
        } catch (...) {
            StopAt(i, std::current_exception());
            throw;
        }
        Set(i, State::Done);
    }
    m_record.running = false;
    Changed(kWholeList);
}

void GroupCommands::RunOn(link::TForm1& link, GroupCommand command, Operation operation,
                          bool resumed) {
    // A resumed copy logs in again, once, where the player's FTP server closed the connection
    // (it was restarted, say): the first copy keeps the link's connection as it is.
    const bool mayLogInAgain = resumed && command == GroupCommand::CopyFiles;
    bool loggedInAgain = false;
    if (mayLogInAgain && link.IdFTP.ClosedByServer()) {
        link.IdFTP.ConnectAndLogin();
        loggedInAgain = true;
    }
    try {
        (link.*operation)();
    } catch (...) {
        if (!mayLogInAgain || loggedInAgain || !link.IdFTP.ClosedByServer()) {
            throw;
        }
        link.IdFTP.ConnectAndLogin();
        (link.*operation)();
    }
}

bool GroupCommands::FtpClosedByServer(std::size_t entry) const {
    if (entry < m_lentConnected.size() && m_lentConnected[entry]) {
        return false;
    }
    const link::TForm1* link = Link(entry);
    return link && link->IdFTP.ClosedByServer();
}

bool GroupCommands::FtpConnected(std::size_t entry) const {
    if (entry < m_lentConnected.size() && m_lentConnected[entry]) {
        return *m_lentConnected[entry];
    }
    const link::TForm1* link = Link(entry);
    return link && link->IdFTP.Connected();
}

bool GroupCommands::CanContinue() const {
    switch (m_record.command) {
        case GroupCommand::Initialize:
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
    if (command == GroupCommand::Initialize) {
        ResumeInitialize(*m_record.stoppedAt);
        return;
    }
    ForEachLink(command, OperationOf(command), *m_record.stoppedAt, true);
}

void GroupCommands::Salta() {
    if (!CanContinue()) {
        return;
    }
    const GroupCommand command = m_record.command;
    const std::size_t skipped = *m_record.stoppedAt;
    if ((command == GroupCommand::CopyFiles || command == GroupCommand::LoadFiles) &&
        m_store.CurrentFilePlay() != m_record.file) {
        throw Failure(kOtherFile + m_record.file + ").");
    }
    // The journal tells a Salta from a Continua, with the player passed over.
    struct Clear {
        std::optional<Skipping>& skipping;
        ~Clear() { skipping.reset(); }
    } const clear{m_skipping};
    m_skipping = Skipping{skipped, {}, {}};
    if (const link::TForm1* passedOver = Link(skipped)) {
        m_skipping->address = passedOver->edServer.Text;
        m_skipping->port = passedOver->sePort.Text;
    }
    if (command == GroupCommand::Initialize) {
        // A player left out of the initialize is left out of the commands after it too.
        m_links[skipped].reset();
        ResumeInitialize(skipped + 1);
        return;
    }
    ForEachLink(command, OperationOf(command), skipped + 1, true);
}

void GroupCommands::CopiaInParallelo() {
    const std::string path = m_store.CurrentFilePlay();
    const std::string name = ftp::NamePart(path);
    // A pipe or a device would be stored as an empty file on every player.
    ftp::RequireRegularFile(path);
    m_record = CommandRecord{};
    m_record.command = GroupCommand::ParallelCopy;
    m_record.file = path;
    m_record.running = true;
    m_record.entries.assign(m_links.size(), {State::Waiting, {}});
    std::vector<std::size_t> entryOf;
    std::vector<ftp::FtpClient*> clients;
    for (std::size_t i = 0; i < m_links.size(); ++i) {
        if (!m_links[i]) {
            m_record.entries[i] = {State::NoLink, {}};
            continue;
        }
        m_record.entries[i] = {State::Running, {}};
        entryOf.push_back(i);
        clients.push_back(&m_links[i]->IdFTP);
    }
    // Every entry starts from nothing: what an earlier copy showed is no longer true.
    std::error_code sizeUnknown;
    const auto size = std::filesystem::file_size(path, sizeUnknown);
    link::TransferProgress starting;
    starting.state = link::TransferProgress::State::Running;
    starting.name = name;
    starting.total = sizeUnknown ? 0 : static_cast<std::int64_t>(size);
    {
        // All of them before any is drawn: a view must never show one row's fresh start beside
        // another's old end.
        const auto told = std::exchange(m_watcher.transferProgressed, nullptr);
        for (const std::size_t entry : entryOf) {
            m_links[entry]->ShowUpload(starting);
        }
        m_watcher.transferProgressed = told;
    }
    const JournalAtEnd journal(*this, 0);
    Changed(kWholeList);
    if (!clients.empty()) {
        // What the view shows of each client until its upload ends, read before any upload's
        // thread holds it; forgotten once every thread has ended (the guard outlives the upload).
        m_lentConnected.assign(m_links.size(), std::nullopt);
        for (const std::size_t entry : entryOf) {
            m_lentConnected[entry] = m_links[entry]->IdFTP.Connected();
        }
        // The links' polls wait too, whatever the platform's event loop does while a view lets
        // it run during the copy: a poll's error box would take the window's input meanwhile.
        std::vector<QTimer*> pausedPolls;
        for (const std::size_t entry : entryOf) {
            if (m_links[entry]->Timer1.isActive()) {
                m_links[entry]->Timer1.stop();
                pausedPolls.push_back(&m_links[entry]->Timer1);
            }
        }
        struct Release {
            GroupCommands& commands;
            const std::vector<QTimer*>& pausedPolls;
            ~Release() {
                commands.m_copy = nullptr;
                commands.m_lentConnected.clear();
                for (QTimer* poll : pausedPolls) {
                    poll->start();
                }
            }
        } release{*this, pausedPolls};
        // The window's thread waits here, as for the copy one link after another: nothing else
        // may use the links' clients while the uploads own them.
        // A server that already holds this very file is sent nothing; what arrives is proven
        // before it takes the real name.
        ftp::FanOutUpload::Options options;
        options.store = ftp::FanOutUpload::Store::ViaTemporaryName;
        options.skipPresent = true;
        options.prove = true;
        options.loginAgainOnce = true;
        ftp::FanOutUpload upload(path, name, clients, ftp::FanOutUpload::Login::Already, options);
        m_copy = &upload;
        std::vector<ftp::FanOutUpload::Status> shown(clients.size());
        for (bool finished = false; !finished;) {
            finished = upload.WaitForChange(kParallelProgressInterval);
            const std::vector<ftp::FanOutUpload::Status> statuses = upload.Statuses();
            for (std::size_t k = 0; k < statuses.size(); ++k) {
                const ftp::FanOutUpload::Status& now = statuses[k];
                if (now.stage == shown[k].stage && now.sent == shown[k].sent) {
                    continue;
                }
                const std::size_t entry = entryOf[k];
                if (now.stage == ftp::FanOutUpload::Stage::Done ||
                    now.stage == ftp::FanOutUpload::Stage::Failed) {
                    // An upload has let go of its client by the time it reports its end.
                    m_lentConnected[entry].reset();
                }
                // Nothing was sent to a server that already held the file: no transfer to show.
                m_links[entry]->ShowUpload(now.alreadyPresent ? link::TransferProgress{}
                                                              : ProgressOf(now, name));
                if (now.stage == ftp::FanOutUpload::Stage::Done) {
                    m_record.entries[entry] = {
                        now.alreadyPresent ? State::AlreadyPresent : State::Done, {}, now.proof};
                    Changed(entry);
                } else if (now.stage == ftp::FanOutUpload::Stage::Failed) {
                    m_record.entries[entry] = {State::Failed, ErrorBoxText(now.error)};
                    Changed(entry);
                }
                shown[k] = now;
            }
            // Also after the last upload ended: what the operator did while the copy ran is
            // taken now, not after it.
            if (m_watcher.copyWaiting) {
                m_watcher.copyWaiting();
            }
        }
    }
    m_record.running = false;
    Changed(kWholeList);

    std::size_t failed = 0;
    std::size_t first = 0;
    for (std::size_t i = m_record.entries.size(); i-- > 0;) {
        if (m_record.entries[i].state == State::Failed) {
            ++failed;
            first = i;
        }
    }
    if (failed > 0) {
        const link::TForm1& link = *m_links[first];
        throw Failure("Copia in parallelo non riuscita in " + std::to_string(failed) +
                      (failed == 1 ? " lettore su " : " lettori su ") +
                      std::to_string(entryOf.size()) + ".\r\nLettore " + std::to_string(first + 1) +
                      " (" + link.edServer.Text + "): " + m_record.entries[first].failure);
    }
}

void GroupCommands::VerificaLettori() {
    ProbeRecord probe;
    probe.group = m_env.groupName();
    const std::vector<PlayerAddress> players = m_store.ActivePlayersOf(probe.group);
    probe.players.resize(players.size());
    // The window's thread waits, as for any command, but never past the timeout.
    std::vector<net::PortToProbe> ports;
    std::vector<net::PortAnswer*> answers;
    for (std::size_t i = 0; i < players.size(); ++i) {
        ProbedPlayer& probed = probe.players[i];
        probed.address = players[i].address;
        probed.port = std::to_string(players[i].port);
        try {
            const int port = PlayerPort(players[i].port);
            ports.push_back({probed.address, port});
            ports.push_back({probed.address, port + 1});
            answers.push_back(&probed.control);
            answers.push_back(&probed.ftp);
        } catch (const std::exception& e) {
            probed.failure = e.what();
        }
    }
    std::vector<net::PortAnswer> found =
        net::ProbePorts(ports, std::chrono::steady_clock::now() + kProbeTimeout);
    for (std::size_t k = 0; k < found.size(); ++k) {
        *answers[k] = std::move(found[k]);
    }
    m_probe = std::move(probe);
    Changed(kWholeList);
}

void GroupCommands::CancelCopy() {
    if (m_copy) {
        m_copy->Cancel(kCopyCancelled);
    }
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

#include "registry/GroupCommands.h"

// The group commands' records in the journal: what each command did to which player.
namespace orvanta::registry {

namespace {

using State = EntryOutcome::State;

const char* JournalName(GroupCommand command) {
    switch (command) {
        case GroupCommand::Initialize:
            return "initialize";
        case GroupCommand::CopyFiles:
            return "copy";
        case GroupCommand::LoadFiles:
            return "load";
        case GroupCommand::NormalScreen:
            return "normalscreen";
        case GroupCommand::FullScreen:
            return "fullscreen";
        case GroupCommand::Play:
            return "play";
        case GroupCommand::Pause:
            return "pause";
        case GroupCommand::ParallelCopy:
            return "parallel-copy";
        case GroupCommand::None:
            break;
    }
    return "none";
}

JournalOutcome JournalOutcomeOf(EntryOutcome::State state) {
    switch (state) {
        case State::Done:
            return JournalOutcome::Done;
        case State::Failed:
            return JournalOutcome::Failed;
        case State::AlreadyPresent:
            return JournalOutcome::AlreadyPresent;
        case State::NoLink:
            return JournalOutcome::Skipped;
        case State::Running:
            return JournalOutcome::Unfinished;
        case State::None:
        case State::Waiting:
        case State::NotReached:
            break;
    }
    return JournalOutcome::NotReached;
}

}  // namespace

GroupCommands::JournalAtEnd::JournalAtEnd(GroupCommands& commands, std::size_t from)
    : m_commands(commands), m_from(from), m_began(JournalTime()) {}

GroupCommands::JournalAtEnd::~JournalAtEnd() {
    m_commands.Journal(m_from, m_began);
}

void GroupCommands::Journal(std::size_t from, const std::string& began) noexcept {
    try {
        JournalRecord record = NewJournalRecord(kJournalProgram, JournalName(m_record.command),
                                                m_listGroup, m_record.file);
        record.time = began;
        const bool skipping = m_skipping && m_skipping->entry + 1 == from;
        if (from > 0) {
            record.command = (skipping ? "salta " : "continua ") + record.command;
        }
        const bool initialize = m_record.command == GroupCommand::Initialize;
        if (skipping) {
            record.players.push_back(
                JournalPlayer{m_skipping->address, m_skipping->port, JournalOutcome::Skipped, {}});
        }
        for (std::size_t i = from; i < m_record.entries.size(); ++i) {
            const EntryOutcome& entry = m_record.entries[i];
            JournalPlayer player{{}, {}, JournalOutcomeOf(entry.state), entry.failure};
            if (initialize && entry.state == State::Failed) {
                // The row being read when it failed: its link may not hold the port yet.
                player.address = m_store.qfiles.FieldByName("player_ip").AsString();
                player.port = m_store.qfiles.FieldByName("player_port").AsString();
            } else if (!(initialize && entry.state == State::NotReached) && i < m_links.size() &&
                       m_links[i]) {
                // An initialize that did not reach an entry left it an earlier list's link.
                player.address = m_links[i]->edServer.Text;
                player.port = m_links[i]->sePort.Text;
            }
            record.players.push_back(std::move(player));
        }
        m_journal.Append(JournalPath(), record);
    } catch (...) {
        // The command's end is the command's: nothing of the journal may change it.
    }
    // A view that shows what the journal says reads it again.
    Changed(kWholeList);
}

}  // namespace orvanta::registry

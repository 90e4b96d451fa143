#pragma once

#include <compare>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace orvanta::registry {

// The journal of group commands: one record a command, from the manager's window and from
// orvanta-group alike, appended to a file beside the registry. A record is one line of fields
// separated by tabs:
//   TIME  STATION  USER  PROGRAM  COMMAND  GROUP  FILE  { ADDRESS  PORT  OUTCOME  TEXT }
// with one ADDRESS..TEXT quartet a player, in the order the command took them. Every field is
// written as TerminalSafe writes text (control bytes, bytes that are not UTF-8 and backslashes
// escaped), so no value can break a line or a field, act on a terminal that shows the file, or
// read back other than it was.

// What a command did for one player.
enum class JournalOutcome {
    Done,            // "done"
    AlreadyPresent,  // "already present": a copy found the file there and sent nothing
    Failed,          // "failed": TEXT holds the failure's text
    NotReached,      // "not reached": an earlier player's failure ended the command first
    Skipped,         // "skipped": the command passed over the entry (it holds no link)
    Unfinished,      // "unfinished": the command ended while this player's step was under way
};

struct JournalPlayer {
    std::string address;  // empty when the command never learned it (an entry not reached)
    std::string port;     // the control port as the registry holds it
    JournalOutcome outcome = JournalOutcome::Done;
    std::string text;  // the failure's text; empty for every other outcome

    bool operator==(const JournalPlayer&) const = default;
};

struct JournalRecord {
    std::string time;     // when the command began, local: "2025-05-01 03:00:00"
    std::string station;  // the host name
    std::string user;
    std::string program;  // "orvanta-manager", "orvanta-group"
    // "initialize", "copy", "parallel-copy", "load", "normalscreen", "fullscreen", "play",
    // "pause"; a run resumed with "Continua" is "continua " and the command's name, one resumed
    // with "Salta" "salta " and the name (its first player the one passed over, skipped).
    std::string command;
    std::string group;
    std::string file;  // the file a copy or load sent; empty for the other commands
    std::vector<JournalPlayer> players;

    bool operator==(const JournalRecord&) const = default;
};

// A record of now, this station and this operator; the players are for the caller to add.
JournalRecord NewJournalRecord(const std::string& program, const std::string& command,
                               const std::string& group, const std::string& file);
// A moment as the journal writes it: "2025-05-01 03:00:00".
std::string JournalTime();

// The journal of the registry file at this path: beside the file the path leads to, following
// links (the manager's data.mdb may be a link to the operator's own folder), named after it
// with ".orvanta.log" added: data.mdb's is data.mdb.orvanta.log.
std::string JournalPathFor(const std::string& registryFile);

// The record as its line, with the line's end.
std::string JournalLine(const JournalRecord& record);
// The record a line holds (without its end); nothing for a line that is not a whole record.
std::optional<JournalRecord> ParseJournalLine(const std::string& line);

// Appends the record to the journal, making the file when there is none. One record goes out
// in one write under a lock of the file, so records of programs writing at once never mix;
// raises a Failure that says why when it cannot.
void AppendToJournal(const std::string& journalPath, const JournalRecord& record);

// Every whole record of the journal, oldest first (a line that is not one is passed over);
// none when there is no journal. Raises a Failure when the file is there but cannot be read.
std::vector<JournalRecord> ReadJournal(const std::string& journalPath);

// A player as the journal names it: its address and control port, as the registry holds them.
struct JournalPlayerKey {
    std::string address;
    std::string port;
    auto operator<=>(const JournalPlayerKey&) const = default;
};

// One command's word on one player.
struct JournalMark {
    std::string time;
    std::string station;
    std::string user;
    std::string program;
    std::string command;
    std::string file;
    JournalOutcome outcome = JournalOutcome::Done;
    std::string text;
};

// What the journal says a player holds now, and the last word of any command on it.
struct PlayerHolding {
    // The last copy that left the file there (done, or found already present).
    std::optional<JournalMark> copied;
    // The last load that had the player load a file (done).
    std::optional<JournalMark> loaded;
    // The last command that named the player, whatever its outcome.
    std::optional<JournalMark> last;
};

// Per player, from the whole journal: what was last copied and loaded there, and the last
// command's outcome. None when there is no journal; raises a Failure when it cannot be read.
std::map<JournalPlayerKey, PlayerHolding> ReadPlayerHoldings(const std::string& journalPath);

// The outcome's word in the journal ("done", "already present", ...).
const char* JournalOutcomeWord(JournalOutcome outcome);

// Appends the records of one program, and tells of a journal that cannot be written once, on
// the stream given: a journal never fails a command, nor adds a box to it.
class JournalWriter {
public:
    // Tells on the standard error.
    explicit JournalWriter(std::string program);
    JournalWriter(std::string program, std::ostream& trouble)
        : m_program(std::move(program)), m_trouble(trouble) {}

    // Never raises; false when the record could not be written.
    bool Append(const std::string& journalPath, const JournalRecord& record) noexcept;
    // Why the last record could not be written; empty once one was.
    const std::string& Problem() const { return m_problem; }

private:
    std::string m_program;
    std::ostream& m_trouble;
    std::string m_problem;
    bool m_told = false;
};

}  // namespace orvanta::registry

#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/Notices.h"
#include "link/TForm1.h"
#include "net/PortProbe.h"
#include "registry/CommandJournal.h"
#include "registry/RegistryStore.h"

namespace orvanta::ftp {
class FanOutUpload;
}

namespace orvanta::registry {

// Which group command ran last over the link list.
enum class GroupCommand {
    None,
    Initialize,
    CopyFiles,
    LoadFiles,
    NormalScreen,
    FullScreen,
    Play,
    Pause,
    ParallelCopy
};

// What the last group command did for one entry of the link list.
struct EntryOutcome {
    enum class State {
        None,        // no command has reached the entry since the list was built
        Waiting,     // the command is under way and has not reached it yet
        Running,     // its step is under way
        Done,        // the step ended without a failure
        Failed,      // the step failed: `failure` holds the error box's text
        NotReached,  // an earlier entry failed, so the command ended before it
        NoLink,      // the entry holds no link; the command passed over it
        // A parallel copy found the file already on the player's server and sent nothing.
        AlreadyPresent,
    };
    State state = State::None;
    std::string failure;
    // What proved a parallel copy's upload on the server ("size", "size, SHA-256"); empty for
    // every other step.
    std::string proof = {};
};

// The last group command over the link list, entry by entry.
struct CommandRecord {
    GroupCommand command = GroupCommand::None;
    bool running = false;
    // The current row's file when a copy or load began: a resumed command must send the same.
    std::string file;
    std::vector<EntryOutcome> entries;
    // The entry whose failure ended the command.
    std::optional<std::size_t> stoppedAt;
};

// What "Verifica lettori" found of one active player of the group: its control port and its
// FTP port (the next one), probed without initializing anything.
struct ProbedPlayer {
    std::string address;
    std::string port;
    net::PortAnswer control;
    net::PortAnswer ftp;
    // Why the row could not be probed (a port that is no TCP port); empty otherwise.
    std::string failure;
};

struct ProbeRecord {
    std::string group;
    std::vector<ProbedPlayer> players;
};

// The commands that act on every player of the chosen viewing group, and the link list they
// walk. Initialize rebuilds the list; every other command calls one operation of each link in
// list order and stops at the first failure. Each command records its outcome per entry.
class GroupCommands {
public:
    struct Environment {
        Notices& notices;
        // A new player link, hidden, owned by this list.
        std::function<std::unique_ptr<link::TForm1>()> newLink;
        // The text of the group selector.
        std::function<std::string()> groupName;
        // The window's group change: the grid shows the whole group again.
        std::function<void()> groupChange;
    };

    // Told of changes a view shows. Called on the thread of the commands, in the middle of
    // them: a watcher reads and draws, and never runs a command or raises.
    struct Watcher {
        // The record changed: an entry's step began (initialize, copy) or ended, or a command
        // began or ended. kWholeList when not about one entry.
        std::function<void(std::size_t entry)> changed;
        // An upload through the entry's link sent a piece, or ended.
        std::function<void(std::size_t entry)> transferProgressed;
        // The entry's link ran a poll tick.
        std::function<void(std::size_t entry)> polled;
        // A parallel copy waits for its uploads: at least every kParallelProgressInterval, and
        // once more after the last one ended. The operator's cancel is taken here
        // (CancelCopy); nothing else may run, least of all what uses the links' FTP clients,
        // which belong to the uploads until the copy ends.
        std::function<void()> copyWaiting;
    };

    static constexpr std::size_t kWholeList = static_cast<std::size_t>(-1);

    GroupCommands(RegistryStore& store, Environment environment);

    void Preparalettori1Click();  // "1 - &Inizializza lettori"
    void Inviaifiles1Click();     // "2 - Copia &files nei lettori"
    void Caricaifiles1Click();    // "3 - &Carica files nei lettori" and "&Stop"
    void Normalscreen1Click();
    void Fullscreen1Click();
    void Play1Click();   // "&Play": the count box first
    void Pausa1Click();  // "&Pausa"

    // "Copia in parallelo": the current row's file to every entry of the link list at once, over
    // the links' logged-in FTP clients. Every entry runs to its own end, whatever the others
    // do; when any failed, one failure names how many and the first of them.
    void CopiaInParallelo();

    // "Verifica lettori": every active player of the group in the selector probed at once on
    // both ports, within kProbeTimeout in all; the link list and its record stay as they are.
    void VerificaLettori();
    static constexpr std::chrono::milliseconds kProbeTimeout{3000};
    const ProbeRecord& LastProbe() const { return m_probe; }

    // How often a parallel copy shows its progress.
    static constexpr std::chrono::milliseconds kParallelProgressInterval{100};
    // While a parallel copy runs (from the watcher's copyWaiting): every upload still under way
    // ends soon and fails with kCopyCancelled; those already ended keep their outcome. At any
    // other time it does nothing.
    void CancelCopy();
    static constexpr const char* kCopyCancelled = "Copia annullata.";

    // Whether the last command was an initialize, copy, load, play or pause that stopped at a
    // failure.
    bool CanContinue() const;
    // Runs that command again on the entries from the one that failed to the last. A copy or
    // load runs only while the current row names the file the command began with; an
    // initialize only while its group still has as many active players as the list has entries.
    void Continua();
    // As Continua, from the entry after the one that failed, which keeps its failure (and, after
    // an initialize, holds no link: the commands pass over it).
    void Salta();

    // The link list; an entry may hold no link (after an initialize that stopped early).
    std::size_t LinkCount() const { return m_links.size(); }
    link::TForm1* Link(std::size_t index) const { return m_links.at(index).get(); }
    const CommandRecord& LastCommand() const { return m_record; }
    // Whether the entry's link holds an FTP connection. While a parallel copy's upload owns the
    // link's client, as it was when the copy began: until that upload ends its thread alone
    // touches the client.
    bool FtpConnected(std::size_t entry) const;
    // Whether the entry's link's FTP client has met its server's close (false while a parallel
    // copy's upload owns the client).
    bool FtpClosedByServer(std::size_t entry) const;

    void SetWatcher(Watcher watcher) { m_watcher = std::move(watcher); }

    // Every command appends its record to the journal beside the registry as it ends, however
    // it ends (ReadPlayerHoldings(JournalPath()) tells what each player last received).
    std::string JournalPath() const { return JournalPathFor(m_store.DatabaseLocation()); }
    // Why the last record could not be written; empty when it was. A journal that cannot be
    // written changes no command: the first such failure goes to the standard error, nowhere else.
    const std::string& JournalProblem() const { return m_journal.Problem(); }

private:
    using Operation = void (link::TForm1::*)();

    // From 0 a new command; resumed, the stopped one again from the entry `from`.
    void ForEachLink(GroupCommand command, Operation operation, std::size_t from,
                     bool resumed = false);
    void RunOn(link::TForm1& link, GroupCommand command, Operation operation, bool resumed);
    void InitializeFrom(std::size_t from);
    void ResumeInitialize(std::size_t from);
    void Attach(link::TForm1& link, std::size_t entry);
    void Set(std::size_t entry, EntryOutcome::State state, bool tell = true);
    void StopAt(std::size_t entry, const std::exception_ptr& failure);
    void Changed(std::size_t entry);
    // Appends the record's entries from `from` on to the journal; never raises.
    void Journal(std::size_t from, const std::string& began) noexcept;
    // Journals the command from the moment it is made to the end of its scope, however that ends.
    class JournalAtEnd {
    public:
        JournalAtEnd(GroupCommands& commands, std::size_t from);
        ~JournalAtEnd();
        JournalAtEnd(const JournalAtEnd&) = delete;
        JournalAtEnd& operator=(const JournalAtEnd&) = delete;

    private:
        GroupCommands& m_commands;
        const std::size_t m_from;
        const std::string m_began;
    };
    static constexpr const char* kJournalProgram = "orvanta-manager";

    RegistryStore& m_store;
    Environment m_env;
    Watcher m_watcher;
    // A link dropped from the list is closed and released: no command could reach it again.
    std::vector<std::unique_ptr<link::TForm1>> m_links;
    CommandRecord m_record;
    // The entry "Salta" passes over, and its player, while the run it resumed is under way.
    struct Skipping {
        std::size_t entry = 0;
        std::string address, port;
    };
    std::optional<Skipping> m_skipping;
    ProbeRecord m_probe;
    // The parallel copy's upload while it runs, and for each entry whose client an upload of it
    // still owns, whether that client was connected when the copy began.
    ftp::FanOutUpload* m_copy = nullptr;
    std::vector<std::optional<bool>> m_lentConnected;
    // The group the list was built for, as the journal names it.
    std::string m_listGroup;
    JournalWriter m_journal;
};

}  // namespace orvanta::registry

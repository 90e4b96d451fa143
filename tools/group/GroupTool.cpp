#include "tools/group/GroupTool.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>
#include <thread>

#include "core/CommandLine.h"
#include "core/Dispatch.h"
#include "core/Failure.h"
#include "core/Text.h"
#include "db/Field.h"
#include "ftp/FanOutUpload.h"
#include "ftp/FileSource.h"
#include "ftp/FtpClient.h"
#include "ftp/NamePart.h"
#include "link/ControlChannel.h"
#include "link/Protocol.h"
#include "net/PortProbe.h"
#include "net/Socket.h"
#include "net/SocketError.h"
#include "registry/CommandJournal.h"
#include "registry/RegistryStore.h"

namespace orvanta::tools {

namespace {

using Clock = std::chrono::steady_clock;

const ProgramUsage kProgram{
    "orvanta-group",
    "usage: orvanta-group COMMAND --group NAME [--registry PATH] [--file PATH]\n"
    "                     [--timeout SECONDS] [--all] [--limit-rate RATE] [--watch SECONDS]\n"
    "       orvanta-group --help | --version\n"
    "Runs a group command on every active player of a viewing group at once.\n"
    "  copy        uploads the file to every player's FTP server (control port + 1)\n"
    "  load        has every player load the file (by its name)\n"
    "  play        starts playing\n"
    "  pause       pauses\n"
    "  fullscreen  switches to full screen\n"
    "  status      probes every player's control port and FTP port at once: answer, greeting,\n"
    "              round-trip time\n"
    "  --group NAME     the viewing group (needed)\n"
    "  --registry PATH  the registry file (default: data.mdb beside this program)\n"
    "  --file PATH      the file to copy or load (default: the file of the group's first\n"
    "                   active player)\n"
    "  --timeout SECONDS  ends the whole run after that long; players not done by then fail\n"
    "  --all            copy: sends to every player, even one that already holds the file\n"
    "  --limit-rate RATE  copy: at most RATE bytes a second over all players together; K and\n"
    "                   M stand for KiB and MiB (40M is 40 MiB/s)\n"
    "  --watch SECONDS  status: probes again every SECONDS and prints a line at each change\n"
    "                   (once two probes in a row agree), until SIGINT, SIGTERM or --timeout\n"
    "A copy first asks each server for the file's size and time (SIZE, MDTM): a player holding\n"
    "as many bytes, stored no earlier than the file's last change, is left alone (already\n"
    "present). The others receive it under a temporary name beside it (NAME.orvanta-part),\n"
    "resumed where an earlier copy left one (REST); the server's size of it, and its digest\n"
    "where it offers HASH, XMD5 or XCRC, must match before it is renamed to NAME.\n"
    "On a terminal, a live line per player and a table at the end; otherwise one plain line\n"
    "per event.\n"
    "Exit status: 0 every player succeeded (status: every port answered); 1 any player failed\n"
    "(the others are still served), or the registry could not be read; 2 wrong arguments, a\n"
    "missing registry, an unknown group or a file that cannot be sent; 3 every player\n"
    "succeeded but the output could not be written; 130 stopped by SIGINT, 143 by SIGTERM\n"
    "(what was under way is cancelled and the table shows how far each player got).\n"};

constexpr int kAllDone = 0;
constexpr int kSomeFailed = 1;
constexpr int kBadInput = kUsageError;
constexpr int kOutputLost = 3;
constexpr int kSignalBase = 128;

const std::set<std::string> kCommands = {"copy", "load", "play", "pause", "fullscreen", "status"};

// An error text as the manager's error box shows it, on one line, with nothing a terminal would
// act on.
std::string OneLine(const std::string& message) {
    std::string text = ErrorBoxText(message);
    std::string line;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            if (!line.empty() && line.back() != ' ') {
                line += ' ';
            }
        } else {
            line += c;
        }
    }
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return TerminalSafe(line);
}

std::string Mib(std::int64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

std::string Rate(std::int64_t bytes, Clock::duration elapsed) {
    const double seconds = std::chrono::duration<double>(elapsed).count();
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB/s",
                  seconds > 0 ? static_cast<double>(bytes) / (1024.0 * 1024.0) / seconds : 0.0);
    return text;
}

std::string Seconds(Clock::duration elapsed) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", std::chrono::duration<double>(elapsed).count());
    return text;
}

// One player of the group: its control channel, its FTP client and its outcome.
struct Player {
    std::string address;
    int port = 0;
    std::string file;
    std::string label;       // address:port, as the operator knows the player
    std::string ftpLabel;    // address:port + 1, where its FTP server listens
    std::string storedPort;  // the control port as the registry holds it, for the journal
    link::ControlChannel channel;
    ftp::FtpClient ftp;
    bool failed = false;
    std::string error;
    // Whether the failure came from the FTP server's port rather than the control port.
    bool failedOnFtp = false;
    // How the copy went for this player, once it has begun.
    std::optional<ftp::FanOutUpload::Status> copy;

    void Fail(const std::string& text) {
        failed = true;
        error = text;
    }
    // The failure as the table shows it: under the port that failed.
    std::string ShownError() const {
        return failedOnFtp ? "FTP " + ftpLabel + ": " + OneLine(error) : OneLine(error);
    }
};

// Turns a stop asked for by a signal, or the end of the run's time, into the flag every wait of
// the run looks at, and says why the run stopped.
class RunLimit {
public:
    RunLimit(const std::atomic<int>* signal, std::optional<std::chrono::seconds> timeout)
        : m_signal(signal), m_timeout(timeout) {
        if (m_signal || m_timeout) {
            m_deadline = m_timeout ? Clock::now() + *m_timeout : Clock::time_point::max();
            m_watch = std::thread([this] { Watch(); });
        }
    }
    ~RunLimit() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_over = true;
        }
        m_wake.notify_all();
        if (m_watch.joinable()) {
            m_watch.join();
        }
    }
    RunLimit(const RunLimit&) = delete;
    RunLimit& operator=(const RunLimit&) = delete;

    const net::StopFlag* Flag() const { return &m_stop; }
    bool Stopped() const { return m_stop.load(); }
    // The signal that stopped the run; 0 when none did.
    int Signal() const { return m_stoppedBy.load(); }
    std::string Reason() const {
        if (const int signal = Signal()) {
            return std::string("Interrupted by ") + (signal == SIGINT ? "SIGINT" : "SIGTERM") + ".";
        }
        return "Not done within the --timeout of " + std::to_string(m_timeout->count()) + " s.";
    }

private:
    void Watch() {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_over && !m_stop.load()) {
            m_wake.wait_for(lock, net::kStopCheck);
            if (m_signal && m_signal->load() != 0) {
                m_stoppedBy = m_signal->load();
                m_stop = true;
            } else if (Clock::now() >= m_deadline) {
                m_stop = true;
            }
        }
    }

    const std::atomic<int>* m_signal;
    const std::optional<std::chrono::seconds> m_timeout;
    Clock::time_point m_deadline{};
    net::StopFlag m_stop{false};
    std::atomic<int> m_stoppedBy{0};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_over = false;
    std::thread m_watch;
};

// Runs the step for every player not yet failed at once, one thread each, and waits for all of
// them.
void ForAllAtOnce(std::vector<std::unique_ptr<Player>>& players,
                  const std::function<void(Player&)>& step) {
    std::vector<std::thread> threads;
    threads.reserve(players.size());
    for (auto& player : players) {
        if (player->failed) {
            continue;
        }
        try {
            threads.emplace_back([&step, &player] { step(*player); });
        } catch (const std::system_error&) {
            step(*player);  // no thread left: this one waits its turn
        }
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
}

// Opens the player's control channel; the opening sends the greeting line, as a link does.
void Connect(Player& player, const RunLimit& limit) {
    try {
        player.channel.Host = player.address;
        player.channel.Port = player.port;
        player.channel.Stop = limit.Flag();
        player.channel.OnConnected = [](link::ControlChannel& channel) {
            channel.SendLine(link::kUnsetUserName);
        };
        player.channel.OpenChannel();
    } catch (const net::Stopped&) {
        player.Fail(limit.Reason());
    } catch (const std::exception& e) {
        player.Fail(e.what());
    }
}

// Ends the channel without a farewell line. What the player has answered is read first, so the
// close is an orderly one rather than a reset that could overtake the last line sent.
void Disconnect(Player& player) noexcept {
    try {
        while (player.channel.IsOpen() && !player.channel.ReceiveLine(0).empty()) {
        }
    } catch (...) {
    }
    try {
        player.channel.CloseChannel();
    } catch (...) {
    }
    player.ftp.Disconnect();
}

// What the operator sees: live lines and a table on a terminal, plain event lines otherwise.
class Report {
public:
    explicit Report(const GroupToolEnvironment& env) : m_env(env) {}

    void Event(const Player& player, const std::string& text) { Event(player.label, text); }
    // An event of one of the player's ports, named by it.
    void Event(const std::string& label, const std::string& text) {
        if (!m_env.terminal) {
            m_env.out << label << " " << text << "\n" << std::flush;
        }
    }
    void Note(const std::string& text) { m_env.out << text << "\n" << std::flush; }

    // On a terminal, redraws the connect phase in place: a player's line says its connection is
    // under way until it has ended, then how it ended. `ended` says which have.
    void Connecting(const std::vector<std::unique_ptr<Player>>& players,
                    const std::vector<bool>& ended) {
        Redraw(players, [&](std::size_t i) -> std::string {
            if (!ended[i]) {
                return "connessione\xE2\x80\xA6";
            }
            return players[i]->failed ? "failed: " + OneLine(players[i]->error) : "connected";
        });
    }

    // On a terminal, redraws the copy's line of each player in place, over the connect phase's.
    void Progress(const std::vector<std::unique_ptr<Player>>& players,
                  const std::vector<std::size_t>& uploading,
                  const std::vector<ftp::FanOutUpload::Status>& statuses) {
        const auto now = Clock::now();
        Redraw(players, [&](std::size_t i) -> std::string {
            const auto at = std::find(uploading.begin(), uploading.end(), i);
            if (at == uploading.end()) {
                return "failed";
            }
            return ProgressText(statuses[static_cast<std::size_t>(at - uploading.begin())], now);
        });
    }

    // The table at the end (on a terminal) and the count. After a copy each row also says
    // what was sent, where it resumed, how the arrival was proven, the time and the rate.
    void Summary(const std::vector<std::unique_ptr<Player>>& players, bool copy) {
        std::size_t failed = 0;
        std::size_t present = 0;
        for (const auto& player : players) {
            failed += player->failed ? 1 : 0;
            present += !player->failed && player->copy && player->copy->alreadyPresent ? 1 : 0;
        }
        if (m_env.terminal) {
            const std::size_t width = LabelWidth(players);
            m_env.out << "\n" << Padded("player", width) << "  ";
            if (copy) {
                m_env.out << Padded("result", 12) << "  " << Padded("sent", 10) << "  "
                          << Padded("resumed", 10) << "  " << Padded("proof", 13) << "  "
                          << Padded("time", 9) << "  " << Padded("rate", 11) << "  error\n";
            } else {
                m_env.out << "result  error\n";
            }
            for (const auto& player : players) {
                std::string row = Padded(player->label, width) + "  ";
                if (copy) {
                    row += CopyColumns(*player);
                } else {
                    row += player->failed ? "failed  " + player->ShownError() : "done";
                }
                while (!row.empty() && row.back() == ' ') {
                    row.pop_back();
                }
                m_env.out << row << "\n";
            }
        }
        m_env.out << players.size() - failed << " of " << players.size() << " players done";
        if (present > 0) {
            m_env.out << " (" << present << " già presente)";
        }
        if (failed > 0) {
            m_env.out << ", " << failed << " failed";
        }
        m_env.out << "\n" << std::flush;
    }

    // A copy's columns after the player: result, sent, resumed, proof, time, rate, error.
    static std::string CopyColumns(const Player& player) {
        const std::string result =
            player.failed ? "failed"
                          : (player.copy && player.copy->alreadyPresent ? "già presente" : "done");
        std::string sent = "-";
        std::string resumed = "-";
        std::string proof = "-";
        std::string time = "-";
        std::string rate = "-";
        if (player.copy) {
            const auto& status = *player.copy;
            const std::int64_t bytes = status.sent - status.resumedFrom;
            if (!status.alreadyPresent && status.total >= 0) {
                sent = Mib(bytes);
            }
            if (status.resumedFrom > 0) {
                resumed = std::to_string(status.resumedFrom);
            }
            if (!player.failed && !status.alreadyPresent) {
                proof = status.proof.empty() ? "none" : status.proof;
            }
            if (status.sendingSince != Clock::time_point{} &&
                status.endedAt >= status.sendingSince) {
                time = Seconds(status.endedAt - status.sendingSince);
                rate = Rate(bytes, status.endedAt - status.sendingSince);
            }
        }
        return Padded(result, 12) + "  " + Padded(sent, 10) + "  " + Padded(resumed, 10) + "  " +
               Padded(proof, 13) + "  " + Padded(time, 9) + "  " + Padded(rate, 11) + "  " +
               (player.failed ? player.ShownError() : std::string());
    }

private:
    // One line a player, drawn over the lines drawn last.
    void Redraw(const std::vector<std::unique_ptr<Player>>& players,
                const std::function<std::string(std::size_t)>& textOf) {
        if (!m_env.terminal) {
            return;
        }
        if (m_drawn > 0) {
            m_env.out << "\x1b[" << m_drawn << "A";
        }
        const std::size_t width = LabelWidth(players);
        m_drawn = 0;
        for (std::size_t i = 0; i < players.size(); ++i) {
            m_env.out << "\r\x1b[2K" << Padded(players[i]->label, width) << "  " << textOf(i)
                      << "\n";
            ++m_drawn;
        }
        m_env.out << std::flush;
    }

    static std::size_t LabelWidth(const std::vector<std::unique_ptr<Player>>& players) {
        std::size_t width = std::string("player").size();
        for (const auto& player : players) {
            width = std::max(width, player->label.size());
        }
        return width;
    }
    // Padded to the width in characters: a UTF-8 sequence takes one column.
    static std::string Padded(const std::string& text, std::size_t width) {
        const std::size_t shown = static_cast<std::size_t>(
            std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
        return text + std::string(width > shown ? width - shown : 0, ' ');
    }
    static std::string ProgressText(const ftp::FanOutUpload::Status& status,
                                    Clock::time_point now) {
        using Stage = ftp::FanOutUpload::Stage;
        switch (status.stage) {
            case Stage::Waiting:
                return "waiting";
            case Stage::LoggingIn:
                return "logging in";
            case Stage::Checking:
                return "checking what the server holds";
            case Stage::Failed:
                return "failed";
            case Stage::Done:
                if (status.alreadyPresent) {
                    return "già presente";
                }
                break;
            case Stage::Sending:
            case Stage::Proving:
                break;
        }
        const std::int64_t total = std::max<std::int64_t>(status.total, 0);
        const int percent =
            total > 0 ? static_cast<int>(status.sent * 100 / total) : (status.sent > 0 ? 100 : 0);
        const auto end = status.stage == Stage::Done ? status.endedAt : now;
        char text[128];
        std::snprintf(text, sizeof text, "%10s / %-10s %3d%%  %s%s", Mib(status.sent).c_str(),
                      Mib(total).c_str(), percent,
                      Rate(status.sent - status.resumedFrom, end - status.sendingSince).c_str(),
                      status.stage == Stage::Done      ? "  done"
                      : status.stage == Stage::Proving ? "  proving"
                                                       : "");
        return text;
    }

    const GroupToolEnvironment& m_env;
    std::size_t m_drawn = 0;
};

// Every player still to be served fails with the reason, and the report says so.
void FailTheRest(std::vector<std::unique_ptr<Player>>& players, const std::string& reason,
                 Report& report) {
    for (auto& player : players) {
        if (!player->failed) {
            player->Fail(reason);
            report.Event(*player, "failed: " + OneLine(reason));
        }
    }
}

// Opens every player's control channel at once. On a terminal each player's line shows its
// connection under way and then its outcome as it comes; otherwise one plain line a player once
// all have ended, in the group's order.
void ConnectAll(std::vector<std::unique_ptr<Player>>& players, const RunLimit& limit,
                Report& report, bool terminal) {
    if (!terminal) {
        ForAllAtOnce(players, [&limit](Player& player) { Connect(player, limit); });
    } else {
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<bool> ended(players.size());
        std::size_t left = 0;
        for (std::size_t i = 0; i < players.size(); ++i) {
            // A player refused before any connect (its port) has ended already.
            ended[i] = players[i]->failed;
            left += ended[i] ? 0 : 1;
        }
        std::thread connecting([&] {
            ForAllAtOnce(players, [&](Player& player) {
                Connect(player, limit);
                std::lock_guard<std::mutex> lock(mutex);
                for (std::size_t i = 0; i < players.size(); ++i) {
                    if (players[i].get() == &player) {
                        ended[i] = true;
                    }
                }
                --left;
                changed.notify_all();
            });
        });
        std::vector<bool> shown;
        for (bool over = false; !over;) {
            std::vector<bool> now;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait_for(lock, std::chrono::milliseconds(250),
                                 [&] { return ended != shown; });
                now = ended;
                over = left == 0;
            }
            if (now != shown) {
                report.Connecting(players, now);
                shown = now;
            }
        }
        connecting.join();
    }
    for (const auto& player : players) {
        report.Event(*player, player->failed ? "failed: " + OneLine(player->error) : "connected");
    }
}

// What the operator asked of a copy beyond the file.
struct CopyRequest {
    bool all = false;
    std::int64_t bytesPerSecond = 0;
};

void Copy(std::vector<std::unique_ptr<Player>>& players, const std::string& path, Report& report,
          const RunLimit& limit, const CopyRequest& request) {
    std::vector<ftp::FtpClient*> clients;
    std::vector<std::size_t> uploading;
    for (std::size_t i = 0; i < players.size(); ++i) {
        Player& player = *players[i];
        if (player.failed) {
            continue;
        }
        player.ftp.Host = player.address;
        player.ftp.Port = player.port + 1;
        // The account every player's FTP server has, as the links use it.
        player.ftp.Username = "orvanta";
        player.ftp.Password = "brindlemoss";
        clients.push_back(&player.ftp);
        uploading.push_back(i);
    }
    // Under a temporary name until complete and proven: a copy cut short by anything (a signal,
    // the timeout, a lost link, the program killed) never leaves a part under the real name,
    // and the next copy takes the part up where it ended.
    ftp::FanOutUpload::Options options;
    options.store = ftp::FanOutUpload::Store::ViaTemporaryName;
    options.skipPresent = !request.all;
    options.resume = true;
    options.prove = true;
    options.bytesPerSecond = request.bytesPerSecond;
    ftp::FanOutUpload upload(path, ftp::NamePart(path), clients, ftp::FanOutUpload::Login::First,
                             options);
    std::vector<ftp::FanOutUpload::Status> shown(clients.size());
    for (bool finished = false; !finished;) {
        finished = upload.WaitForChange(std::chrono::milliseconds(250));
        if (limit.Stopped()) {
            upload.Cancel(limit.Reason());
        }
        const auto statuses = upload.Statuses();
        for (std::size_t k = 0; k < statuses.size(); ++k) {
            const auto& now = statuses[k];
            Player& player = *players[uploading[k]];
            player.copy = now;
            if (now.stage == shown[k].stage) {
                continue;
            }
            using Stage = ftp::FanOutUpload::Stage;
            const bool sendingSeen =
                shown[k].stage == Stage::Sending || shown[k].stage == Stage::Proving;
            if ((now.stage == Stage::Sending ||
                 ((now.stage == Stage::Proving || now.stage == Stage::Done) && !sendingSeen)) &&
                !now.alreadyPresent) {
                if (now.resumedFrom > 0) {
                    report.Event(player, "resuming at byte " + std::to_string(now.resumedFrom) +
                                             " of " + std::to_string(now.total));
                } else {
                    report.Event(player, "sending " + std::to_string(now.total) + " bytes");
                }
            }
            if (now.stage == Stage::Done && now.alreadyPresent) {
                report.Event(player,
                             "già presente (" + std::to_string(now.total) + " bytes, not sent)");
            } else if (now.stage == Stage::Done) {
                const std::int64_t sent = now.sent - now.resumedFrom;
                const auto took = now.sendingSince == Clock::time_point{}
                                      ? Clock::duration{0}
                                      : now.endedAt - now.sendingSince;
                report.Event(player, "done " + std::to_string(sent) + " bytes in " + Seconds(took) +
                                         ", " + Rate(sent, took) +
                                         ", proof: " + (now.proof.empty() ? "none" : now.proof));
            } else if (now.stage == Stage::Failed) {
                player.Fail(now.error);
                // The FTP server's failure, unless the run's own end (a signal, the timeout)
                // cancelled the upload.
                player.failedOnFtp = !(limit.Stopped() && now.error == limit.Reason());
                report.Event(player.failedOnFtp ? player.ftpLabel : player.label,
                             "failed: " + OneLine(now.error));
            }
        }
        shown = statuses;
        report.Progress(players, uploading, statuses);
    }
}

// Sends the command's line to every connected player back to back, so that the first and the
// last receive it as close together as the machine allows.
void SendToAll(std::vector<std::unique_ptr<Player>>& players, const std::string& line,
               Report& report, const RunLimit& limit) {
    if (limit.Stopped()) {
        FailTheRest(players, limit.Reason(), report);
    }
    std::vector<Player*> reached;
    for (auto& player : players) {
        if (!player->failed) {
            reached.push_back(player.get());
        }
    }
    for (Player* player : reached) {
        try {
            player->channel.SendLine(line);
        } catch (const std::exception& e) {
            player->Fail(e.what());
        }
    }
    for (Player* player : reached) {
        report.Event(*player, player->failed ? "failed: " + OneLine(player->error) : "done");
    }
}

std::string LineFor(const std::string& command, const std::string& file) {
    if (command == "load") {
        return link::RenderFileLine(ftp::NamePart(file));
    }
    if (command == "play") {
        return link::PlayLine();
    }
    if (command == "pause") {
        return link::PauseLine();
    }
    return link::FullScreenLine();
}

// One port's answer to a probe, as the tool prints it.
struct PortState : net::PortAnswer {
    PortState() = default;
    // Peer text is made safe for a terminal.
    explicit PortState(net::PortAnswer answer) : net::PortAnswer(std::move(answer)) {
        greeting = TerminalSafe(greeting);
        error = OneLine(error);
    }

    std::string Text() const {
        switch (kind) {
            case Kind::Up: {
                char rtt[32];
                std::snprintf(rtt, sizeof rtt, "up %.1f ms",
                              std::chrono::duration<double, std::milli>(roundTrip).count());
                return greeting.empty() ? rtt : std::string(rtt) + "  " + greeting;
            }
            case Kind::Refused:
                return "refused";
            case Kind::Silent:
                return "no answer";
            case Kind::Failed:
                break;
        }
        return "failed: " + error;
    }
};

// Both ports of every player probed at once, each within the deadline.
struct Probe {
    std::vector<PortState> control;
    std::vector<PortState> ftp;
};

Probe ProbeAll(const std::vector<std::unique_ptr<Player>>& players, Clock::time_point deadline,
               const RunLimit& limit) {
    Probe probe;
    probe.control.resize(players.size());
    probe.ftp.resize(players.size());
    std::vector<net::PortToProbe> ports;
    std::vector<PortState*> states;
    for (std::size_t i = 0; i < players.size(); ++i) {
        const Player& player = *players[i];
        if (player.failed) {
            probe.control[i].kind = probe.ftp[i].kind = PortState::Kind::Failed;
            probe.control[i].error = probe.ftp[i].error = OneLine(player.error);
            continue;
        }
        ports.push_back({player.address, player.port});
        ports.push_back({player.address, player.port + 1});
        states.push_back(&probe.control[i]);
        states.push_back(&probe.ftp[i]);
    }
    std::vector<net::PortAnswer> answers = net::ProbePorts(ports, deadline, limit.Flag());
    for (std::size_t k = 0; k < answers.size(); ++k) {
        *states[k] = PortState(std::move(answers[k]));
    }
    return probe;
}

bool AllAnswer(const std::vector<std::unique_ptr<Player>>& players, const Probe& probe) {
    for (std::size_t i = 0; i < players.size(); ++i) {
        if (!probe.control[i].Up() || !probe.ftp[i].Up()) {
            return false;
        }
    }
    return true;
}

void PrintProbe(const std::vector<std::unique_ptr<Player>>& players, const Probe& probe,
                std::ostream& out) {
    std::size_t labelWidth = std::string("player").size();
    std::size_t controlWidth = std::string("control").size();
    for (std::size_t i = 0; i < players.size(); ++i) {
        labelWidth = std::max(labelWidth, players[i]->label.size());
        controlWidth = std::max(controlWidth, probe.control[i].Text().size());
    }
    const auto padded = [](const std::string& text, std::size_t width) {
        return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
    };
    out << padded("player", labelWidth) << "  " << padded("control", controlWidth) << "  ftp\n";
    std::size_t answering = 0;
    for (std::size_t i = 0; i < players.size(); ++i) {
        answering += probe.control[i].Up() && probe.ftp[i].Up() ? 1 : 0;
        out << padded(players[i]->label, labelWidth) << "  "
            << padded(probe.control[i].Text(), controlWidth) << "  " << probe.ftp[i].Text() << "\n";
    }
    out << answering << " of " << players.size() << " players answer on both ports\n" << std::flush;
}

// One port as the watch reports it: the state last reported, and a different one seen once
// that a second probe must confirm.
struct WatchedPort {
    bool up = false;
    std::optional<bool> pending;
};

// Probes once, prints the table, and with an interval keeps probing and prints a line each
// time a port goes down or comes up (two probes in a row agreeing), until stopped.
int RunStatus(const std::vector<std::unique_ptr<Player>>& players, const GroupToolEnvironment& env,
              const RunLimit& limit, std::optional<std::chrono::seconds> watch) {
    // A watch's probes never outlast its interval.
    const auto wait = watch ? std::min<Clock::duration>(net::kConnectTimeout, *watch)
                            : Clock::duration(net::kConnectTimeout);
    Probe probe = ProbeAll(players, Clock::now() + wait, limit);
    PrintProbe(players, probe, env.out);
    bool allUp = AllAnswer(players, probe);
    if (watch && !limit.Stopped()) {
        std::vector<WatchedPort> ports(players.size() * 2);
        for (std::size_t i = 0; i < players.size(); ++i) {
            ports[2 * i].up = probe.control[i].Up();
            ports[2 * i + 1].up = probe.ftp[i].Up();
        }
        auto next = Clock::now() + *watch;
        for (;;) {
            while (!limit.Stopped() && Clock::now() < next) {
                std::this_thread::sleep_for(net::kStopCheck);
            }
            if (limit.Stopped()) {
                break;
            }
            next = Clock::now() + *watch;
            probe = ProbeAll(players, Clock::now() + wait, limit);
            if (limit.Stopped()) {
                break;  // a probe cut short says nothing
            }
            for (std::size_t i = 0; i < players.size(); ++i) {
                for (int which = 0; which < 2; ++which) {
                    const PortState& now = which == 0 ? probe.control[i] : probe.ftp[i];
                    WatchedPort& port = ports[2 * i + static_cast<std::size_t>(which)];
                    if (now.Up() == port.up) {
                        port.pending.reset();
                    } else if (port.pending == now.Up()) {
                        port.up = now.Up();
                        port.pending.reset();
                        env.out << registry::JournalTime() << " " << players[i]->label << " "
                                << (which == 0 ? "control" : "ftp") << " "
                                << (now.Up() ? "up (" + now.Text() + ")"
                                             : "down (" + now.Text() + ")")
                                << "\n"
                                << std::flush;
                    } else {
                        port.pending = now.Up();
                    }
                }
            }
        }
        allUp = std::all_of(ports.begin(), ports.end(), [](const WatchedPort& p) { return p.up; });
    }
    env.out.flush();
    if (limit.Signal() != 0) {
        return kSignalBase + limit.Signal();
    }
    if (!allUp) {
        return kSomeFailed;
    }
    return env.out ? kAllDone : kOutputLost;
}

// The run's first line, so that a log of it reads on its own: when, what, which group and file.
void Heading(const GroupToolEnvironment& env, const std::string& time, const std::string& command,
             const std::string& group, const std::string& file) {
    env.out << time << " " << command << " group '" << TerminalSafe(group) << "'";
    if (!file.empty()) {
        env.out << " file '" << TerminalSafe(file) << "'";
    }
    env.out << "\n" << std::flush;
}

// The run's record in the journal beside the registry: each player's outcome. A journal that
// cannot be written is told of on the error output once and changes nothing of the run.
void Journal(const std::vector<std::unique_ptr<Player>>& players, const std::string& time,
             const std::string& command, const std::string& group, const std::string& file,
             const std::string& registryFile, const GroupToolEnvironment& env) {
    registry::JournalWriter writer("orvanta-group", env.err);
    try {
        registry::JournalRecord record =
            registry::NewJournalRecord("orvanta-group", command, group, file);
        record.time = time;
        for (const auto& player : players) {
            registry::JournalPlayer entry{
                player->address, player->storedPort, registry::JournalOutcome::Done, {}};
            if (player->failed) {
                entry.outcome = registry::JournalOutcome::Failed;
                entry.text = player->error;
            } else if (player->copy && player->copy->alreadyPresent) {
                entry.outcome = registry::JournalOutcome::AlreadyPresent;
            }
            record.players.push_back(std::move(entry));
        }
        writer.Append(registry::JournalPathFor(registryFile), record);
    } catch (const std::exception&) {
        // Memory for the record itself: the run is what matters.
    }
}

// A whole number from 1 written in at most `digits` decimal digits (few enough that it cannot
// overflow), as the options' values take it.
std::optional<std::int64_t> WholeNumberFromOne(const std::string& text, std::size_t digits) {
    if (text.empty() || text.size() > digits ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const std::int64_t number = std::stoll(text);
    if (number < 1) {
        return std::nullopt;
    }
    return number;
}

// Bytes a second for --limit-rate: a whole number from 1, K or M after it for KiB or MiB.
std::optional<std::int64_t> ParseRate(const std::string& text) {
    std::string digits = text;
    std::int64_t unit = 1;
    if (!digits.empty() && (digits.back() == 'K' || digits.back() == 'k')) {
        unit = 1024;
        digits.pop_back();
    } else if (!digits.empty() && (digits.back() == 'M' || digits.back() == 'm')) {
        unit = 1024 * 1024;
        digits.pop_back();
    }
    const auto count = WholeNumberFromOne(digits, 12);
    if (!count) {
        return std::nullopt;
    }
    return *count * unit;
}

// Seconds for --timeout: a whole number from 1 on.
std::optional<std::chrono::seconds> ParseSeconds(const std::string& text) {
    const auto seconds = WholeNumberFromOne(text, 9);
    if (!seconds) {
        return std::nullopt;
    }
    return std::chrono::seconds(*seconds);
}

// Why the file cannot be sent to any player; empty when it can. A copy needs a plain file that
// can be read; a load needs a name to send, and a local file of that name, where there is one,
// must be a plain file too (the players load what a copy would have stored).
std::string FileProblem(const std::string& command, const std::string& file) {
    try {
        ftp::RefuseNulInPath(file);
        if (command == "copy") {
            ftp::RequireRegularFile(file);
        } else {
            std::error_code error;
            const auto status = std::filesystem::status(file, error);
            if (ftp::NamePart(file).empty()) {
                return "Cannot load \"" + file + "\": the path names no file";
            }
            if (!error && std::filesystem::exists(status) &&
                !std::filesystem::is_regular_file(status)) {
                return "Cannot load \"" + ftp::FullPath(file) + "\": not a regular file";
            }
        }
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

}  // namespace

int RunGroupTool(const std::vector<std::string>& args, const GroupToolEnvironment& env) {
    CommandLine request;
    if (const auto status = ParseCommandLine(
            kProgram, args,
            {{"--registry", "--group", "--file", "--timeout", "--limit-rate", "--watch"},
             {"--all"}},
            request, env.out, env.err)) {
        return *status;
    }
    if (request.positional.empty()) {
        return WrongArgument(kProgram, "no command given", env.err);
    }
    const std::string command = request.positional[0];
    if (!kCommands.count(command)) {
        return WrongArgument(kProgram, "unknown command '" + TerminalSafe(command) + "'", env.err);
    }
    if (request.positional.size() > 1) {
        return WrongArgument(
            kProgram, "unexpected argument '" + TerminalSafe(request.positional[1]) + "'", env.err);
    }
    if (!request.Has("--group")) {
        return WrongArgument(kProgram, "--group is needed", env.err);
    }
    if (request.Has("--registry") && request.Value("--registry").empty()) {
        return WrongArgument(kProgram, "--registry needs a path", env.err);
    }
    if (request.Has("--file") && request.Value("--file").empty()) {
        return WrongArgument(kProgram, "--file needs a path", env.err);
    }
    std::optional<std::chrono::seconds> timeout;
    if (request.Has("--timeout")) {
        timeout = ParseSeconds(request.Value("--timeout"));
        if (!timeout) {
            return WrongArgument(kProgram, "--timeout needs a whole number of seconds from 1",
                                 env.err);
        }
    }
    CopyRequest copyRequest;
    copyRequest.all = request.Has("--all");
    if ((copyRequest.all || request.Has("--limit-rate")) && command != "copy") {
        return WrongArgument(
            kProgram, std::string(copyRequest.all ? "--all" : "--limit-rate") + " is for copy only",
            env.err);
    }
    if (request.Has("--limit-rate")) {
        const auto rate = ParseRate(request.Value("--limit-rate"));
        if (!rate) {
            return WrongArgument(
                kProgram, "--limit-rate needs bytes a second from 1, with K or M for KiB or MiB",
                env.err);
        }
        copyRequest.bytesPerSecond = *rate;
    }
    std::optional<std::chrono::seconds> watch;
    if (request.Has("--watch")) {
        if (command != "status") {
            return WrongArgument(kProgram, "--watch is for status only", env.err);
        }
        watch = ParseSeconds(request.Value("--watch"));
        if (!watch) {
            return WrongArgument(kProgram, "--watch needs a whole number of seconds from 1",
                                 env.err);
        }
    }
    const std::string group = request.Value("--group");
    const std::string shownGroup = TerminalSafe(group);
    // From here on a signal or the timeout ends the run as soon as what is under way allows.
    RunLimit limit(env.stopSignal, timeout);

    // The group's active players, read with the manager's own statements.
    registry::RegistryStore store(env.executableFolder);
    if (request.Has("--registry")) {
        store.UseRegistryFile(request.Value("--registry"));
    }
    const std::string location = store.DatabaseLocation();
    const std::string shownLocation = TerminalSafe(location);
    std::error_code error;
    if (!std::filesystem::is_regular_file(location, error)) {
        env.err << "orvanta-group: no registry file at " << shownLocation << "\n";
        return kBadInput;
    }
    std::vector<std::unique_ptr<Player>> players;
    try {
        store.LoadGroups();
        if (!store.FilterGroup(group)) {
            env.err << "orvanta-group: no group '" << shownGroup << "' in " << shownLocation
                    << "\n";
            return kBadInput;
        }
        store.SelectActivePlayers(group);
        db::Query& rows = store.qfiles;
        for (rows.First(); !rows.Eof(); rows.Next()) {
            auto player = std::make_unique<Player>();
            player->address = rows.FieldByName("player_ip").AsString();
            const std::int64_t port = rows.FieldByName("player_port").AsInteger();
            player->file = rows.FieldByName("player_file_play").AsString();
            player->label = TerminalSafe(player->address) + ":" + std::to_string(port);
            player->ftpLabel = TerminalSafe(player->address) + ":" + std::to_string(port + 1);
            player->storedPort = std::to_string(port);
            try {
                player->port = registry::PlayerPort(port);
            } catch (const Failure& e) {
                player->Fail(e.what());
            }
            players.push_back(std::move(player));
        }
    } catch (const std::exception& e) {
        // The file is there but could not be read (locked by another station past the wait,
        // damaged, not a registry): a failure of the run, not of its arguments.
        env.err << "orvanta-group: " << shownLocation << ": " << OneLine(e.what()) << "\n";
        return kSomeFailed;
    }
    if (players.empty()) {
        env.err << "orvanta-group: Nessun lettore impostato o attivo.\n";
        return kSomeFailed;
    }

    const std::string began = registry::JournalTime();
    if (command == "status") {
        Heading(env, began, command, group, {});
        return RunStatus(players, env, limit, watch);
    }

    // The file: the one given, or the first active player's, as the window's copy after an
    // initialize.
    std::string file;
    std::string fileProblem;
    if (command == "copy" || command == "load") {
        file = request.Value("--file", players.front()->file);
        if (file.empty()) {
            env.err << "orvanta-group: the group's first active player has no file; give --file\n";
            return kBadInput;
        }
        fileProblem = FileProblem(command, file);
        // A registry value holding a NUL names no file a player could be sent: every player
        // fails with it, as the manager's box says it, and none is contacted.
        if (!fileProblem.empty() && file.find('\0') == std::string::npos) {
            env.err << "orvanta-group: " << OneLine(fileProblem) << "\n";
            return kBadInput;
        }
    }

    Heading(env, began, command, group, file);
    Report report(env);
    if (!fileProblem.empty()) {
        FailTheRest(players, fileProblem, report);
    } else {
        ConnectAll(players, limit, report, env.terminal);
        if (command == "copy") {
            if (limit.Stopped()) {
                FailTheRest(players, limit.Reason(), report);
            } else {
                Copy(players, file, report, limit, copyRequest);
            }
        } else {
            SendToAll(players, LineFor(command, file), report, limit);
        }
        for (auto& player : players) {
            Disconnect(*player);
        }
    }
    report.Summary(players, command == "copy" && fileProblem.empty());
    env.out.flush();
    Journal(players, began, command, group, file, location, env);
    if (limit.Signal() != 0) {
        return kSignalBase + limit.Signal();
    }
    const bool anyFailed = std::any_of(players.begin(), players.end(),
                                       [](const auto& player) { return player->failed; });
    if (anyFailed) {
        return kSomeFailed;
    }
    return env.out ? kAllDone : kOutputLost;
}

}  // namespace orvanta::tools

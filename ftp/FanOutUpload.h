#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ftp/FtpClient.h"

namespace orvanta::ftp {

// One file uploaded to many FTP servers at once: one thread per server, each running its own
// client's upload exactly as a single upload runs (same commands, same data connection rules,
// same waits), with its own progress and its own outcome. A failure stays with its server;
// the others go on. The uploads are kept in step (see Progressed), so on a shared link they end
// together. Each upload reads the file through its own descriptor and sends it through
// the client's one piece buffer, so memory does not grow with the file.
// Stored via a temporary name, a server holds the file under its real name only once the whole
// of it has arrived: an upload cut short, by any means, never replaces a complete file there.
class FanOutUpload {
public:
    using Clock = std::chrono::steady_clock;
    // How far an upload may run ahead of the slowest upload still moving.
    static constexpr std::int64_t kInStep = 1 << 20;
    // An upload that sent nothing for this long no longer sets the pace.
    static constexpr std::chrono::milliseconds kStalledAfter{1000};

    enum class Stage { Waiting, LoggingIn, Sending, Done, Failed };
    // Whether each client logs in before its upload (fresh clients), or uploads over the
    // connection it already holds (a client that holds none fails with "Not Connected").
    enum class Login { First, Already };
    // Whether each server receives the file under its name, or under TemporaryName(name) and
    // then renames it (RNFR/RNTO) once it has confirmed the transfer. An upload or rename that
    // fails removes the temporary name (DELE) where the server allows.
    enum class Store { UnderItsName, ViaTemporaryName };

    struct Status {
        Stage stage = Stage::Waiting;
        // The file's size as the upload began sending; -1 before.
        std::int64_t total = -1;
        std::int64_t sent = 0;
        // The failure's text, as the client raised it.
        std::string error;
        // When sending began and when the upload ended (either meaningful once reached).
        std::chrono::steady_clock::time_point sendingSince{};
        std::chrono::steady_clock::time_point endedAt{};
    };

    // Starts every upload at once. The clients are not owned and must outlive this object; while
    // it runs, each belongs to its upload's thread, and its work callbacks are replaced (they
    // are put back when the upload ends).
    FanOutUpload(const std::string& path, const std::string& name,
                 const std::vector<FtpClient*>& clients, Login login,
                 Store store = Store::UnderItsName,
                 std::chrono::milliseconds stalledAfter = kStalledAfter);
    // Waits for every upload to end.
    ~FanOutUpload();
    FanOutUpload(const FanOutUpload&) = delete;
    FanOutUpload& operator=(const FanOutUpload&) = delete;

    // Waits until an upload changes stage or the timeout passes; true once every upload has
    // ended. Progress within a stage does not end the wait.
    bool WaitForChange(std::chrono::milliseconds timeout);
    // Waits for every upload to end.
    void Wait();
    bool Finished() const;
    // Every upload's status, in the order of the clients.
    std::vector<Status> Statuses() const;
    // Ends every upload still under way as soon as it can (within a fraction of a second, or
    // the time a connect or a clean-up reply takes): a data connection ends with a reset and
    // a temporary name is removed where the server allows. Those uploads fail with the reason;
    // those already ended keep their outcome. Any thread may call it.
    void Cancel(const std::string& reason);

    // The name a file is stored under until it is complete: beside it, in the same folder, so
    // the rename is one step on the server.
    static std::string TemporaryName(const std::string& name);
    // How long removing a temporary name after a failure may wait for each reply.
    static constexpr std::chrono::milliseconds kCleanUpReplyTimeout{5000};

private:
    static constexpr std::chrono::milliseconds kPaceRecheck{100};

    void Run(std::size_t index, FtpClient& client);
    void StoreViaTemporaryName(FtpClient& client, UploadSource& file);
    void SetStage(std::size_t index, Stage stage, const std::string& error = {});
    void Progressed(std::size_t index, std::int64_t sent);
    std::int64_t PaceLocked(Clock::time_point now) const;

    const std::string m_path;
    const std::string m_name;
    const Login m_login;
    const Store m_store;
    const std::chrono::milliseconds m_stalledAfter;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::condition_variable m_progressed;
    std::uint64_t m_changes = 0;
    std::size_t m_running = 0;
    std::vector<Status> m_statuses;
    // When each upload last sent a piece (or began).
    std::vector<Clock::time_point> m_movedAt;
    std::vector<std::thread> m_threads;
    // Set by Cancel; the clients' waits look at it.
    net::StopFlag m_stop{false};
    std::string m_cancelReason;
};

}  // namespace orvanta::ftp

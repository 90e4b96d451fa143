#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
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

    // Checking: asking the server what it already holds, before sending. Proving: asking it
    // what arrived, after sending.
    enum class Stage { Waiting, LoggingIn, Checking, Sending, Proving, Done, Failed };
    // Whether each client logs in before its upload (fresh clients), or uploads over the
    // connection it already holds (a client that holds none fails with "Not Connected").
    enum class Login { First, Already };
    // Whether each server receives the file under its name, or under TemporaryName(name) and
    // then renames it (RNFR/RNTO) once it has confirmed the transfer. An upload or rename that
    // fails removes the temporary name (DELE) where the server allows, unless the part is kept
    // to be resumed (Options::resume).
    enum class Store { UnderItsName, ViaTemporaryName };

    struct Options {
        Store store = Store::UnderItsName;
        // Before sending, each server is asked the real name's size and time (SIZE, MDTM, RFC
        // 3659): one that holds as many bytes as the file, stored no earlier than the file's
        // last change (to the second, both in UTC), already has it and is sent nothing
        // (Status::alreadyPresent). A server that cannot say is sent the file.
        bool skipPresent = false;
        // Via a temporary name only. A part an earlier copy left is kept after any failure and
        // resumed: the server is asked its size (SIZE) and, when it is shorter than the file
        // and was written no earlier than the file's last change, to store from there (REST);
        // one that refuses is sent the whole file. A part as long as the file is not sent
        // again.
        bool resume = false;
        // Via a temporary name only. Before the rename the server must hold as many bytes under
        // the temporary name as were sent (SIZE); where FEAT offers HASH, XMD5 or XCRC its
        // digest must match the file's (a part whose digest differs is removed). Either
        // difference fails the upload.
        bool prove = false;
        // With Login::Already: a client that finds its server closed the connection (before or
        // during its upload) logs in again, once, and its upload starts over.
        bool loginAgainOnce = false;
        // Bytes per second all the uploads together may send; 0 for no limit.
        std::int64_t bytesPerSecond = 0;
        std::chrono::milliseconds stalledAfter = kStalledAfter;
    };

    struct Status {
        Stage stage = Stage::Waiting;
        // The file's size as the upload began sending; -1 before.
        std::int64_t total = -1;
        std::int64_t sent = 0;
        // The failure's text, as the client raised it.
        std::string error;
        // The server already held the file (Options::skipPresent): nothing was sent.
        bool alreadyPresent = false;
        // Where sending began in the file: above 0 when a part of an earlier copy was resumed.
        // sent counts from the file's first byte, so sent - resumedFrom is what this upload
        // sent.
        std::int64_t resumedFrom = 0;
        // How the arrival was proven (Options::prove): "size", "size, SHA-256", "MD5", ...;
        // empty when the server could not be asked.
        std::string proof;
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
    FanOutUpload(const std::string& path, const std::string& name,
                 const std::vector<FtpClient*>& clients, Login login, const Options& options);
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
    // a temporary name is removed where the server allows (kept when it is to be resumed). Those
    // uploads fail with the reason; those already ended keep their outcome. Any thread may call it.
    void Cancel(const std::string& reason);

    // The name a file is stored under until it is complete: beside it, in the same folder, so
    // the rename is one step on the server.
    static std::string TemporaryName(const std::string& name);
    // How long removing a temporary name after a failure may wait for each reply.
    static constexpr std::chrono::milliseconds kCleanUpReplyTimeout{5000};

private:
    static constexpr std::chrono::milliseconds kPaceRecheck{100};

    void Start(const std::vector<FtpClient*>& clients);
    void Run(std::size_t index, FtpClient& client);
    // Checks, sends and proves, over a client that is logged in.
    void Send(std::size_t index, FtpClient& client);
    bool AlreadyPresent(FtpClient& client, std::int64_t size);
    std::int64_t ResumePoint(FtpClient& client, const std::string& part, std::int64_t size);
    void StoreViaTemporaryName(std::size_t index, FtpClient& client, UploadSource& file);
    void Prove(std::size_t index, FtpClient& client, const std::string& part, std::int64_t size);
    std::string LocalDigest(int algorithm, std::int64_t size);
    void SetStage(std::size_t index, Stage stage, const std::string& error = {});
    void Progressed(std::size_t index, std::int64_t sent);
    std::int64_t PaceLocked(Clock::time_point now) const;
    void ThrottleLocked(std::unique_lock<std::mutex>& lock, std::int64_t bytes);

    const std::string m_path;
    const std::string m_name;
    const Login m_login;
    const Options m_options;
    // The file's last change, to the second, in UTC; nothing when the system cannot say.
    std::optional<std::chrono::system_clock::time_point> m_changedAt;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::condition_variable m_progressed;
    std::uint64_t m_changes = 0;
    std::size_t m_running = 0;
    std::vector<Status> m_statuses;
    // When each upload last sent a piece (or began).
    std::vector<Clock::time_point> m_movedAt;
    // The rate limit's allowance: bytes that may go now, and when it was last topped up.
    double m_allowance = 0;
    Clock::time_point m_allowanceAt = Clock::now();
    // The file's digests, computed once for all uploads.
    std::mutex m_digestMutex;
    std::vector<std::pair<std::pair<int, std::int64_t>, std::string>> m_digests;
    std::vector<std::thread> m_threads;
    // Set by Cancel; the clients' waits look at it.
    net::StopFlag m_stop{false};
    std::string m_cancelReason;
};

}  // namespace orvanta::ftp

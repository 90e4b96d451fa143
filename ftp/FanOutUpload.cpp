#include "ftp/FanOutUpload.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <sstream>
#include <utility>

#include "core/Failure.h"
#include "core/Text.h"
#include "ftp/Digest.h"
#include "ftp/FileSource.h"

namespace orvanta::ftp {

namespace {

// The client's own work callbacks, put back when the upload ends however it ends.
class CallbackSwap {
public:
    explicit CallbackSwap(FtpClient& client)
        : m_client(client),
          m_begin(std::move(client.OnWorkBegin)),
          m_work(std::move(client.OnWork)),
          m_end(std::move(client.OnWorkEnd)),
          m_stop(client.Stop) {}
    ~CallbackSwap() {
        m_client.Stop = m_stop;
        m_client.OnWorkBegin = std::move(m_begin);
        m_client.OnWork = std::move(m_work);
        m_client.OnWorkEnd = std::move(m_end);
    }
    CallbackSwap(const CallbackSwap&) = delete;
    CallbackSwap& operator=(const CallbackSwap&) = delete;

private:
    FtpClient& m_client;
    decltype(FtpClient::OnWorkBegin) m_begin;
    decltype(FtpClient::OnWork) m_work;
    decltype(FtpClient::OnWorkEnd) m_end;
    const net::StopFlag* m_stop;
};

// Removes what a failed upload left under the temporary name, where the server allows; a
// cancelled upload's wait for it is its own, short one.
void RemoveQuietly(FtpClient& client, const std::string& name) noexcept {
    if (!client.Connected()) {
        return;
    }
    const auto stop = client.Stop;
    const auto replyTimeout = client.ReplyTimeout;
    client.Stop = nullptr;
    client.ReplyTimeout = std::min(replyTimeout, FanOutUpload::kCleanUpReplyTimeout);
    try {
        client.Delete(name);
    } catch (...) {
        // The part stays under its temporary name; the real name is untouched either way.
    }
    client.Stop = stop;
    client.ReplyTimeout = replyTimeout;
}

// The digest a server gave differs from the file's: the part it holds is wrong, and resuming it
// would only keep it wrong.
class DigestMismatch : public Failure {
public:
    using Failure::Failure;
};

// The file's last change, floored to the second as servers give times; nothing when the system
// cannot say.
std::optional<std::chrono::system_clock::time_point> LastChange(const std::string& path) {
    std::error_code error;
    const auto written = std::filesystem::last_write_time(path, error);
    if (error) {
        return std::nullopt;
    }
    return std::chrono::floor<std::chrono::seconds>(std::chrono::file_clock::to_sys(written));
}

// The algorithms a HASH feature line lists ("HASH SHA-256*;SHA-1;MD5"), and the one marked
// as in use.
struct HashFeature {
    std::vector<std::string> algorithms;
    std::string current;
};

std::optional<HashFeature> HashFeatureIn(const std::vector<std::string>& features) {
    for (const std::string& line : features) {
        if (line.size() < 4 ||
            !EqualsIgnoreCaseAscii(std::string_view(line).substr(0, 4), "HASH")) {
            continue;
        }
        if (line.size() > 4 && line[4] != ' ') {
            continue;
        }
        HashFeature feature;
        std::istringstream list(line.size() > 5 ? line.substr(5) : std::string());
        for (std::string name; std::getline(list, name, ';');) {
            if (!name.empty() && name.back() == '*') {
                name.pop_back();
                feature.current = name;
            }
            if (!name.empty()) {
                feature.algorithms.push_back(name);
            }
        }
        return feature;
    }
    return std::nullopt;
}

bool Lists(const std::vector<std::string>& features, const char* name) {
    return std::any_of(features.begin(), features.end(), [name](const std::string& line) {
        return EqualsIgnoreCaseAscii(line, name);
    });
}

}  // namespace

FanOutUpload::FanOutUpload(const std::string& path, const std::string& name,
                           const std::vector<FtpClient*>& clients, Login login, Store store,
                           std::chrono::milliseconds stalledAfter)
    : FanOutUpload(path, name, clients, login, [&] {
          Options options;
          options.store = store;
          options.stalledAfter = stalledAfter;
          return options;
      }()) {}

FanOutUpload::FanOutUpload(const std::string& path, const std::string& name,
                           const std::vector<FtpClient*>& clients, Login login,
                           const Options& options)
    : m_path(path),
      m_name(name),
      m_login(login),
      m_options(options),
      m_changedAt(options.skipPresent || options.resume ? LastChange(path) : std::nullopt),
      m_statuses(clients.size()),
      m_movedAt(clients.size(), Clock::now()) {
    Start(clients);
}

void FanOutUpload::Start(const std::vector<FtpClient*>& clients) {
    m_threads.reserve(clients.size());
    std::lock_guard<std::mutex> lock(m_mutex);
    for (std::size_t i = 0; i < clients.size(); ++i) {
        try {
            m_threads.emplace_back([this, i, client = clients[i]] { Run(i, *client); });
            ++m_running;
        } catch (const std::exception& e) {
            // No thread for this one (the system is out of them): it fails alone.
            m_statuses[i].stage = Stage::Failed;
            m_statuses[i].error = e.what();
            m_statuses[i].endedAt = Clock::now();
        }
    }
}

FanOutUpload::~FanOutUpload() {
    for (std::thread& thread : m_threads) {
        if (thread.joinable()) {
            thread.join();
        }
    }
}

void FanOutUpload::SetStage(std::size_t index, Stage stage, const std::string& error) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Status& status = m_statuses[index];
        status.stage = stage;
        if (stage == Stage::Sending) {
            status.sendingSince = Clock::now();
        }
        if (stage == Stage::Done || stage == Stage::Failed) {
            status.error = error;
            status.endedAt = Clock::now();
            --m_running;
        }
        ++m_changes;
    }
    m_changed.notify_all();
    // A stage change moves the pace too.
    m_progressed.notify_all();
}

void FanOutUpload::Run(std::size_t index, FtpClient& client) {
    std::string error;
    bool done = false;
    try {
        // The client's own callbacks are back before anyone can learn the upload has ended.
        CallbackSwap swap(client);
        client.OnWorkBegin = [this, index](FtpClient& sender, WorkMode, std::int64_t total) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_statuses[index].total = total;
                m_statuses[index].resumedFrom = sender.UploadStart();
                m_statuses[index].sent = sender.UploadStart();
            }
            SetStage(index, Stage::Sending);
        };
        client.OnWork = [this, index](FtpClient&, WorkMode, std::int64_t sent) {
            Progressed(index, sent);
        };
        client.Stop = &m_stop;
        for (int attempt = 0;; ++attempt) {
            try {
                const bool again = m_options.loginAgainOnce && attempt == 0 &&
                                   m_login == Login::Already && client.ClosedByServer();
                if (m_login == Login::First || again || attempt > 0) {
                    SetStage(index, Stage::LoggingIn);
                    client.ConnectAndLogin();
                    attempt += again ? 1 : 0;
                }
                Send(index, client);
                break;
            } catch (const std::exception&) {
                if (m_stop.load() || !m_options.loginAgainOnce || m_login != Login::Already ||
                    attempt > 0 || !client.ClosedByServer()) {
                    throw;
                }
            }
        }
        done = true;
    } catch (const std::exception& e) {
        error = e.what();
    } catch (...) {
        error = "Unknown error";
    }
    if (!done && m_stop.load()) {
        // Whatever the cancel's reset made of the upload, the operator asked for it.
        std::lock_guard<std::mutex> lock(m_mutex);
        error = m_cancelReason;
    }
    SetStage(index, done ? Stage::Done : Stage::Failed, error);
}

void FanOutUpload::Send(std::size_t index, FtpClient& client) {
    FileSource file(m_path);
    bool present = false;
    if (m_options.skipPresent) {
        SetStage(index, Stage::Checking);
        present = AlreadyPresent(client, file.Size());
        if (present) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_statuses[index].alreadyPresent = true;
            m_statuses[index].total = file.Size();
        }
    }
    if (present) {
        // Nothing to send.
    } else if (m_options.store == Store::ViaTemporaryName) {
        StoreViaTemporaryName(index, client, file);
    } else {
        client.UploadStream(file, m_name);
    }
}

bool FanOutUpload::AlreadyPresent(FtpClient& client, std::int64_t size) {
    if (!m_changedAt) {
        return false;
    }
    const auto held = client.Size(m_name);
    if (!held || *held != size) {
        return false;
    }
    const auto stored = client.ModificationTime(m_name);
    return stored && *stored >= *m_changedAt;
}

std::int64_t FanOutUpload::ResumePoint(FtpClient& client, const std::string& part,
                                       std::int64_t size) {
    const auto held = client.Size(part);
    if (!held || *held <= 0 || *held > size) {
        return 0;
    }
    // A part written before the file last changed holds bytes of an earlier version.
    if (m_changedAt) {
        const auto stored = client.ModificationTime(part);
        if (stored && *stored < *m_changedAt) {
            return 0;
        }
    }
    return *held;
}

void FanOutUpload::StoreViaTemporaryName(std::size_t index, FtpClient& client, UploadSource& file) {
    const std::string part = TemporaryName(m_name);
    try {
        const std::int64_t size = file.Size();
        std::int64_t from = 0;
        if (m_options.resume) {
            SetStage(index, Stage::Checking);
            from = ResumePoint(client, part, size);
        }
        if (from > 0 && from == size) {
            // The whole file is there already, from a copy that ended before its rename.
            std::lock_guard<std::mutex> lock(m_mutex);
            m_statuses[index].total = size;
            m_statuses[index].resumedFrom = size;
            m_statuses[index].sent = size;
        } else {
            client.UploadStream(file, part, from);
        }
        if (m_options.prove) {
            std::int64_t sent = 0;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                sent = m_statuses[index].total;
            }
            SetStage(index, Stage::Proving);
            Prove(index, client, part, sent);
        }
        client.Rename(part, m_name);
    } catch (const DigestMismatch&) {
        RemoveQuietly(client, part);
        throw;
    } catch (...) {
        // Kept to be resumed; otherwise it would only be in the way.
        if (!m_options.resume) {
            RemoveQuietly(client, part);
        }
        throw;
    }
}

void FanOutUpload::Prove(std::size_t index, FtpClient& client, const std::string& part,
                         std::int64_t size) {
    std::vector<std::string> proven;
    if (const auto held = client.Size(part)) {
        if (*held != size) {
            throw Failure("The server holds " + std::to_string(*held) + " bytes under \"" + part +
                          "\" where " + std::to_string(size) +
                          " were sent; the file is not put under its name.");
        }
        proven.push_back("size");
    }
    // The server's digest, by the first means its features offer.
    std::optional<ServerDigest> digest;
    const std::vector<std::string> features = client.Features();
    if (const auto hash = HashFeatureIn(features)) {
        bool selected = DigestNamed(hash->current).has_value();
        for (DigestAlgorithm wanted : {DigestAlgorithm::Sha256, DigestAlgorithm::Sha1,
                                       DigestAlgorithm::Md5, DigestAlgorithm::Crc32}) {
            if (selected) {
                break;
            }
            const std::string name = DigestName(wanted);
            if (std::any_of(hash->algorithms.begin(), hash->algorithms.end(),
                            [&](const std::string& a) { return EqualsIgnoreCaseAscii(a, name); })) {
                selected = client.SelectHash(name);
            }
        }
        if (selected) {
            digest = client.Hash(part);
        }
    }
    if (!digest && Lists(features, "XMD5")) {
        digest = client.Xmd5(part);
    }
    if (!digest && Lists(features, "XCRC")) {
        digest = client.Xcrc(part);
    }
    if (digest) {
        const auto algorithm = DigestNamed(digest->algorithm);
        if (!algorithm) {
            throw Failure("The server answered with a digest this program does not know (" +
                          digest->algorithm + ").");
        }
        const std::string local = LocalDigest(static_cast<int>(*algorithm), size);
        if (local != digest->hex) {
            throw DigestMismatch("The server's " + DigestName(*algorithm) + " of \"" + part +
                                 "\" is " + digest->hex + ", the file's " + local +
                                 "; the part is removed.");
        }
        proven.push_back(DigestName(*algorithm));
    }
    std::string proof;
    for (const std::string& step : proven) {
        proof += (proof.empty() ? "" : ", ") + step;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_statuses[index].proof = proof;
}

std::string FanOutUpload::LocalDigest(int algorithm, std::int64_t size) {
    // One upload computes it while the others needing it wait; each reads the file afresh.
    std::lock_guard<std::mutex> lock(m_digestMutex);
    const std::pair<int, std::int64_t> key{algorithm, size};
    for (const auto& known : m_digests) {
        if (known.first == key) {
            return known.second;
        }
    }
    FileSource file(m_path);
    std::string hex = HexDigest(static_cast<DigestAlgorithm>(algorithm), file, size);
    m_digests.emplace_back(key, hex);
    return hex;
}

std::string FanOutUpload::TemporaryName(const std::string& name) {
    return name + ".orvanta-part";
}

void FanOutUpload::Cancel(const std::string& reason) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stop.load()) {
            return;
        }
        m_cancelReason = reason;
        m_stop.store(true);
    }
    // An upload waiting for the others to catch up goes on to meet the flag.
    m_progressed.notify_all();
}

std::int64_t FanOutUpload::PaceLocked(Clock::time_point now) const {
    // The least sent by an upload that has not ended and is still moving (one still logging in
    // counts as having sent nothing). One that has sent nothing for a while (a server slow to
    // answer, or that stopped reading, a link that went away) is left out, so it never holds
    // the others back while its own wait runs out.
    std::int64_t pace = -1;
    for (std::size_t i = 0; i < m_statuses.size(); ++i) {
        const Status& status = m_statuses[i];
        const bool ended = status.stage == Stage::Done || status.stage == Stage::Failed;
        const std::int64_t sent = status.sent - status.resumedFrom;
        if (!ended && now - m_movedAt[i] <= m_options.stalledAfter && (pace < 0 || sent < pace)) {
            pace = sent;
        }
    }
    return pace;
}

void FanOutUpload::ThrottleLocked(std::unique_lock<std::mutex>& lock, std::int64_t bytes) {
    if (m_options.bytesPerSecond <= 0) {
        return;
    }
    const double rate = static_cast<double>(m_options.bytesPerSecond);
    // A burst of a few pieces at most, so the limit holds over any tenth of a second or so.
    const double burst = std::max(rate / 10, 65536.0);
    const auto topUp = [&] {
        const auto now = Clock::now();
        m_allowance = std::min(
            burst, m_allowance + rate * std::chrono::duration<double>(now - m_allowanceAt).count());
        m_allowanceAt = now;
    };
    topUp();
    m_allowance -= static_cast<double>(bytes);
    while (m_allowance < 0 && !m_stop.load()) {
        const auto wait = std::chrono::duration<double>(-m_allowance / rate);
        m_progressed.wait_for(lock, std::min<std::chrono::duration<double>>(wait, kPaceRecheck));
        topUp();
    }
}

void FanOutUpload::Progressed(std::size_t index, std::int64_t position) {
    std::unique_lock<std::mutex> lock(m_mutex);
    const std::int64_t bytes = std::max<std::int64_t>(0, position - m_statuses[index].sent);
    m_statuses[index].sent = position;
    m_movedAt[index] = Clock::now();
    m_progressed.notify_all();
    ThrottleLocked(lock, bytes);
    const std::int64_t sent = position - m_statuses[index].resumedFrom;
    // An upload far ahead of the others waits for them: on a shared link the uploads then end
    // together, instead of the last few crawling alone over links that could carry more. Its
    // socket's buffer still drains meanwhile, so the link stays busy. The wait is in short
    // steps because an upload that stalls leaves the pace without a word.
    for (;;) {
        const std::int64_t pace = PaceLocked(Clock::now());
        if (pace < 0 || sent <= pace + kInStep || m_stop.load()) {
            return;
        }
        m_progressed.wait_for(lock, kPaceRecheck);
    }
}

bool FanOutUpload::WaitForChange(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_mutex);
    const std::uint64_t seen = m_changes;
    m_changed.wait_for(lock, timeout, [&] { return m_running == 0 || m_changes != seen; });
    return m_running == 0;
}

void FanOutUpload::Wait() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return m_running == 0; });
}

bool FanOutUpload::Finished() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_running == 0;
}

std::vector<FanOutUpload::Status> FanOutUpload::Statuses() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_statuses;
}

}  // namespace orvanta::ftp

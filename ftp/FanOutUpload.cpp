#include "ftp/FanOutUpload.h"

#include <algorithm>
#include <exception>
#include <utility>

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

}  // namespace

FanOutUpload::FanOutUpload(const std::string& path, const std::string& name,
                           const std::vector<FtpClient*>& clients, Login login, Store store,
                           std::chrono::milliseconds stalledAfter)
    : m_path(path),
      m_name(name),
      m_login(login),
      m_store(store),
      m_stalledAfter(stalledAfter),
      m_statuses(clients.size()),
      m_movedAt(clients.size(), Clock::now()) {
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
        client.OnWorkBegin = [this, index](FtpClient&, WorkMode, std::int64_t total) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_statuses[index].total = total;
                m_statuses[index].sent = 0;
            }
            SetStage(index, Stage::Sending);
        };
        client.OnWork = [this, index](FtpClient&, WorkMode, std::int64_t sent) {
            Progressed(index, sent);
        };
        client.Stop = &m_stop;
        if (m_login == Login::First) {
            SetStage(index, Stage::LoggingIn);
            client.ConnectAndLogin();
        }
        FileSource file(m_path);
        if (m_store == Store::ViaTemporaryName) {
            StoreViaTemporaryName(client, file);
        } else {
            client.UploadStream(file, m_name);
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

void FanOutUpload::StoreViaTemporaryName(FtpClient& client, UploadSource& file) {
    const std::string part = TemporaryName(m_name);
    try {
        client.UploadStream(file, part);
        client.Rename(part, m_name);
    } catch (...) {
        RemoveQuietly(client, part);
        throw;
    }
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
        if (!ended && now - m_movedAt[i] <= m_stalledAfter && (pace < 0 || status.sent < pace)) {
            pace = status.sent;
        }
    }
    return pace;
}

void FanOutUpload::Progressed(std::size_t index, std::int64_t sent) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_statuses[index].sent = sent;
    m_movedAt[index] = Clock::now();
    m_progressed.notify_all();
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

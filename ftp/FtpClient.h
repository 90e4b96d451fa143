#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/Socket.h"

namespace orvanta::ftp {

enum class WorkMode { wmRead, wmWrite };

// What an upload reads from: a readable source with a known size.
class UploadSource {
public:
    virtual ~UploadSource() = default;
    virtual std::int64_t Size() = 0;
    // Moves to the first byte.
    virtual void Rewind() = 0;
    // Reads up to size bytes; 0 means no data could be read.
    virtual std::size_t Read(char* buffer, std::size_t size) = 0;
};

// The client side of FTP as far as uploads need it: log in, binary type, store files over
// active-mode data connections. Never sends QUIT.
class FtpClient {
public:
    FtpClient();
    // Closes an open control connection (sending side shut down, socket closed).
    ~FtpClient();
    FtpClient(const FtpClient&) = delete;
    FtpClient& operator=(const FtpClient&) = delete;

    std::string Host = "localhost";
    int Port = 69;
    std::string Username;
    std::string Password;
    // How long the connect may hear nothing back before it fails with the socket error 10060.
    std::chrono::milliseconds ConnectTimeout = net::kConnectTimeout;
    // How long an upload waits for the server's data connection before failing with the
    // socket error 10060.
    std::chrono::milliseconds DataConnectionTimeout{60000};
    // How long a send on the data connection may make no progress (the server stopped reading)
    // before the upload fails with the socket error 10060.
    std::chrono::milliseconds DataSendStallTimeout{60000};
    // How long any reply may keep the client waiting without a byte before the operation fails
    // with the socket error 10060; the client then drops the control connection.
    std::chrono::milliseconds ReplyTimeout{60000};
    // How long the closing reply that follows a 426 or 450 final reply may take; the upload then
    // fails with the 426 or 450 text.
    std::chrono::milliseconds AbortedTransferReplyTimeout{10000};

    // While it points at a flag that turns true, the client's waits end within a fraction of a
    // second with net::Stopped: a connect under way fails, a reply still awaited drops the
    // control connection (it would be read as the answer to a later command), and an upload's
    // data connection ends with a reset, so the server does not take the part for the whole.
    // Set by whoever owns the client for the time it runs; nothing else on the wire changes.
    const net::StopFlag* Stop = nullptr;

    std::function<void(FtpClient&, WorkMode, std::int64_t workCountMax)> OnWorkBegin;
    std::function<void(FtpClient&, WorkMode, std::int64_t workCount)> OnWork;
    std::function<void(FtpClient&, WorkMode)> OnWorkEnd;

    void ConnectAndLogin();
    void UploadStream(UploadSource& source, const std::string& name);
    // RNFR from, then RNTO to: the server's file `from` takes the name `to`.
    void Rename(const std::string& from, const std::string& to);
    // DELE name.
    void Delete(const std::string& name);

    // Whether the client holds a control connection (it may since have been dropped by the
    // server; the client learns that at its next exchange). True from a successful
    // ConnectAndLogin until Disconnect, destruction, a failed ConnectAndLogin or a reply past
    // the reader's bounds (the client then drops the connection), also once the server's
    // close has been met: uploads then fail with the connection's error, not with
    // "Not Connected".
    bool Connected() const;
    // Closes the control connection as destruction does; nothing is sent.
    void Disconnect() noexcept;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace orvanta::ftp

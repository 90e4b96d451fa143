#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
    // Moves to the byte at offset. The default rewinds and reads up to it.
    virtual void Seek(std::int64_t offset);
};

// A digest the server computed of a file it holds.
struct ServerDigest {
    // The algorithm as the server named it ("SHA-256", "MD5", ...).
    std::string algorithm;
    // The digest in lower-case hexadecimal.
    std::string hex;
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
    // Stores the source under name. With from above 0 (and below the source's size) the server
    // is asked to resume there (REST, RFC 3659): where it answers 350 only the rest is sent,
    // otherwise the whole source. Returns the byte sending began at, as UploadStart does.
    std::int64_t UploadStream(UploadSource& source, const std::string& name, std::int64_t from = 0);
    // Where the current (or last) upload's sending began in its source; known from before
    // OnWorkBegin, whose work counts are then positions in the source.
    std::int64_t UploadStart() const;

    // SIZE name (RFC 3659): the size the server holds for the file, in bytes. Nothing when the
    // server knows no such command (500, 502, 504) or no such file (550); other refusals raise.
    std::optional<std::int64_t> Size(const std::string& name);
    // MDTM name (RFC 3659): when the file was last modified, in UTC. Nothing as for Size.
    std::optional<std::chrono::system_clock::time_point> ModificationTime(const std::string& name);
    // FEAT (RFC 2389): the features the server lists, one a line, trimmed ("SIZE",
    // "HASH SHA-256*;MD5"). Empty when it knows no FEAT.
    std::vector<std::string> Features();
    // OPTS HASH algorithm: whether the server now hashes with it.
    bool SelectHash(const std::string& algorithm);
    // HASH name: the server's digest of the whole file with its current algorithm. Nothing as
    // for Size.
    std::optional<ServerDigest> Hash(const std::string& name);
    // XMD5 name and XCRC name: the server's MD5 or CRC-32 of the file. Nothing as for Size.
    std::optional<ServerDigest> Xmd5(const std::string& name);
    std::optional<ServerDigest> Xcrc(const std::string& name);
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
    // Whether the client has met the server's close of its control connection (at an exchange:
    // it does not look by itself). Connected() stays true until Disconnect or a new login.
    bool ClosedByServer() const;
    // Closes the control connection as destruction does; nothing is sent.
    void Disconnect() noexcept;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace orvanta::ftp

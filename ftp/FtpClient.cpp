#include "ftp/FtpClient.h"

#include <algorithm>
#include <initializer_list>

#include "ftp/Reply.h"
#include "net/LineReader.h"
#include "net/Socket.h"
#include "net/SocketError.h"

namespace orvanta::ftp {

namespace {

const char* const kNotConnected = "Not Connected";
const char* const kClosedGracefully = "Connection Closed Gracefully.";
const char* const kCouldNotBind = "Could not bind socket. Address and port are already in use.";
const char* const kNoDataToRead = "No data to read.";
// A CR or LF inside an argument would end the command early and let the rest of it be read as
// a command of its own.
const char* const kLineBreakInCommand = "Line breaks cannot be sent in an FTP command.";

constexpr std::size_t kSendPieceSize = 32768;
constexpr int kDataWaitStepMs = 1000;
constexpr int kDataListenBacklog = 15;

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

// Ends the sending side so the peer reads the end of the data, then closes.
void ShutdownAndClose(net::Socket& socket) noexcept {
    socket.ShutdownSend();
    socket.Close();
}

// Waits in steps for the server's data connection, until the timeout.
net::Socket AwaitDataConnection(net::Socket& listener, net::Ipv4 serverAddress,
                                std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto left = std::max<std::int64_t>(
            0,
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
        if (listener.WaitReadable(
                static_cast<int>(std::min<std::int64_t>(left, kDataWaitStepMs)))) {
            net::Ipv4 from = 0;
            net::Socket connection = net::AcceptTcp(listener, &from);
            // Only the FTP server may fetch the file; anyone else who connects first is turned
            // away and the wait goes on.
            if (from == serverAddress) {
                // Every send is a whole piece; holding one back until the previous is
                // acknowledged (Nagle) would only slow the transfer.
                connection.SetNoDelay(true);
                return connection;
            }
            connection.Close();
        }
        if (Clock::now() >= deadline) {
            throw net::SocketError(net::kTimedOut);
        }
    }
}

// Sends the source from its first byte up to the size it has now, one piece at a time
// through one buffer.
void SendSource(FtpClient& client, UploadSource& source, net::Socket& data) {
    source.Rewind();
    const std::int64_t total = std::max<std::int64_t>(0, source.Size());
    if (client.OnWorkBegin) {
        client.OnWorkBegin(client, WorkMode::wmWrite, total);
    }
    try {
        const auto buffer = std::make_unique<char[]>(kSendPieceSize);
        std::int64_t sent = 0;
        for (;;) {
            const std::size_t piece = static_cast<std::size_t>(
                std::min<std::int64_t>(total - sent, static_cast<std::int64_t>(kSendPieceSize)));
            if (piece == 0) {
                break;
            }
            const std::size_t read = std::min(source.Read(buffer.get(), piece), piece);
            if (read == 0) {
                throw Failure(kNoDataToRead);
            }
            for (std::size_t done = 0; done < read;) {
                const std::size_t accepted =
                    data.Send(buffer.get() + done, read - done,
                              static_cast<int>(client.DataSendStallTimeout.count()));
                done += accepted;
                sent += static_cast<std::int64_t>(accepted);
                if (client.OnWork) {
                    client.OnWork(client, WorkMode::wmWrite, sent);
                }
            }
        }
    } catch (...) {
        if (client.OnWorkEnd) {
            client.OnWorkEnd(client, WorkMode::wmWrite);
        }
        throw;
    }
    if (client.OnWorkEnd) {
        client.OnWorkEnd(client, WorkMode::wmWrite);
    }
}

}  // namespace

struct FtpClient::State {
    enum class Connection { Absent, Open, ClosedByServer };

    Connection connection = Connection::Absent;
    net::Socket control;
    net::LineReader reader;
    net::Ipv4 localAddress = 0;
    net::Ipv4 peerAddress = 0;
    Reply lastReply;
    // An upload failed after the server accepted its STOR: the server's final reply for that
    // transfer is still to come, and would be read as the answer to the next command.
    bool finalReplyPending = false;

    void Close() noexcept {
        ShutdownAndClose(control);
        reader.Clear();
        connection = Connection::Absent;
        finalReplyPending = false;
    }

    void MarkClosedByServer() noexcept {
        control.Close();
        connection = Connection::ClosedByServer;
    }

    void SendCommand(const std::string& line) {
        if (HasLineBreak(line)) {
            throw Failure(kLineBreakInCommand);
        }
        if (connection == Connection::ClosedByServer) {
            throw Failure(kClosedGracefully);
        }
        const std::string wire = line + "\r\n";
        try {
            control.SendAll(wire.data(), wire.size());
        } catch (const net::SocketError& e) {
            if (e.Code() == net::kConnectionAborted || e.Code() == net::kConnectionReset ||
                e.Code() == net::kShutdown) {
                MarkClosedByServer();
            }
            throw;
        }
    }

    std::string ReadLine() {
        if (connection == Connection::ClosedByServer) {
            throw Failure(kClosedGracefully);
        }
        std::string line;
        try {
            // The client sets no time limit of its own on a reply, so the only other outcome
            // is the server's close.
            if (reader.ReadLine(control, -1, line) == net::LineReader::Result::Line) {
                return line;
            }
        } catch (const net::SocketError& e) {
            if (e.Code() == net::kConnectionAborted || e.Code() == net::kShutdown) {
                const bool partial = reader.HasPartialLine();
                MarkClosedByServer();
                if (partial) {
                    throw Failure(kClosedGracefully);
                }
            }
            throw;
        }
        MarkClosedByServer();
        throw Failure(kClosedGracefully);
    }

    // Brings the conversation back in step after a failed transfer: the replies that transfer
    // may still produce are passed over; the first other one answers NOOP, and anything but a
    // positive answer fails with its text rather than waiting for a 200 that may never come.
    void CatchUp() {
        SendCommand("NOOP");
        for (;;) {
            lastReply = ReadReply([this] { return ReadLine(); });
            if (!IsTransferReply(lastReply.code)) {
                break;
            }
        }
        finalReplyPending = false;
        if (lastReply.code < 200 || lastReply.code > 299) {
            throw ReplyError(lastReply);
        }
    }

    static bool IsTransferReply(int code) {
        switch (code) {
            case 225:
            case 226:
            case 250:
            case 421:
            case 425:
            case 426:
            case 450:
            case 451:
            case 452:
            case 552:
            case 553:
                return true;
            default:
                return code >= 100 && code < 200;
        }
    }

    const Reply& Expect(std::initializer_list<int> accepted) {
        lastReply = ReadReply([this] { return ReadLine(); });
        if (std::find(accepted.begin(), accepted.end(), lastReply.code) == accepted.end()) {
            throw ReplyError(lastReply);
        }
        return lastReply;
    }
};

FtpClient::FtpClient() : m_state(std::make_unique<State>()) {}

FtpClient::~FtpClient() {
    Disconnect();
}

bool FtpClient::Connected() const {
    return m_state->connection != State::Connection::Absent;
}

void FtpClient::Disconnect() noexcept {
    m_state->Close();
}

void FtpClient::ConnectAndLogin() {
    State& s = *m_state;
    s.Close();
    try {
        s.control = net::ConnectTcp(Host, Port);
        s.connection = State::Connection::Open;
        s.localAddress = s.control.LocalAddress();
        s.peerAddress = s.control.PeerAddress();
        s.Expect({220});
        s.SendCommand("USER " + Username);
        if (s.Expect({230, 331}).code == 331) {
            s.SendCommand("PASS " + Password);
            s.Expect({230});
        }
        s.SendCommand("TYPE I");
        s.Expect({200});
        s.SendCommand("SYST");
        s.Expect({200, 215, 500});
    } catch (...) {
        s.Close();
        throw;
    }
}

void FtpClient::UploadStream(UploadSource& source, const std::string& name) {
    State& s = *m_state;
    if (s.connection == State::Connection::Absent) {
        throw Failure(kNotConnected);
    }
    if (HasLineBreak(name)) {
        throw Failure(kLineBreakInCommand);
    }
    if (s.finalReplyPending) {
        s.CatchUp();
    }

    net::Socket data;
    {
        net::Socket listener;
        try {
            listener = net::ListenTcp(s.localAddress, 0, kDataListenBacklog);
        } catch (const net::SocketError& e) {
            if (e.Code() == net::kAddressInUse) {
                throw Failure(kCouldNotBind);
            }
            throw;
        }
        const net::Ipv4 address = listener.LocalAddress();
        const std::uint16_t port = listener.LocalPort();
        s.SendCommand("PORT " + std::to_string((address >> 24) & 0xFF) + "," +
                      std::to_string((address >> 16) & 0xFF) + "," +
                      std::to_string((address >> 8) & 0xFF) + "," + std::to_string(address & 0xFF) +
                      "," + std::to_string(port / 256) + "," + std::to_string(port % 256));
        s.Expect({200});
        s.SendCommand("STOR " + name);
        s.Expect({125, 150});
        s.finalReplyPending = true;
        data = AwaitDataConnection(listener, s.peerAddress, DataConnectionTimeout);
    }  // the listener is closed here, whatever happened: no second data connection is taken

    try {
        SendSource(*this, source, data);
    } catch (...) {
        // A normal end would make the server store the part sent as the whole file.
        data.Abort();
        throw;
    }
    ShutdownAndClose(data);

    s.finalReplyPending = false;
    if (const int code = s.Expect({225, 226, 250, 426, 450}).code; code == 426 || code == 450) {
        s.Expect({226, 225});
    }
}

}  // namespace orvanta::ftp

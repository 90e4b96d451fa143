#include "ftp/FtpClient.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <optional>
#include <sstream>

#include "core/Text.h"
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
// The server would read the command up to the NUL, or take the rest for another name.
const char* const kNulInCommand = "A NUL character cannot be sent in an FTP command.";

constexpr std::size_t kSendPieceSize = 32768;
constexpr int kDataWaitStepMs = 1000;
constexpr int kDataListenBacklog = 15;

// Socket errors after which the control connection is known to be gone.
bool EndsConnection(int code) {
    return code == net::kConnectionAborted || code == net::kConnectionReset ||
           code == net::kShutdown;
}

// Refuses what would not reach the server as the one command it is meant to be.
void CheckCommandText(const std::string& text) {
    if (text.find_first_of("\r\n") != std::string::npos) {
        throw Failure(kLineBreakInCommand);
    }
    if (text.find('\0') != std::string::npos) {
        throw Failure(kNulInCommand);
    }
}

// Ends the sending side so the peer reads the end of the data, then closes.
void ShutdownAndClose(net::Socket& socket) noexcept {
    socket.ShutdownSend();
    socket.Close();
}

// Waits in steps for the server's data connection, until the timeout.
net::Socket AwaitDataConnection(net::Socket& listener, net::Ipv4 serverAddress,
                                std::chrono::milliseconds timeout, const net::StopFlag* stop) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto left = std::max<std::int64_t>(
            0,
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
        if (listener.WaitReadable(static_cast<int>(std::min<std::int64_t>(left, kDataWaitStepMs)),
                                  stop)) {
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

// Sends the source from the byte at start up to the size it had as sending began, one piece at
// a time through one buffer. The work counts are positions in the source.
void SendSource(FtpClient& client, UploadSource& source, net::Socket& data, std::int64_t start) {
    const std::int64_t total = std::max<std::int64_t>(0, source.Size());
    if (start > 0) {
        source.Seek(start);
    } else {
        source.Rewind();
    }
    if (client.OnWorkBegin) {
        client.OnWorkBegin(client, WorkMode::wmWrite, total);
    }
    try {
        std::int64_t sent = start;
        if (start > 0 && client.OnWork) {
            client.OnWork(client, WorkMode::wmWrite, sent);
        }
        const auto buffer = std::make_unique<char[]>(kSendPieceSize);
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
                              static_cast<int>(client.DataSendStallTimeout.count()), client.Stop);
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

// Replies that say the server does not know the command, or has no such file: the question
// has no answer there, which is not a failure.
bool SaysNotKnown(int code) {
    return code == 500 || code == 502 || code == 504 || code == 550;
}

bool AllHex(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](unsigned char c) { return std::isxdigit(c) != 0; });
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

[[noreturn]] void ThrowUnexpected(const std::string& command, const Reply& reply) {
    throw Failure("The server's answer to " + command + " makes no sense: " + reply.codeText + " " +
                  (reply.textLines.empty() ? std::string() : reply.textLines.front()));
}

// "YYYYMMDDHHMMSS" with an optional fraction of a second (RFC 3659's time-val), in UTC.
std::optional<std::chrono::system_clock::time_point> ParseTimeVal(const std::string& text) {
    using namespace std::chrono;
    if (text.size() < 14 || !std::all_of(text.begin(), text.begin() + 14,
                                         [](unsigned char c) { return std::isdigit(c) != 0; })) {
        return std::nullopt;
    }
    const auto number = [&](std::size_t at, std::size_t digits) {
        return std::stoi(text.substr(at, digits));
    };
    const year_month_day date{year{number(0, 4)}, month{static_cast<unsigned>(number(4, 2))},
                              day{static_cast<unsigned>(number(6, 2))}};
    const int h = number(8, 2);
    const int m = number(10, 2);
    const int s = number(12, 2);
    if (!date.ok() || h > 23 || m > 59 || s > 60) {
        return std::nullopt;
    }
    system_clock::duration fraction{0};
    if (text.size() > 14) {
        const std::string digits = text.substr(15);
        if (text[14] != '.' || digits.empty() || digits.size() > 9 ||
            !std::all_of(digits.begin(), digits.end(),
                         [](unsigned char c) { return std::isdigit(c) != 0; })) {
            return std::nullopt;
        }
        const long long nanos = std::stoll(digits + std::string(9 - digits.size(), '0'));
        fraction = duration_cast<system_clock::duration>(nanoseconds(nanos));
    }
    return time_point_cast<system_clock::duration>(sys_days{date}) + hours{h} + minutes{m} +
           seconds{s} + fraction;
}

}  // namespace

struct FtpClient::State {
    enum class Connection { Absent, Open, ClosedByServer };
    using Clock = std::chrono::steady_clock;
    // A reply did not come within the time its caller gave it.
    struct DeadlinePassed {};

    Connection connection = Connection::Absent;
    net::Socket control;
    net::LineReader reader;
    net::Ipv4 localAddress = 0;
    net::Ipv4 peerAddress = 0;
    Reply lastReply;
    // An upload failed after the server accepted its STOR: the server's final reply for that
    // transfer is still to come, and would be read as the answer to the next command.
    bool finalReplyPending = false;
    // How long a reply may keep the client waiting without a byte (the client's setting, taken
    // at the start of each operation).
    std::chrono::milliseconds replyTimeout{60000};
    // The client's stop flag, taken at the start of each operation.
    const net::StopFlag* stop = nullptr;
    // Where the current or last upload began sending in its source.
    std::int64_t uploadStart = 0;

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
        CheckCommandText(line);
        if (connection == Connection::ClosedByServer) {
            throw Failure(kClosedGracefully);
        }
        const std::string wire = line + "\r\n";
        try {
            control.SendAll(wire.data(), wire.size());
        } catch (const net::SocketError& e) {
            if (EndsConnection(e.Code())) {
                MarkClosedByServer();
            }
            throw;
        }
    }

    // Reads one line. Fails with the socket error 10060, dropping the connection, once no byte
    // has arrived for replyTimeout: a reply that comes later would be taken for the answer to
    // a later command. Raises DeadlinePassed once the deadline is reached first.
    std::string ReadLine(Clock::time_point deadline) {
        if (connection == Connection::ClosedByServer) {
            throw Failure(kClosedGracefully);
        }
        std::string line;
        try {
            for (;;) {
                // Takes only what has arrived; the waits for more are bounded below.
                const net::LineReader::Result result = reader.ReadLine(control, 0, line);
                if (result == net::LineReader::Result::Line) {
                    return line;
                }
                if (result == net::LineReader::Result::PeerClosed) {
                    break;
                }
                const auto untilDeadline = deadline - Clock::now();
                const bool deadlineFirst = untilDeadline <= replyTimeout;
                const auto wait = deadlineFirst ? untilDeadline : Clock::duration(replyTimeout);
                bool readable = false;
                try {
                    readable = control.WaitReadable(
                        static_cast<int>(std::max<std::int64_t>(
                            0, std::chrono::ceil<std::chrono::milliseconds>(wait).count())),
                        stop);
                } catch (const net::Stopped&) {
                    // The reply may still come, and would answer the next command.
                    Close();
                    throw;
                }
                if (!readable) {
                    if (deadlineFirst) {
                        throw DeadlinePassed{};
                    }
                    Close();
                    throw net::SocketError(net::kTimedOut);
                }
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
    // A server that closes the connection meanwhile has said why in the last refusal passed
    // over (a 421, say): that text fails the upload, not the bare close.
    void CatchUp() {
        SendCommand("NOOP");
        std::optional<Reply> refusal;
        for (;;) {
            try {
                lastReply = ReadOneReply();
            } catch (const net::SocketError& e) {
                if (refusal && EndsConnection(e.Code())) {
                    throw ReplyError(*refusal);
                }
                throw;
            } catch (const Failure&) {
                if (refusal && connection == Connection::ClosedByServer) {
                    throw ReplyError(*refusal);
                }
                throw;
            }
            if (!IsTransferReply(lastReply.code)) {
                break;
            }
            if (lastReply.code >= 400) {
                refusal = lastReply;
            }
        }
        finalReplyPending = false;
        if (lastReply.code < 200 || lastReply.code > 299) {
            throw ReplyError(lastReply);
        }
    }

    // Takes the client's settings for the exchange about to begin, and passes over a final
    // reply an earlier upload left unread.
    void BeginExchange(const FtpClient& client) {
        replyTimeout = client.ReplyTimeout;
        stop = client.Stop;
        if (finalReplyPending) {
            CatchUp();
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

    Reply ReadOneReply(Clock::time_point deadline = Clock::time_point::max()) {
        try {
            return ReadReply([this, deadline] { return ReadLine(deadline); });
        } catch (const ReplyTooLong&) {
            // What is left of the reply would be read as the answers to the commands that
            // follow: the conversation cannot be brought back in step.
            Close();
            throw;
        }
    }

    void RequireConnection() const {
        if (connection == Connection::Absent) {
            throw Failure(kNotConnected);
        }
    }

    // Sends a command about a file and reads its reply: the reply when its code is accepted,
    // nothing when it says the server does not know the command or the file; raises otherwise.
    std::optional<Reply> Ask(const FtpClient& client, const std::string& command,
                             const std::string& name, std::initializer_list<int> accepted) {
        RequireConnection();
        CheckCommandText(name);
        BeginExchange(client);
        SendCommand(name.empty() ? command : command + " " + name);
        lastReply = ReadOneReply();
        if (std::find(accepted.begin(), accepted.end(), lastReply.code) != accepted.end()) {
            return lastReply;
        }
        if (SaysNotKnown(lastReply.code)) {
            return std::nullopt;
        }
        throw ReplyError(lastReply);
    }

    const Reply& Expect(std::initializer_list<int> accepted,
                        Clock::time_point deadline = Clock::time_point::max()) {
        lastReply = ReadOneReply(deadline);
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

bool FtpClient::ClosedByServer() const {
    return m_state->connection == State::Connection::ClosedByServer;
}

void FtpClient::Disconnect() noexcept {
    m_state->Close();
}

void FtpClient::ConnectAndLogin() {
    State& s = *m_state;
    s.Close();
    s.replyTimeout = ReplyTimeout;
    s.stop = Stop;
    try {
        s.control = net::ConnectTcp(Host, Port, ConnectTimeout, Stop);
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

void UploadSource::Seek(std::int64_t offset) {
    Rewind();
    char buffer[8192];
    while (offset > 0) {
        const std::size_t piece =
            static_cast<std::size_t>(std::min<std::int64_t>(offset, sizeof buffer));
        const std::size_t read = Read(buffer, piece);
        if (read == 0) {
            throw Failure(kNoDataToRead);
        }
        offset -= static_cast<std::int64_t>(read);
    }
}

std::int64_t FtpClient::UploadStart() const {
    return m_state->uploadStart;
}

std::int64_t FtpClient::UploadStream(UploadSource& source, const std::string& name,
                                     std::int64_t from) {
    State& s = *m_state;
    if (s.connection == State::Connection::Absent) {
        throw Failure(kNotConnected);
    }
    CheckCommandText(name);
    s.BeginExchange(*this);
    s.uploadStart = 0;

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
        // REST goes last before the STOR it applies to. A server that refuses it stores the
        // whole file from its first byte.
        if (from > 0 && from < source.Size()) {
            s.SendCommand("REST " + std::to_string(from));
            if (s.Expect({350, 500, 501, 502, 504, 550, 554}).code == 350) {
                s.uploadStart = from;
            }
        }
        s.SendCommand("STOR " + name);
        s.Expect({125, 150});
        s.finalReplyPending = true;
        data = AwaitDataConnection(listener, s.peerAddress, DataConnectionTimeout, Stop);
    }  // the listener is closed here, whatever happened: no second data connection is taken

    try {
        SendSource(*this, source, data, s.uploadStart);
    } catch (...) {
        // A normal end would make the server store the part sent as the whole file.
        data.Abort();
        throw;
    }
    ShutdownAndClose(data);

    s.finalReplyPending = false;
    const Reply finalReply = s.Expect({225, 226, 250, 426, 450});
    if (finalReply.code == 426 || finalReply.code == 450) {
        try {
            s.Expect({226, 225}, State::Clock::now() + AbortedTransferReplyTimeout);
        } catch (const State::DeadlinePassed&) {
            // Some servers say nothing more after the 426 (one whose disk is full, for
            // instance). Should the closing reply come after all, the next upload passes it.
            s.finalReplyPending = true;
            throw ReplyError(finalReply);
        }
    }
    return s.uploadStart;
}

void FtpClient::Rename(const std::string& from, const std::string& to) {
    State& s = *m_state;
    if (s.connection == State::Connection::Absent) {
        throw Failure(kNotConnected);
    }
    CheckCommandText(from);
    CheckCommandText(to);
    s.BeginExchange(*this);
    s.SendCommand("RNFR " + from);
    s.Expect({350});
    s.SendCommand("RNTO " + to);
    s.Expect({250, 200});
}

void FtpClient::Delete(const std::string& name) {
    State& s = *m_state;
    if (s.connection == State::Connection::Absent) {
        throw Failure(kNotConnected);
    }
    CheckCommandText(name);
    s.BeginExchange(*this);
    s.SendCommand("DELE " + name);
    s.Expect({250, 200});
}

std::optional<std::int64_t> FtpClient::Size(const std::string& name) {
    const auto reply = m_state->Ask(*this, "SIZE", name, {213});
    if (!reply) {
        return std::nullopt;
    }
    const std::vector<std::string> words = Words(reply->textLines.front());
    if (words.empty() || words.front().size() > 18 ||
        !std::all_of(words.front().begin(), words.front().end(),
                     [](unsigned char c) { return std::isdigit(c) != 0; })) {
        ThrowUnexpected("SIZE", *reply);
    }
    return std::stoll(words.front());
}

std::optional<std::chrono::system_clock::time_point> FtpClient::ModificationTime(
    const std::string& name) {
    const auto reply = m_state->Ask(*this, "MDTM", name, {213});
    if (!reply) {
        return std::nullopt;
    }
    const std::vector<std::string> words = Words(reply->textLines.front());
    const auto time = words.empty() ? std::nullopt : ParseTimeVal(words.front());
    if (!time) {
        ThrowUnexpected("MDTM", *reply);
    }
    return time;
}

std::vector<std::string> FtpClient::Features() {
    const auto reply = m_state->Ask(*this, "FEAT", "", {211});
    std::vector<std::string> features;
    // The first and the last line frame the list; a one-line 211 lists nothing.
    if (reply && reply->textLines.size() > 2) {
        for (std::size_t i = 1; i + 1 < reply->textLines.size(); ++i) {
            std::string feature = Trimmed(reply->textLines[i]);
            if (!feature.empty()) {
                features.push_back(std::move(feature));
            }
        }
    }
    return features;
}

bool FtpClient::SelectHash(const std::string& algorithm) {
    CheckCommandText(algorithm);
    try {
        return m_state->Ask(*this, "OPTS HASH", algorithm, {200}).has_value();
    } catch (const ReplyError& e) {
        // 501: not an algorithm this server has.
        if (e.Code() == 501) {
            return false;
        }
        throw;
    }
}

std::optional<ServerDigest> FtpClient::Hash(const std::string& name) {
    const auto reply = m_state->Ask(*this, "HASH", name, {213});
    if (!reply) {
        return std::nullopt;
    }
    // "SHA-256 0-49 169cd22282da7f147cb491e559e9dd filename"
    const std::vector<std::string> words = Words(reply->textLines.front());
    if (words.size() < 3 || !AllHex(words[2])) {
        ThrowUnexpected("HASH", *reply);
    }
    return ServerDigest{words[0], Lower(words[2])};
}

namespace {

// The first word of an X-command's reply that can be the digest: servers differ in what they
// put around it.
std::optional<ServerDigest> DigestIn(const std::string& command, const Reply& reply,
                                     const std::string& algorithm, std::size_t digits) {
    for (const std::string& word : Words(reply.textLines.front())) {
        if (AllHex(word) && (word.size() == digits || (digits == 8 && word.size() < 8))) {
            return ServerDigest{algorithm, Lower(std::string(digits - word.size(), '0') + word)};
        }
    }
    ThrowUnexpected(command, reply);
}

}  // namespace

std::optional<ServerDigest> FtpClient::Xmd5(const std::string& name) {
    const auto reply = m_state->Ask(*this, "XMD5", name, {200, 213, 250, 251});
    if (!reply) {
        return std::nullopt;
    }
    return DigestIn("XMD5", *reply, "MD5", 32);
}

std::optional<ServerDigest> FtpClient::Xcrc(const std::string& name) {
    const auto reply = m_state->Ask(*this, "XCRC", name, {200, 213, 250, 251});
    if (!reply) {
        return std::nullopt;
    }
    return DigestIn("XCRC", *reply, "CRC32", 8);
}

}  // namespace orvanta::ftp

#include "tests/ftp/ScriptedFtpServer.h"

#include <cstdio>
#include <stdexcept>

#include "tests/support/PeerSocket.h"

namespace orvanta::ftp::test {

namespace {

constexpr int kStepMs =
    static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(kStepTimeout).count());

using orvanta::test::PeerSocket;

PeerSocket Native(std::intptr_t fd) {
    return static_cast<PeerSocket>(fd);
}

// A new TCP socket, as the handle the Fd holds (-1 when none could be made).
std::intptr_t NewSocket() {
    const PeerSocket socket = orvanta::test::NewPeerSocket();
    return socket == orvanta::test::kNoPeerSocket ? -1 : static_cast<std::intptr_t>(socket);
}

void WaitReadable(std::intptr_t fd, const char* what) {
    pollfd p{};
    p.fd = Native(fd);
    p.events = POLLIN;
    if (orvanta::test::PollSockets(&p, 1, kStepMs) <= 0) {
        throw std::runtime_error(std::string("scripted server: timed out waiting for ") + what);
    }
}

sockaddr_in Address(const std::string& ip, int port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::inet_pton(AF_INET, ip.c_str(), &sa.sin_addr) != 1) {
        throw std::runtime_error("scripted server: bad address " + ip);
    }
    return sa;
}

}  // namespace

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

void Fd::Close() noexcept {
    if (m_fd >= 0) {
        orvanta::test::CloseSocket(Native(m_fd));
        m_fd = -1;
    }
}

ScriptedSession::ScriptedSession(Fd control, std::function<void(const std::string&)> record)
    : m_control(std::move(control)), m_record(std::move(record)) {
    // Replies go out at once: a reply sent in two pieces must not wait for the client's ACK.
    const int on = 1;
    orvanta::test::SetPeerOption(Native(m_control.Get()), IPPROTO_TCP, TCP_NODELAY, on);
}

void ScriptedSession::Send(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const auto n = ::send(Native(m_control.Get()), bytes.data() + done,
                              static_cast<int>(bytes.size() - done), orvanta::test::kNoSignal);
        if (n <= 0) {
            throw std::runtime_error("scripted server: send failed");
        }
        done += static_cast<std::size_t>(n);
    }
}

void ScriptedSession::SendUntilClosed(const std::string& bytes) {
    for (;;) {
        pollfd p{};
        p.fd = Native(m_control.Get());
        p.events = POLLOUT;
        if (orvanta::test::PollSockets(&p, 1, kStepMs) <= 0) {
            throw std::runtime_error("scripted server: the client stopped reading");
        }
        if (::send(Native(m_control.Get()), bytes.data(), static_cast<int>(bytes.size()),
                   orvanta::test::kNoSignal) < 0) {
            return;  // the client's close (a reset: it left bytes unread)
        }
    }
}

void ScriptedSession::Reset() {
    const linger reset{1, 0};
    orvanta::test::SetPeerOption(Native(m_control.Get()), SOL_SOCKET, SO_LINGER, reset);
    m_control.Close();
}

std::string ScriptedSession::Read() {
    for (;;) {
        const std::size_t lf = m_buffer.find('\n');
        if (lf != std::string::npos) {
            std::string line = m_buffer.substr(0, lf);
            m_buffer.erase(0, lf + 1);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            m_record(line);
            return line;
        }
        WaitReadable(m_control.Get(), "a command");
        char chunk[4096];
        const auto n = ::recv(Native(m_control.Get()), chunk, sizeof chunk, 0);
        if (n <= 0) {
            throw std::runtime_error("scripted server: client closed instead of sending a command");
        }
        m_buffer.append(chunk, static_cast<std::size_t>(n));
    }
}

void ScriptedSession::Expect(const std::string& line) {
    const std::string got = Read();
    if (got != line) {
        throw std::runtime_error("scripted server: expected \"" + line + "\", got \"" + got + "\"");
    }
}

std::string ScriptedSession::ReadUntilClosed() {
    std::string rest = m_buffer;
    m_buffer.clear();
    for (;;) {
        WaitReadable(m_control.Get(), "the client's close");
        char chunk[4096];
        const auto n = ::recv(Native(m_control.Get()), chunk, sizeof chunk, 0);
        if (n <= 0) {
            return rest;
        }
        rest.append(chunk, static_cast<std::size_t>(n));
    }
}

void ScriptedSession::Login(const std::string& user, const std::string& password) {
    Reply("220 scripted server ready");
    Expect("USER " + user);
    Reply("331 password please");
    Expect("PASS " + password);
    Reply("230 logged in");
    Expect("TYPE I");
    Reply("200 binary");
    Expect("SYST");
    Reply("215 UNIX Type: L8");
}

Fd ScriptedSession::AcceptStore(const std::string& name) {
    const std::string port = Read();
    Reply("200 PORT command successful.");
    Expect("STOR " + name);
    Reply("150 Opening data connection.");
    return ConnectData(port);
}

Fd ScriptedSession::ConnectData(const std::string& portLine, const std::string& from) {
    int a, b, c, d, p1, p2;
    if (std::sscanf(portLine.c_str(), "PORT %d,%d,%d,%d,%d,%d", &a, &b, &c, &d, &p1, &p2) != 6) {
        throw std::runtime_error("scripted server: not a PORT line: " + portLine);
    }
    Fd data(NewSocket());
    sockaddr_in local = Address(from, 0);
    sockaddr_in target = Address(std::to_string(a) + "." + std::to_string(b) + "." +
                                     std::to_string(c) + "." + std::to_string(d),
                                 p1 * 256 + p2);
    if (data.Get() < 0 ||
        ::bind(Native(data.Get()), reinterpret_cast<sockaddr*>(&local), sizeof local) ||
        ::connect(Native(data.Get()), reinterpret_cast<sockaddr*>(&target), sizeof target)) {
        throw std::runtime_error("scripted server: cannot connect back from " + from);
    }
    return data;
}

std::string ScriptedSession::ReceiveAll(const Fd& data, bool* reset) {
    std::string received;
    for (;;) {
        WaitReadable(data.Get(), "data");
        char chunk[65536];
        const auto n = ::recv(Native(data.Get()), chunk, sizeof chunk, 0);
        if (n <= 0) {
            if (reset) {
                *reset = n < 0 && orvanta::test::LastErrorWasReset();
            }
            return received;
        }
        received.append(chunk, static_cast<std::size_t>(n));
    }
}

std::string ScriptedSession::ReceiveSomeThenReset(Fd& data, std::size_t bytes) {
    std::string received;
    while (received.size() < bytes) {
        WaitReadable(data.Get(), "data");
        char chunk[4096];
        const auto n = ::recv(Native(data.Get()), chunk, sizeof chunk, 0);
        if (n <= 0) {
            break;
        }
        received.append(chunk, static_cast<std::size_t>(n));
    }
    const linger reset{1, 0};
    orvanta::test::SetPeerOption(Native(data.Get()), SOL_SOCKET, SO_LINGER, reset);
    data.Close();
    return received;
}

ScriptedFtpServer::ScriptedFtpServer(Script script) {
    m_listener = Fd(NewSocket());
    sockaddr_in sa = Address("127.0.0.1", 0);
    socklen_t len = sizeof sa;
    // Like every listener of the program and the tests: a port free again at once.
    orvanta::test::AllowPeerPortReuse(Native(m_listener.Get()));
    if (m_listener.Get() < 0 ||
        ::bind(Native(m_listener.Get()), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        ::listen(Native(m_listener.Get()), 4) != 0 ||
        ::getsockname(Native(m_listener.Get()), reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        throw std::runtime_error("scripted server: cannot listen");
    }
    m_port = ntohs(sa.sin_port);
    m_thread = std::thread([this, script = std::move(script)] {
        try {
            WaitReadable(m_listener.Get(), "the client's connection");
            const PeerSocket accepted =
                orvanta::test::AcceptPeer(Native(m_listener.Get()), nullptr);
            ScriptedSession session(
                Fd(accepted == orvanta::test::kNoPeerSocket ? -1
                                                            : static_cast<std::intptr_t>(accepted)),
                [this](const std::string& line) {
                    std::lock_guard lock(m_mutex);
                    m_commands.push_back(line);
                });
            script(session);
        } catch (const std::exception& e) {
            std::lock_guard lock(m_mutex);
            m_error = e.what();
        }
    });
}

ScriptedFtpServer::~ScriptedFtpServer() {
    Finish();
}

std::string ScriptedFtpServer::Finish() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
    std::lock_guard lock(m_mutex);
    return m_error;
}

std::vector<std::string> ScriptedFtpServer::Commands() const {
    std::lock_guard lock(m_mutex);
    return m_commands;
}

}  // namespace orvanta::ftp::test

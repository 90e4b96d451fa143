#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

#include "net/LineReader.h"
#include "net/Socket.h"

namespace orvanta::link {

// The TCP line channel a player link talks over (the component `IdTCPClient1`). Lines go out
// with CR LF; received lines end at LF. Every call blocks the calling thread and raises Failure
// with the operator's text.
class ControlChannel {
public:
    enum class State { NeverOpened, Open, Broken };

    ControlChannel() = default;
    // Closes the socket without a line and without raising OnDisconnected.
    ~ControlChannel() = default;
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;

    std::string Host;
    int Port = 0;
    // How long OpenChannel may hear nothing back from the player before it fails with the
    // socket error 10060.
    std::chrono::milliseconds ConnectTimeout = net::kConnectTimeout;
    // How long SendLine waits while the system takes none of its bytes (a player that no
    // longer reads fills every buffer) before failing with the socket error 10060. The line
    // may be cut part-way, so the channel is then broken.
    std::chrono::milliseconds SendTimeout{10000};
    // While it points at a flag that turns true, an opening under way ends with net::Stopped.
    const net::StopFlag* Stop = nullptr;

    // Raised inside OpenChannel once connected; a failure in it fails the opening.
    std::function<void(ControlChannel&)> OnConnected;
    // Raised when CloseChannel closes an open channel and when a read meets the peer's close.
    std::function<void(ControlChannel&)> OnDisconnected;

    void OpenChannel();
    // True from a successful opening until a read, a send, CloseChannel or a socket error finds
    // the end; never probes the socket.
    bool IsOpen() const { return m_state == State::Open; }
    State GetState() const { return m_state; }
    // Whether the last opening reached the player; a broken channel that never did was
    // never open.
    bool Reached() const { return m_reached; }

    // Refuses, before anything is sent, a text holding CR, LF or NUL.
    void SendLine(const std::string& text);
    // The next complete line without its end; empty when none arrives within waitMs per portion
    // of data. A buffered line is returned without touching the socket. While nothing of a
    // line is buffered, only what the socket already holds is read, without waiting.
    std::string ReceiveLine(int waitMs);
    void CloseChannel();

    // Bytes received and not yet returned as lines.
    std::size_t BufferedBytes() const { return m_reader.BufferedBytes(); }

private:
    void Break() noexcept;

    net::Socket m_socket;
    net::LineReader m_reader;
    State m_state = State::NeverOpened;
    bool m_reached = false;
};

}  // namespace orvanta::link

#include "link/ControlChannel.h"

#include "core/Failure.h"
#include "net/SocketError.h"

namespace orvanta::link {

namespace {
const char* const kNotConnected = "Not Connected";
const char* const kClosedGracefully = "Connection Closed Gracefully.";
// A CR or LF would end the line early and let the rest reach the player as a command of its
// own; a NUL would end it for a player reading C strings.
const char* const kLineBreakInLine = "Line breaks and NUL characters cannot be sent in a line.";

// Errors after which the connection is known to be gone.
bool EndsConnection(int code) {
    return code == net::kConnectionAborted || code == net::kConnectionReset ||
           code == net::kShutdown;
}
}  // namespace

void ControlChannel::Break() noexcept {
    m_socket.Close();
    m_reader.Clear();
    m_state = State::Broken;
}

void ControlChannel::OpenChannel() {
    m_socket.Close();
    m_reader.Clear();
    m_state = State::NeverOpened;
    m_reached = false;
    try {
        m_socket = net::ConnectTcp(Host, Port, ConnectTimeout, Stop);
        m_state = State::Open;
        m_reached = true;
        if (OnConnected) {
            OnConnected(*this);
        }
    } catch (...) {
        Break();
        throw;
    }
}

void ControlChannel::SendLine(const std::string& text) {
    if (text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        throw Failure(kLineBreakInLine);
    }
    if (m_state == State::NeverOpened) {
        throw Failure(kNotConnected);
    }
    if (m_state == State::Broken) {
        throw Failure(kClosedGracefully);
    }
    // One buffer, one line: nothing is held back or merged by the channel.
    std::string line = text + "\r\n";
    try {
        m_socket.SendAll(line.data(), line.size(), static_cast<int>(SendTimeout.count()));
    } catch (const net::SocketError& e) {
        // After a timed-out send the peer may hold part of the line; the next line would
        // run on from it.
        if (EndsConnection(e.Code()) || e.Code() == net::kTimedOut) {
            Break();
        }
        throw;
    }
}

std::string ControlChannel::ReceiveLine(int waitMs) {
    if (m_state == State::NeverOpened) {
        throw Failure(kNotConnected);
    }
    if (m_state == State::Broken) {
        throw Failure(kClosedGracefully);
    }
    std::string line;
    net::LineReader::Result result;
    try {
        // The wait is spent only on a line already under way: a line that starts arriving
        // after the poll looked is taken at the next tick.
        result = m_reader.ReadLine(m_socket, waitMs, line, net::LineReader::IdleWait::None);
    } catch (const net::SocketError& e) {
        // Any receive error ends the channel, so the poll reports it once instead of meeting
        // it again at every tick.
        const bool partial = m_reader.HasPartialLine();
        Break();
        if ((e.Code() == net::kConnectionAborted || e.Code() == net::kShutdown) && partial) {
            throw Failure(kClosedGracefully);
        }
        throw;
    } catch (const Failure&) {
        // An over-long line: its bytes would fail every later read the same way.
        Break();
        throw;
    }
    switch (result) {
        case net::LineReader::Result::Line:
            return line;
        case net::LineReader::Result::NoLine:
            return {};
        case net::LineReader::Result::PeerClosed:
            break;
    }
    Break();
    if (OnDisconnected) {
        OnDisconnected(*this);
    }
    throw Failure(kClosedGracefully);
}

void ControlChannel::CloseChannel() {
    const bool wasOpen = m_state == State::Open;
    m_socket.Close();
    m_reader.Clear();
    m_state = State::NeverOpened;
    if (wasOpen && OnDisconnected) {
        OnDisconnected(*this);
    }
}

}  // namespace orvanta::link

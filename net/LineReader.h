#pragma once

#include <cstddef>
#include <string>

#include "net/Socket.h"

namespace orvanta::net {

// LF-framed line reading shared by the control channel and the FTP control connection.
// A line ends at LF; the LF and a single CR before it are dropped; any other CR stays.
class LineReader {
public:
    static constexpr std::size_t kMaxLineLength = 16384;
    static constexpr std::size_t kReceiveSize = 8192;

    enum class Result { Line, NoLine, PeerClosed };
    // Whether the wait is also spent when nothing of a line has arrived yet. A poller that
    // comes back anyway (the link's timer) loses nothing by not waiting then, and many idle
    // links would otherwise keep the event loop blocked.
    enum class IdleWait { Full, None };

    // Returns a complete line already buffered without touching the socket; otherwise waits
    // for data at most waitMs per portion (negative: no limit) and receives at most
    // kReceiveSize bytes at a time. With IdleWait::None an empty buffer only takes what the
    // socket already holds; the wait applies once part of a line is buffered. NoLine: the
    // wait ended with nothing more to read (a partial line stays buffered). PeerClosed: the
    // peer closed with no complete line buffered. Raises Failure "Max line length exceeded."
    // (buffer left as it is) and SocketError.
    Result ReadLine(Socket& socket, int waitMs, std::string& line,
                    IdleWait idleWait = IdleWait::Full);

    void Clear() { m_buffer.clear(); }
    bool HasPartialLine() const { return !m_buffer.empty(); }
    std::size_t BufferedBytes() const { return m_buffer.size(); }

private:
    bool TakeLine(std::string& line);

    std::string m_buffer;
};

}  // namespace orvanta::net

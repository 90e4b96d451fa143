#include "net/LineReader.h"

#include "core/Failure.h"

namespace orvanta::net {

namespace {
const char* const kMaxLineLengthExceeded = "Max line length exceeded.";
}

bool LineReader::TakeLine(std::string& line) {
    const std::size_t lf = m_buffer.find('\n');
    if (lf == std::string::npos) {
        if (m_buffer.size() > kMaxLineLength) {
            throw Failure(kMaxLineLengthExceeded);
        }
        return false;
    }
    if (lf > kMaxLineLength) {
        throw Failure(kMaxLineLengthExceeded);
    }
    std::size_t end = lf;
    if (end > 0 && m_buffer[end - 1] == '\r') {
        --end;
    }
    line.assign(m_buffer, 0, end);
    m_buffer.erase(0, lf + 1);
    return true;
}

LineReader::Result LineReader::ReadLine(Socket& socket, int waitMs, std::string& line,
                                        IdleWait idleWait) {
    char chunk[kReceiveSize];
    for (;;) {
        if (TakeLine(line)) {
            return Result::Line;
        }
        const int wait = idleWait == IdleWait::None && m_buffer.empty() ? 0 : waitMs;
        if (!socket.WaitReadable(wait)) {
            return Result::NoLine;
        }
        const std::size_t received = socket.Receive(chunk, sizeof chunk);
        if (received == 0) {
            return Result::PeerClosed;
        }
        m_buffer.append(chunk, received);
    }
}

}  // namespace orvanta::net

#pragma once

#include <string>

#include "core/Failure.h"

namespace orvanta::net {

// Socket failures carry the Windows Sockets code numbering, whose texts the operator reads
// ("Socket Error # 10061" CR LF "Connection refused.").
enum SocketCode : int {
    kInterrupted = 10004,
    kInvalidArgument = 10022,
    kWouldBlock = 10035,
    kInProgress = 10036,
    kAddressInUse = 10048,
    kConnectionAborted = 10053,
    kConnectionReset = 10054,
    kShutdown = 10058,
    kTimedOut = 10060,
    kConnectionRefused = 10061,
    kHostNotFound = 11001,
};

// The code's text from the system's table; empty for a code not in it.
std::string SocketErrorText(int code);
// "Socket Error # <code>" CR LF <text>.
std::string SocketErrorMessage(int code);
#ifndef _WIN32
// The platform's errno mapped onto the table's numbering (Windows Sockets report the table's
// numbers themselves).
int SocketCodeFromErrno(int err);
#endif

class SocketError : public Failure {
public:
    explicit SocketError(int code) : Failure(SocketErrorMessage(code)), m_code(code) {}
    int Code() const { return m_code; }

private:
    int m_code;
};

// Throws the SocketError for the calling thread's last socket failure.
[[noreturn]] void ThrowLastSocketError();

}  // namespace orvanta::net

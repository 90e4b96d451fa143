#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "core/Failure.h"

namespace orvanta::ftp {

// One server reply on the FTP control connection.
struct Reply {
    // The first line's first four characters, trimmed, without the "-" of a multi-line reply.
    std::string codeText;
    // The code text as a decimal number; 0 when it is not one.
    int code = 0;
    std::vector<std::string> textLines;

    // What the operator reads when the reply is refused: every text line followed by CR LF.
    std::string Message() const;
};

// The most a reply may take, counting every line read for it (empty ones too) and their bytes.
// No server needs more; one that sends more is not to be held in memory.
inline constexpr std::size_t kMaxReplyLines = 1000;
inline constexpr std::size_t kMaxReplyBytes = 1024 * 1024;

// Reads one reply from a source of raw lines (as framed on the wire, untrimmed). Lines are
// trimmed and empty ones skipped; a first line with "-" as its fourth character opens a
// multi-line reply that runs until a line shorter than four characters or one that starts
// with the code and a space (ignoring case). nextLine raises when no line can be had.
// Raises ReplyTooLong once the lines read pass kMaxReplyLines or their bytes kMaxReplyBytes.
Reply ReadReply(const std::function<std::string()>& nextLine);

// A reply whose code is outside the set the command accepts.
class ReplyError : public Failure {
public:
    explicit ReplyError(const Reply& reply) : Failure(reply.Message()), m_code(reply.code) {}
    int Code() const { return m_code; }

private:
    int m_code;
};

// A reply that went past the reader's bounds; the rest of it is still on the way.
class ReplyTooLong : public Failure {
public:
    ReplyTooLong() : Failure("Max reply length exceeded.") {}
};

}  // namespace orvanta::ftp

// Line framing over a real socket: a byte stream arriving in pieces of any size must come out
// as exactly the lines the framing rules give (LF ends a line, a single CR before it is
// dropped, other CRs stay), in order, until the first line longer than 16 384 bytes, which
// fails with "Max line length exceeded." and leaves the buffer as it was. A last line without
// LF is never delivered.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/Failure.h"
#include "fuzz/Check.h"
#include "net/LineReader.h"
#include "net/Socket.h"

namespace {

using orvanta::net::LineReader;

struct Framing {
    std::vector<std::string> lines;
    bool overLong = false;
};

// The rules applied to the whole stream at once.
Framing Expected(const std::string& stream) {
    Framing out;
    std::size_t at = 0;
    for (;;) {
        const std::size_t lf = stream.find('\n', at);
        const std::size_t length = (lf == std::string::npos ? stream.size() : lf) - at;
        if (length > LineReader::kMaxLineLength) {
            out.overLong = true;
            return out;
        }
        if (lf == std::string::npos) {
            return out;
        }
        std::string line = stream.substr(at, length);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        out.lines.push_back(std::move(line));
        at = lf + 1;
    }
}

void WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        FUZZ_CHECK(n > 0);
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    // Piece sizes come from the end of the input, the stream from the rest.
    std::vector<std::size_t> pieces;
    while (input.remaining_bytes() > 0 && pieces.size() < 64 && input.ConsumeBool()) {
        pieces.push_back(input.ConsumeIntegralInRange<std::size_t>(1, 20000));
    }
    const std::string stream = input.ConsumeRemainingBytesAsString();
    const Framing expected = Expected(stream);

    int fds[2];
    FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0);
    orvanta::net::Socket socket(fds[0]);
    LineReader reader;
    Framing got;
    std::string line;

    // Reads every line available now; false once the reader failed.
    const auto drain = [&](bool closed) {
        for (;;) {
            try {
                const LineReader::Result result =
                    reader.ReadLine(socket, 0, line, LineReader::IdleWait::None);
                if (result == LineReader::Result::Line) {
                    got.lines.push_back(line);
                    continue;
                }
                FUZZ_CHECK(closed || result != LineReader::Result::PeerClosed);
                return true;
            } catch (const orvanta::Failure& e) {
                FUZZ_CHECK(std::strcmp(e.what(), "Max line length exceeded.") == 0);
                got.overLong = true;
                // The buffer is left as it was: the next read meets the same line.
                const std::size_t held = reader.BufferedBytes();
                bool again = false;
                try {
                    reader.ReadLine(socket, 0, line, LineReader::IdleWait::None);
                } catch (const orvanta::Failure&) {
                    again = true;
                }
                FUZZ_CHECK(again && reader.BufferedBytes() == held);
                return false;
            }
        }
    };

    bool going = true;
    std::size_t at = 0;
    for (std::size_t piece : pieces) {
        if (!going || at >= stream.size()) {
            break;
        }
        const std::string bytes = stream.substr(at, piece);
        at += bytes.size();
        WriteAll(fds[1], bytes);
        going = drain(false);
    }
    // The rest in pieces the socket's buffer always holds.
    for (; going && at < stream.size(); at += 16384) {
        WriteAll(fds[1], stream.substr(at, 16384));
        going = drain(false);
    }
    if (going) {
        ::shutdown(fds[1], SHUT_WR);
        going = drain(true);
    }
    ::close(fds[1]);

    FUZZ_CHECK(got.overLong == expected.overLong);
    FUZZ_CHECK(got.lines == expected.lines);
    // Never more than the limit and one receive's worth of bytes held.
    FUZZ_CHECK(reader.BufferedBytes() <= LineReader::kMaxLineLength + LineReader::kReceiveSize);
    return 0;
}

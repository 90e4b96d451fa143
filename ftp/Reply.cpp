#include "ftp/Reply.h"

#include "core/Text.h"

namespace orvanta::ftp {

namespace {

// Hands out the reply's lines and keeps count of what they took.
class BoundedLines {
public:
    explicit BoundedLines(const std::function<std::string()>& nextLine) : m_nextLine(nextLine) {}

    std::string NextNonEmpty() {
        for (;;) {
            const std::string raw = m_nextLine();
            ++m_lines;
            m_bytes += raw.size();
            if (m_lines > kMaxReplyLines || m_bytes > kMaxReplyBytes) {
                throw ReplyTooLong();
            }
            std::string line = Trimmed(raw);
            if (!line.empty()) {
                return line;
            }
        }
    }

private:
    const std::function<std::string()>& m_nextLine;
    std::size_t m_lines = 0;
    std::size_t m_bytes = 0;
};

// An optional sign and at least one digit; anything else is no number.
int ParseCode(const std::string& text) {
    std::size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    if (at == text.size()) {
        return 0;
    }
    int value = 0;
    for (; at < text.size(); ++at) {
        if (text[at] < '0' || text[at] > '9') {
            return 0;
        }
        value = value * 10 + (text[at] - '0');
    }
    return negative ? -value : value;
}

std::string FromFifthCharacter(const std::string& line) {
    return line.size() > 4 ? line.substr(4) : std::string();
}

}  // namespace

std::string Reply::Message() const {
    std::string message;
    for (const std::string& line : textLines) {
        message += line;
        message += "\r\n";
    }
    return message;
}

Reply ReadReply(const std::function<std::string()>& nextLine) {
    BoundedLines source(nextLine);
    std::vector<std::string> lines;
    lines.push_back(source.NextNonEmpty());
    if (lines.front().size() > 3 && lines.front()[3] == '-') {
        const std::string end = lines.front().substr(0, 3) + " ";
        for (;;) {
            std::string line = source.NextNonEmpty();
            const bool last =
                line.size() < 4 || EqualsIgnoreCaseAscii(std::string_view(line).substr(0, 4), end);
            lines.push_back(std::move(line));
            if (last) {
                break;
            }
        }
    }

    Reply reply;
    reply.codeText = Trimmed(std::string_view(lines.front()).substr(0, 4));
    if (reply.codeText.size() == 4 && reply.codeText.back() == '-') {
        reply.codeText.pop_back();
    }
    reply.code = ParseCode(reply.codeText);
    reply.textLines.push_back(FromFifthCharacter(lines.front()));
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (EqualsIgnoreCaseAscii(std::string_view(line).substr(0, 3), reply.codeText)) {
            reply.textLines.push_back(FromFifthCharacter(line));
        } else {
            reply.textLines.push_back(TrimmedLeft(line));
        }
    }
    return reply;
}

}  // namespace orvanta::ftp

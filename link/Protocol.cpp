#include "link/Protocol.h"

#include "core/Text.h"

namespace orvanta::link {

bool IsCommandMessage(std::string_view line) {
    return !line.empty() && line.front() == '@';
}

CommandMessage SplitCommand(std::string_view line) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        return {{}, Trimmed(line)};
    }
    const std::string_view word = line.substr(1, colon - 1);
    return {UpperAscii(Trimmed(word)), Trimmed(line.substr(colon + 1))};
}

std::string TagValue(std::string_view payload, std::string_view field) {
    const std::string open = "<" + std::string(field) + ">";
    const std::string close = "</" + std::string(field) + ">";
    // 1-based positions, 0 when absent.
    const auto position = [&](const std::string& tag) -> long long {
        const std::size_t at = payload.find(tag);
        return at == std::string_view::npos ? 0 : static_cast<long long>(at) + 1;
    };
    const long long o = position(open);
    const long long c = position(close);
    const long long length = static_cast<long long>(open.size());
    long long start = o + length;
    const long long count = c - o - length;
    if (start < 1) {
        start = 1;
    }
    const long long size = static_cast<long long>(payload.size());
    if (start > size || count <= 0) {
        return {};
    }
    return Trimmed(
        payload.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(count)));
}

std::vector<std::string> CommaText(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    const std::size_t n = text.size();
    std::size_t pos = 0;
    const auto skipBlanks = [&] {
        while (pos < n && static_cast<unsigned char>(text[pos]) <= 32) {
            ++pos;
        }
    };
    std::vector<std::string> fields;
    skipBlanks();
    while (pos < n) {
        std::string field;
        if (text[pos] == '"') {
            ++pos;
            while (pos < n) {
                if (text[pos] == '"') {
                    if (pos + 1 < n && text[pos + 1] == '"') {
                        field += '"';
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                field += text[pos++];
            }
        } else {
            while (pos<n&& static_cast<unsigned char>(text[pos])> 32 && text[pos] != ',') {
                field += text[pos++];
            }
        }
        fields.push_back(std::move(field));
        skipBlanks();
        if (pos < n && text[pos] == ',') {
            if (pos == n - 1) {
                fields.emplace_back();
            }
            ++pos;
            skipBlanks();
        }
    }
    return fields;
}

std::string PlayLine() {
    return "@PLAY:<USERID>COMANDO PLAY</USERID>";
}
std::string PauseLine() {
    return "@PAUSE:<USERID>COMANDO PAUSE</USERID>";
}
std::string StopLine() {
    return "@STOP:<USERID>COMANDO STOP</USERID>";
}
std::string FullScreenLine() {
    return "@FULLSCREEN:<USERID>COMANDO FULLSCREEN</USERID>";
}
// Carries the full-screen command's payload unchanged.
std::string NoFullScreenLine() {
    return "@NOFULLSCREEN:<USERID>COMANDO FULLSCREEN</USERID>";
}

std::string RenderFileLine(std::string_view fileName) {
    return "@RENDERFILE:<FILE>" + std::string(fileName) + "</FILE>";
}

std::string ClientsRequestLine() {
    return "@CLIENTS:REQUEST";
}

std::string AuthRequestLine(std::string_view user, std::string_view pass) {
    return "@AUTHREQUEST:<USER>" + std::string(user) + "</USER><PASS>" + std::string(pass) +
           "</PASS>";
}

std::string MessageLine(std::string_view text, std::string_view client) {
    return "@MESSAGE:" + std::string(text) + "@" + std::string(client);
}

std::string RecordLine(std::string_view message, std::string_view from, std::string_view to,
                       std::string_view date, std::string_view time) {
    std::string line = "@RECORD:<MESSAGE>";
    line += message;
    line += "</MESSAGE><FROM>";
    line += from;
    line += "</FROM><TO>";
    line += to;
    line += "</TO><DATE>";
    line += date;
    line += "</DATE><TIME>";
    line += time;
    line += "</TIME>";
    return line;
}

}  // namespace orvanta::link

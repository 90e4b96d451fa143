#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvanta::link {

// A received line that starts with "@": the command word between the "@" and the first ":",
// trimmed and upper-cased (a-z only), and the trimmed rest. Without a ":" the word is empty
// (it matches no command) and the payload is the whole line, trimmed.
struct CommandMessage {
    std::string word;
    std::string payload;
};

bool IsCommandMessage(std::string_view line);
CommandMessage SplitCommand(std::string_view line);

// The trimmed text between "<field>" and "</field>", each searched for in the whole payload
// (first occurrence), with the 1-based substring rules: a missing closing tag, a closing tag
// before the opening one, or both missing give empty text; a missing opening tag with the
// closing tag at position c gives positions len("<field>") .. c - 1.
std::string TagValue(std::string_view payload, std::string_view field);

// Fields separated by commas or unquoted blanks, each optionally in double quotes ("" inside
// stands for one). A comma at the very end adds one empty field. A NUL byte ends the text.
std::vector<std::string> CommaText(std::string_view text);

// The user name a link greets its player with when the channel opens, until one is set.
inline constexpr const char* kUnsetUserName = "UtenteNonImpostato";

// The lines the link sends, without their CR LF.
std::string PlayLine();
std::string PauseLine();
std::string StopLine();
std::string FullScreenLine();
std::string NoFullScreenLine();
std::string RenderFileLine(std::string_view fileName);
std::string ClientsRequestLine();
std::string AuthRequestLine(std::string_view user, std::string_view pass);
std::string MessageLine(std::string_view text, std::string_view client);
std::string RecordLine(std::string_view message, std::string_view from, std::string_view to,
                       std::string_view date, std::string_view time);

}  // namespace orvanta::link

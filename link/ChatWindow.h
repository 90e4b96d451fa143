#pragma once

#include <functional>
#include <string>
#include <vector>

namespace orvanta::link {

// A chat window of the wider product family, as the link hands received messages to it. No
// such window is part of this program; a window that wants the link's messages implements this.
class ChatWindow {
public:
    virtual ~ChatWindow() = default;
    virtual std::string Caption() const = 0;
    virtual void Show() = 0;
    // The text of its `UtenteMittente` control.
    virtual void SetUtenteMittenteText(const std::string& text) = 0;
    // The text of its `edtRecText` control.
    virtual void SetEdtRecTextText(const std::string& text) = 0;
    // Executes its action `actreceiv`.
    virtual void ExecuteActreceiv() = 0;
    // Starts the flash of its desktop component `phantom`.
    virtual void StartPhantomFlash() = 0;
};

// The application's windows that may be chat windows, shown or hidden, in the order of the
// application's window list: the one that most recently had the focus first, the others in
// creation order.
using ChatWindowList = std::function<std::vector<ChatWindow*>()>;

inline std::vector<ChatWindow*> NoChatWindows() {
    return {};
}

// Marks a chat window's caption after the correspondent's name.
inline constexpr const char* kChatCaptionSuffix = " - Quillory Chat";

// The first window whose caption contains name + " - Quillory Chat"; null when none does.
inline ChatWindow* FindChatWindow(const ChatWindowList& windows, const std::string& name) {
    if (!windows) {
        return nullptr;
    }
    const std::string wanted = name + kChatCaptionSuffix;
    for (ChatWindow* window : windows()) {
        if (window && window->Caption().find(wanted) != std::string::npos) {
            return window;
        }
    }
    return nullptr;
}

}  // namespace orvanta::link

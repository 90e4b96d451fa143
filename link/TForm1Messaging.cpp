// The link's side of the messaging dialect: what it sends from its controls and what received
// command messages do to its state.
#include <algorithm>

#include "core/Failure.h"
#include "core/Text.h"
#include "link/Protocol.h"
#include "link/TForm1.h"

namespace orvanta::link {

namespace {

// Fields land left to right in a new bottom row; an empty field is written as one blank so
// that its cell no longer counts as empty; fields beyond the last column are dropped.
void AppendRow(StringGrid& grid, const std::vector<std::string>& fields) {
    const int row = grid.AddRow();
    const int count = std::min(static_cast<int>(fields.size()), grid.ColCount());
    for (int col = 0; col < count; ++col) {
        grid.SetCell(col, row, fields[col].empty() ? std::string(" ") : fields[col]);
    }
}

}  // namespace

void TForm1::BtnAuthClick() {
    SendLine(AuthRequestLine(edUserName.Text, edPassUser.Text));
}

void TForm1::Button1Click() {
    SendLine(ClientsRequestLine());
}

void TForm1::Button2Click() {
    const int index = lbClients.ItemIndex;
    if (index < 0 || index >= static_cast<int>(lbClients.Items.size())) {
        throw Failure(Replace("List index out of bounds (%d)", "%d", std::to_string(index)));
    }
    SendLine(MessageLine(edMessage.Text, lbClients.Items[index]));
}

void TForm1::Button3Click() {
    const LocaleDescription locale = m_env.locale ? m_env.locale() : LocaleDescription();
    const LocalDateTime now = m_env.clock ? m_env.clock() : LocalNow();
    SendLine(RecordLine(edMessage.Text, edUserName.Text, m_correspondent, DateText(locale, now),
                        TimeText(locale, now)));
}

void TForm1::edMessageKeyPress(char key) {
    // Other characters are the edit box's own business.
    if (key == '\r') {
        Button3Click();
        edMessage.Text.clear();
    }
}

void TForm1::lbClientsClick() {
    Label5.Caption = "Il messaggio che scrivi qui sar\xE0 inviato a: " + m_correspondent;
}

void TForm1::Avviaunachat1Click() {
    ChatWindow* window = FindChatWindow(m_env.chatWindows, m_correspondent);
    if (!window) {
        return;
    }
    window->Show();
    window->SetUtenteMittenteText(m_correspondent);
}

void TForm1::AuthResponseReceived(const std::string& payload) {
    const std::string esito = TagValue(payload, "ESITO");
    (void)TagValue(payload, "USERSTATUS");
    m_userId = TagValue(payload, "USERID");
    if (esito == "OK") {
        Panel1.Color = PanelColour::Green;
        // Already running: it goes on undisturbed.
        if (!timergetusrstatus.isActive()) {
            timergetusrstatus.start();
        }
    } else {
        Panel1.Color = PanelColour::Red;
    }
}

void TForm1::ClientsReceived(const std::string& payload) {
    lbClients.Items = CommaText(payload);
    lbClients.ItemIndex = -1;
}

void TForm1::MyRosterReceived(const std::string& payload) {
    AppendRow(ListaUtenti, CommaText(TagValue(payload, "USERLIST")));
}

void TForm1::MyMessagesReceived(const std::string& payload) {
    AppendRow(listamymess, CommaText(TagValue(payload, "MESSAGES")));
}

void TForm1::OnlineUserReceived(const std::string& payload) {
    m_onlineUsers = TagValue(payload, "USERS");
}

void TForm1::ReplyReceived(const std::string& payload) {
    const std::string message = TagValue(payload, "MESSAGE");
    const std::string from = TagValue(payload, "FROM");
    // Carried by the message but not used.
    (void)TagValue(payload, "TO");
    (void)TagValue(payload, "DATE");
    (void)TagValue(payload, "TIME");
    // At most one window, the most recently focused of those that match.
    ChatWindow* window = FindChatWindow(m_env.chatWindows, from);
    if (!window) {
        return;
    }
    window->Show();
    window->SetUtenteMittenteText(from);
    window->SetEdtRecTextText(message);
    window->ExecuteActreceiv();
    window->StartPhantomFlash();
}

}  // namespace orvanta::link

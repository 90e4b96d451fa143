#include "link/TForm1.h"

#include "core/Dispatch.h"
#include "ftp/NamePart.h"
#include "link/Protocol.h"

namespace orvanta::link {

TForm1::TForm1(LinkEnvironment environment, QObject* parent)
    : QObject(parent), m_env(std::move(environment)) {
    IdTCPClient1.OnConnected = [this](ControlChannel&) { IdTCPClient1Connected(); };
    IdTCPClient1.OnDisconnected = [this](ControlChannel&) { IdTCPClient1Disconnected(); };

    IdFTP.Username = "orvanta";
    IdFTP.Password = "brindlemoss";
    IdFTP.OnWorkBegin = [this](ftp::FtpClient&, ftp::WorkMode mode, std::int64_t max) {
        IdFTPWorkBegin(mode, max);
    };
    IdFTP.OnWork = [this](ftp::FtpClient&, ftp::WorkMode mode, std::int64_t count) {
        IdFTPWork(mode, count);
    };

    PopupMenu1 = {
        {"Avviaunachat1", "Avvia una chat", true, [this] { Avviaunachat1Click(); }},
        {"Roster1", "Roster", false, {}},
        {"Visualizzacontatto1", "Visualizza contatto", true, {}},
        {"Visualizzaprofilo1", "", false, {}},
        {"N1", "-", true, {}},
        {"Rimuovidaicontatti1", "Rimuovi dai contatti", true, {}},
        {"Bloccaquestoutente1", "Blocca questo utente", true, {}},
    };

    Timer2.setInterval(30000);
    timergetusrstatus.setInterval(5000);
    TimerSyncRoster.setInterval(600000);
    timersyncmymess.setInterval(600000);
    timersyncusrstatus.setInterval(600000);
    connect(&Timer2, &QTimer::timeout, this,
            [this] { RunGuarded(m_env.notices, [this] { Button1Click(); }); });
    Timer1.setInterval(500);
    connect(&Timer1, &QTimer::timeout, this,
            [this] { RunGuarded(m_env.notices, [this] { Timer1Timer(); }); });
    Timer1.start();

    // The desktop component acts as soon as the window exists.
    m_env.effects.RestoreWindowTitled(kApplicationTitle);
    m_env.effects.SetNormalPriority();
    m_env.effects.UnblockInput();
    m_env.effects.MovePointerX(586);
    m_env.effects.MovePointer(586, 363);
}

TForm1::~TForm1() = default;

void TForm1::BtnConnectClick() {
    if (IdTCPClient1.IsOpen()) {
        return;
    }
    if (edUserName.Text.empty() || edServer.Text.empty()) {
        m_env.notices.ShowMessage("Impossibile contattare il player.");
        return;
    }
    IdTCPClient1.Host = edServer.Text;
    IdTCPClient1.Port = sePort.Value();
    IdTCPClient1.OpenChannel();
    IdFTP.Port = sePort.Value() + 1;
}

void TForm1::BtnDisconnectClick() {
    if (IdTCPClient1.IsOpen()) {
        IdTCPClient1.CloseChannel();
    }
}

void TForm1::IdTCPClient1Connected() {
    SendLine(edUserName.Text);
}

void TForm1::IdTCPClient1Disconnected() {
    Timer2.stop();
}

void TForm1::btnPlayClick() {
    SendLine(PlayLine());
}
void TForm1::btnpauseClick() {
    SendLine(PauseLine());
}
void TForm1::btnstopClick() {
    SendLine(StopLine());
}
void TForm1::btnfullscreenClick() {
    SendLine(FullScreenLine());
}
void TForm1::btnnormalscreenClick() {
    SendLine(NoFullScreenLine());
}

void TForm1::btn_prepfileplayClick() {
    // The manager's current row, not this link's player: every link sends the same name.
    const std::string path = m_env.currentFile ? m_env.currentFile() : std::string();
    SendLine(RenderFileLine(ftp::NamePart(path)));
}

void TForm1::Timer1Timer() {
    // Watchers learn of a channel that broke in this tick before its failure reaches the box.
    try {
        Poll();
    } catch (...) {
        if (OnPolled) {
            OnPolled(*this);
        }
        throw;
    }
    if (OnPolled) {
        OnPolled(*this);
    }
}

void TForm1::Poll() {
    if (!IdTCPClient1.IsOpen()) {
        return;
    }
    const std::string line = IdTCPClient1.ReceiveLine(5);
    if (line.empty()) {
        return;
    }
    m_lastReceived = {true, line, m_env.clock ? m_env.clock() : LocalNow()};
    if (!IsCommandMessage(line)) {
        memLines.Lines.push_back(line);
        return;
    }
    const CommandMessage message = SplitCommand(line);
    Dispatch(message.word, message.payload);
}

void TForm1::Dispatch(const std::string& word, const std::string& payload) {
    if (word == "USERSTATUS") {
        // Read and left unused.
        (void)TagValue(payload, "USERID");
        (void)TagValue(payload, "STATUS");
    } else if (word == "MYMESSAGES") {
        MyMessagesReceived(payload);
    } else if (word == "ONLINEUSER") {
        OnlineUserReceived(payload);
    } else if (word == "MYROSTER") {
        MyRosterReceived(payload);
    } else if (word == "ADDUSERLIST") {
        (void)TagValue(payload, "LISTA");
    } else if (word == "CLIENTS") {
        ClientsReceived(payload);
    } else if (word == "AUTHRESPONSE") {
        AuthResponseReceived(payload);
    } else if (word == "REPLY") {
        memLines.Lines.push_back("CMD: " + payload);
        ReplyReceived(payload);
    }
}

}  // namespace orvanta::link

#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/DesktopEffects.h"
#include "core/Notices.h"
#include "ftp/FtpClient.h"
#include "link/ChatWindow.h"
#include "link/ControlChannel.h"
#include "link/Controls.h"
#include "link/DateTimeText.h"
#include "link/Protocol.h"
#include "link/SystemLocale.h"

namespace orvanta::link {

// What a link needs from the program around it.
struct LinkEnvironment {
    Notices& notices;
    DesktopEffects& effects;
    // `player_file_play` of the manager window's current row, as text (NULL reads as empty).
    std::function<std::string()> currentFile;
    ChatWindowList chatWindows = NoChatWindows;
    LocalClock clock = LocalNow;
    LocaleSource locale = SystemLocaleDescription;
};

// The current or last upload through a link, as far as a status view needs it.
struct TransferProgress {
    enum class State { None, Running, Done, Failed };
    using Clock = std::chrono::steady_clock;

    State state = State::None;
    std::string name;  // the name part the file is stored under
    std::int64_t sent = 0;
    std::int64_t total = 0;
    // From the moment the data began to flow; until then no rate is known.
    bool flowing = false;
    Clock::time_point began;
    Clock::time_point ended;

    // Bytes a second since the data began to flow, up to `now` or to the end; 0 before.
    double BytesPerSecond(Clock::time_point now = Clock::now()) const;
};

// The last line a link's poll took from its channel, and when.
struct ReceivedLine {
    bool any = false;
    std::string text;
    LocalDateTime at;
};

// A player link: the never-shown link window with its control channel, FTP client, poll timer
// and the controls that hold its state. Handlers raise Failure; the timers' ticks go through
// RunGuarded.
class TForm1 : public QObject {
    Q_OBJECT

public:
    explicit TForm1(LinkEnvironment environment, QObject* parent = nullptr);
    // Closes the control channel and the FTP connection without a line and without raising
    // OnDisconnected.
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    std::string Caption = "Orvanta manager";

    // Controls.
    EditBox edUserName{kUnsetUserName};
    EditBox edPassUser{"tamarind"};
    EditBox edServer{"localhost"};
    SpinEdit sePort{"9876"};
    ListBox lbClients;
    Memo memLines;
    Label Label5{"Il tuo messaggio:"};
    EditBox edMessage;
    Panel Panel1{"Panel1"};
    ProgressBar barprog;
    StringGrid ListaUtenti{12, 2};
    StringGrid listamymess{6, 2};
    std::vector<MenuItem> PopupMenu1;

    // Components without a view.
    ControlChannel IdTCPClient1;
    ftp::FtpClient IdFTP;
    QTimer Timer1;             // the poll, 500 ms, running from creation
    QTimer Timer2;             // 30 000 ms, never started
    QTimer timergetusrstatus;  // 5 000 ms, started by an accepted authentication; does nothing
    QTimer TimerSyncRoster;    // 600 000 ms each, never started, do nothing
    QTimer timersyncmymess;
    QTimer timersyncusrstatus;

    // The chat partner's name; nothing assigns it, so it stays empty.
    const std::string& Correspondent() const { return m_correspondent; }
    // The last USERS value received; nothing reads it.
    const std::string& OnlineUsers() const { return m_onlineUsers; }
    // The last USERID of an authentication response; nothing reads it.
    const std::string& UserId() const { return m_userId; }

    // Connection and player commands.
    void BtnConnectClick();
    void BtnDisconnectClick();
    void IdTCPClient1Connected();
    void IdTCPClient1Disconnected();
    void btnPlayClick();
    void btnpauseClick();
    void btnstopClick();
    void btnfullscreenClick();
    void btnnormalscreenClick();
    void btn_prepfileplayClick();

    // Upload of the current row's file and its progress.
    void btnInviaFileClick();
    void IdFTPWorkBegin(ftp::WorkMode workMode, std::int64_t workCountMax);
    void IdFTPWork(ftp::WorkMode workMode, std::int64_t workCount);

    // Messaging dialect.
    void BtnAuthClick();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void edMessageKeyPress(char key);
    void lbClientsClick();
    void Avviaunachat1Click();

    // The poll: handles at most one received line.
    void Timer1Timer();

    // An upload over this link's FTP client that runs outside the link (to every player at
    // once): the link shows it as its own, in its progress bar and to the status view.
    void ShowUpload(const TransferProgress& progress);

    // Read by the status view; nothing of the link's own behaviour depends on them.
    const TransferProgress& Transfer() const { return m_transfer; }
    const ReceivedLine& LastReceived() const { return m_lastReceived; }
    // After each piece an upload sends and once at its end, success or failure.
    std::function<void(TForm1&)> OnTransferProgress;
    // After every poll tick, also one that failed (before its failure leaves the tick).
    std::function<void(TForm1&)> OnPolled;

private:
    void Dispatch(const std::string& word, const std::string& payload);
    void AuthResponseReceived(const std::string& payload);
    void ClientsReceived(const std::string& payload);
    void MyRosterReceived(const std::string& payload);
    void MyMessagesReceived(const std::string& payload);
    void OnlineUserReceived(const std::string& payload);
    void ReplyReceived(const std::string& payload);
    void SendLine(const std::string& line) { IdTCPClient1.SendLine(line); }
    void Poll();
    void TransferProgressed();

    LinkEnvironment m_env;
    std::string m_correspondent;
    std::string m_onlineUsers;
    std::string m_userId;
    TransferProgress m_transfer;
    ReceivedLine m_lastReceived;
};

}  // namespace orvanta::link

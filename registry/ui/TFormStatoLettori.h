#pragma once

#include <QWidget>

#include <chrono>
#include <cstddef>
#include <string>

#include "core/Notices.h"
#include "registry/GroupCommands.h"

class QHBoxLayout;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableView;

namespace orvanta::registry::ui {

class PlayerStatusModel;

// "Stato lettori": one row per entry of the link list with its channel, FTP connection,
// transfer and the last command's outcome, and the message log of the selected entry. It only
// reads the links and the command record; what it runs is "Continua", "Salta" and "Copia in
// parallelo" (with its "Annulla"). It never takes the focus by itself, and while a group command
// blocks the event loop it repaints itself (and nothing else) after each entry's step and at most
// every 100 ms during an upload. While its parallel copy runs, the event loop turns but only
// "Annulla" takes input; the rest is dropped, and no timer ticks.
class TFormStatoLettori : public QWidget {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kUploadRepaintInterval{100};

    TFormStatoLettori(GroupCommands& commands, Notices& notices, QWidget* owner);
    ~TFormStatoLettori() override;

    // Shown without taking the focus, or hidden.
    void Toggle();
    // Reads everything again; the next paint shows it.
    void Refresh();

    // "Continua": the last command again from the entry that failed.
    void ContinuaClick();
    // "Salta": the last command again from the entry after the one that failed.
    void SaltaClick();
    // "Copia in parallelo": the current row's file to every entry at once.
    void CopiaInParalleloClick();
    // "Verifica lettori": probes the group's active players and shows each one's answer.
    void VerificaClick();
    // "Annulla": ends the parallel copy under way.
    void AnnullaClick();

    QLabel* Summary = nullptr;
    QTableView* Players = nullptr;
    QLabel* LogTitle = nullptr;
    QPlainTextEdit* Log = nullptr;
    // The window's commands, left to right; further buttons join this row.
    QHBoxLayout* Buttons = nullptr;
    QPushButton* Continua = nullptr;
    QPushButton* Salta = nullptr;
    QPushButton* CopiaInParallelo = nullptr;
    QPushButton* Annulla = nullptr;
    QPushButton* Verifica = nullptr;
    PlayerStatusModel* Model() const { return m_model; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Changed(std::size_t entry);
    void TransferProgressed(std::size_t entry);
    void Polled(std::size_t entry);
    void CopyWaiting();
    // Draws the window now, without the event loop and without touching any other window.
    void RepaintNow();
    void RefreshLog();
    void ReadJournal();
    void PlaceBesideOwner();
    // Size, place and column widths as the operator left them, or wide enough for every column.
    void RestoreLayout();
    void SaveLayout();

    GroupCommands& m_commands;
    Notices& m_notices;
    PlayerStatusModel* m_model = nullptr;
    bool m_needsLayout = false;
    bool m_placed = false;
    bool m_restored = false;
    std::chrono::steady_clock::time_point m_lastRepaint;
    // What the log shows, to append rather than rewrite it as it grows.
    std::size_t m_logEntry = static_cast<std::size_t>(-1);
    std::size_t m_logLines = 0;
    std::string m_logFirst;
    std::string m_logLast;
};

}  // namespace orvanta::registry::ui

#pragma once

#include <QMainWindow>

#include <functional>
#include <memory>
#include <string>

#include "core/DesktopEffects.h"
#include "core/Notices.h"
#include "registry/GroupCommands.h"
#include "registry/RegistryStore.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QTimer;
class QToolButton;

namespace orvanta::registry::widgets {
class FilenameEdit;
class IpAddressEdit;
class PlayerGrid;
class PortSpinEdit;
class SideBarMenu;
}  // namespace orvanta::registry::widgets

namespace orvanta::registry::ui {

class PlayerQueryModel;
class TFormStatoLettori;

// The operator's main window. It lays out the controls and forwards their events to the
// registry store and the group commands, each through the failure dispatcher.
class TFormMainManager : public QMainWindow {
    Q_OBJECT
public:
    struct Environment {
        Notices& notices;
        DesktopEffects& effects;
        // The executable's folder, where data.mdb is looked for; null for the real one.
        RegistryStore::FolderSource executableFolder;
    };

    explicit TFormMainManager(Environment environment, QWidget* parent = nullptr);
    ~TFormMainManager() override;

    // player_file_play of the current player, for the player links.
    std::string CurrentFilePlay() const { return m_store.CurrentFilePlay(); }
    RegistryStore& Store() { return m_store; }
    GroupCommands& Commands() { return *m_commands; }

    // Handlers, under the window's own names.
    void FormShow();
    void btn_caricalistaClick();
    void ListaPlurilistChange();
    void JvBitBtn2Click();
    void JvBitBtn3Click();
    void JvBitBtn4Click();
    void playlistdbDblClick();
    void JvBitBtn6Click();
    void JvBitBtn7Click();
    void JvImgBtn1Click();
    void JvBitBtn1Click();
    void playlistdbTitleBtnClick(int column);
    // A right click on a grid row: the row becomes current, then the menu opens.
    void PopupAt(int row, const QPoint& globalPosition);
    void DeleteWithConfirmation();
    // The grid lost the focus.
    void playlistdbExit();

    // Top strip.
    QLabel* Label5 = nullptr;
    QComboBox* ListaPlurilist = nullptr;
    QToolButton* JvBitBtn2 = nullptr;  // "Aggiorna gruppi"
    QToolButton* JvBitBtn3 = nullptr;  // "&Aggiungi lettore"
    QToolButton* JvBitBtn4 = nullptr;  // "Rimuovi lettore"
    QToolButton* JvBitBtn5 = nullptr;  // "Modifica lettore"
    QToolButton* JvBitBtn6 = nullptr;  // "Attiva lettore"
    QToolButton* JvBitBtn7 = nullptr;  // "Disattiva lettore"
    QToolButton* JvBitBtn8 = nullptr;  // "Orvanta": drops down popup3

    widgets::PlayerGrid* playlistdb = nullptr;

    // Editing panel.
    QFrame* JvPanel2 = nullptr;
    widgets::IpAddressEdit* JvIPAddress1 = nullptr;
    widgets::PortSpinEdit* JvSpinEdit1 = nullptr;
    widgets::FilenameEdit* JvFilenameEdit1 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QPushButton* JvImgBtn1 = nullptr;  // "&Salva"
    QPushButton* JvBitBtn1 = nullptr;  // "&Chiudi"

    // The group commands' menu.
    widgets::SideBarMenu* popup3 = nullptr;
    QAction* Preparalettori1 = nullptr;
    QAction* Inviaifiles1 = nullptr;
    QAction* Caricaifiles1 = nullptr;
    QAction* Normalscreen1 = nullptr;
    QAction* Fullscreen1 = nullptr;
    QAction* Play1 = nullptr;
    QAction* Pausa1 = nullptr;
    QAction* Stop1 = nullptr;

    // "Stato lettori", hidden until F2.
    TFormStatoLettori* FormStatoLettori = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildTopStrip(QWidget* strip);
    void BuildGrid(QWidget* parent);
    void BuildEditingPanel(QWidget* parent);
    void BuildMenu();
    // Runs a handler from the event loop, turning its failure into the error box.
    void Guarded(const std::function<void()>& handler);
    void Connect(QToolButton* button, void (TFormMainManager::*handler)());
    QAction* MenuItem(const char* name, const char* caption, const char* hint,
                      void (GroupCommands::*command)());
    void ShowCurrentRow(int row);
    void SetSelectorTextQuietly(const QString& text);

    Environment m_env;
    RegistryStore m_store;
    std::unique_ptr<GroupCommands> m_commands;
    PlayerQueryModel* m_model = nullptr;
    QTimer* m_sqlWaitTimer = nullptr;
    bool m_followingQuery = false;
    bool m_sqlWaiting = false;
};

}  // namespace orvanta::registry::ui

#pragma once

#include <QMainWindow>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSpinBox;
class QTableView;
class QToolButton;

namespace orvanta::registry::ui {

// The operator's main window. It lays out the controls and forwards their events to the
// registry store and the group commands; it holds no logic of its own.
class TFormMainManager : public QMainWindow {
    Q_OBJECT
public:
    explicit TFormMainManager(QWidget* parent = nullptr);

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

    QTableView* playlistdb = nullptr;

    // Editing panel.
    QFrame* JvPanel2 = nullptr;
    QLineEdit* JvIPAddress1 = nullptr;
    QSpinBox* JvSpinEdit1 = nullptr;
    QLineEdit* JvFilenameEdit1 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QPushButton* JvImgBtn1 = nullptr;  // "&Salva"
    QPushButton* JvBitBtn1 = nullptr;  // "&Chiudi"

    QMenu* popup3 = nullptr;

private:
    void BuildTopStrip(QWidget* strip);
    void BuildEditingPanel(QWidget* parent);
    void BuildMenu();
};

}  // namespace orvanta::registry::ui

#include "registry/ui/TFormMainManager.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

// The pictures live in this static library; they must be registered by hand.
static void InitPictures() {
    Q_INIT_RESOURCE(pictures);
}

namespace orvanta::registry::ui {

namespace {

QToolButton* PictureButton(QWidget* parent, const char* caption, const char* picture,
                           const QRect& geometry) {
    auto* button = new QToolButton(parent);
    button->setText(QString::fromUtf8(caption));
    button->setIcon(QIcon(QString(":/pictures/%1.xpm").arg(picture)));
    button->setIconSize(QSize(32, 32));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setGeometry(geometry);
    return button;
}

}  // namespace

TFormMainManager::TFormMainManager(QWidget* parent) : QMainWindow(parent) {
    setObjectName("FormMainManager");
    setWindowTitle("KELT Orvanta - Manager");
    setGeometry(67, 133, 898, 534);
    InitPictures();
    // A face with the metrics of the classic 8-point dialog font.
    QFont font("Liberation Sans");
    font.setPixelSize(11);
    setFont(font);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* strip = new QFrame(central);
    strip->setObjectName("JvPanel1");
    strip->setFixedHeight(89);
    BuildTopStrip(strip);
    column->addWidget(strip);

    playlistdb = new QTableView(central);
    playlistdb->setObjectName("playlistdb");
    column->addWidget(playlistdb);
    setCentralWidget(central);

    auto* status = new QStatusBar(this);
    status->setObjectName("JvStatusBar1");
    status->setFixedHeight(19);
    setStatusBar(status);

    BuildEditingPanel(central);
    BuildMenu();
}

void TFormMainManager::BuildTopStrip(QWidget* strip) {
    Label5 = new QLabel("Lista gruppi di visione", strip);
    Label5->move(8, 20);
    ListaPlurilist = new QComboBox(strip);
    ListaPlurilist->setObjectName("ListaPlurilist");
    ListaPlurilist->setEditable(true);
    ListaPlurilist->setInsertPolicy(QComboBox::NoInsert);
    ListaPlurilist->lineEdit()->setPlaceholderText("Seleziona gruppo visione");
    ListaPlurilist->setGeometry(8, 36, 185, 21);

    JvBitBtn2 = PictureButton(strip, "Aggiorna gruppi", "unit", {200, 8, 97, 73});
    JvBitBtn3 = PictureButton(strip, "&Aggiungi lettore", "unit-add", {304, 8, 89, 73});
    JvBitBtn4 = PictureButton(strip, "Rimuovi lettore", "unit-remove", {400, 8, 89, 73});
    JvBitBtn5 = PictureButton(strip, "Modifica lettore", "unit-edit", {496, 8, 89, 73});
    JvBitBtn6 = PictureButton(strip, "Attiva lettore", "unit-activate", {592, 8, 89, 73});
    JvBitBtn7 = PictureButton(strip, "Disattiva lettore", "unit-deactivate", {688, 8, 89, 73});
    JvBitBtn8 = PictureButton(strip, "Orvanta", "unit-discs", {784, 8, 89, 73});
}

void TFormMainManager::BuildEditingPanel(QWidget* parent) {
    JvPanel2 = new QFrame(parent);
    JvPanel2->setObjectName("JvPanel2");
    JvPanel2->setFrameShape(QFrame::Panel);
    JvPanel2->setFrameShadow(QFrame::Raised);
    JvPanel2->setAutoFillBackground(true);
    JvPanel2->setGeometry(176, 168, 633, 153);

    // The spaces carry the underline across the panel.
    auto* title = new QLabel(QString("Carica lettore") + QString(152, ' '), JvPanel2);
    QFont bold = title->font();
    bold.setBold(true);
    bold.setUnderline(true);
    bold.setPixelSize(13);
    title->setFont(bold);
    title->move(16, 8);
    (new QLabel("Indirizzo IP del palyer", JvPanel2))->move(16, 32);
    (new QLabel("Porta", JvPanel2))->move(176, 32);
    (new QLabel("File da riprodurre nel player", JvPanel2))->move(256, 32);

    JvIPAddress1 = new QLineEdit("0.0.0.0", JvPanel2);
    JvIPAddress1->setGeometry(16, 52, 150, 21);
    JvSpinEdit1 = new QSpinBox(JvPanel2);
    JvSpinEdit1->setRange(7000, 33333);
    JvSpinEdit1->setGeometry(176, 52, 73, 21);
    JvFilenameEdit1 = new QLineEdit("Seleziona un file da riprodurre", JvPanel2);
    JvFilenameEdit1->setGeometry(256, 52, 353, 21);
    CheckBox1 = new QCheckBox("&Lettore attivo", JvPanel2);
    CheckBox1->setChecked(true);
    CheckBox1->setGeometry(16, 80, 97, 17);
    auto* bevel = new QFrame(JvPanel2);
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(8, 112, 617, 2);
    JvImgBtn1 = new QPushButton("&Salva", JvPanel2);
    JvImgBtn1->setGeometry(416, 120, 75, 25);
    JvBitBtn1 = new QPushButton("&Chiudi", JvPanel2);
    JvBitBtn1->setGeometry(520, 120, 75, 25);

    setTabOrder(JvIPAddress1, JvSpinEdit1);
    setTabOrder(JvSpinEdit1, JvFilenameEdit1);
    setTabOrder(JvFilenameEdit1, JvBitBtn1);
    setTabOrder(JvBitBtn1, JvImgBtn1);
    setTabOrder(JvImgBtn1, CheckBox1);
    JvPanel2->hide();
}

void TFormMainManager::BuildMenu() {
    popup3 = new QMenu(this);
    popup3->setObjectName("popup3");
}

}  // namespace orvanta::registry::ui

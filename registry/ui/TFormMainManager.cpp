#include "registry/ui/TFormMainManager.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCollator>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "core/Dispatch.h"
#include "link/TForm1.h"
#include "registry/ui/PlayerQueryModel.h"
#include "registry/ui/TFormStatoLettori.h"
#include "registry/widgets/FilenameEdit.h"
#include "registry/widgets/IpAddressEdit.h"
#include "registry/widgets/PlayerGrid.h"
#include "registry/widgets/PortSpinEdit.h"
#include "registry/widgets/SideBarMenu.h"

// The pictures live in this static library; they must be registered by hand.
static void InitPictures() {
    Q_INIT_RESOURCE(pictures);
}

namespace orvanta::registry::ui {

namespace {

const char* const kPrompt = "Seleziona gruppo visione";

QToolButton* PictureButton(QWidget* parent, const char* name, const char* caption,
                           const char* picture, const QRect& geometry) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(QString::fromUtf8(caption));
    button->setIcon(QIcon(QString(":/pictures/%1.xpm").arg(picture)));
    button->setIconSize(QSize(32, 32));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setGeometry(geometry);
    // Pressing a button takes the focus, as it does for every button of the window.
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

std::string Bytes(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

QString Text(const std::string& bytes) {
    return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace

TFormMainManager::TFormMainManager(Environment environment, QWidget* parent)
    : QMainWindow(parent), m_env(std::move(environment)), m_store(m_env.executableFolder) {
    InitPictures();
    setObjectName("FormMainManager");
    setWindowTitle("KELT Orvanta - Manager");
    setGeometry(67, 133, 898, 534);
    // A face with the metrics of the classic 8-point dialog font.
    QFont font("Liberation Sans");
    font.setPixelSize(11);
    setFont(font);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* strip = new QFrame(central);
    strip->setObjectName("JvPanel1");
    strip->setFixedHeight(89);
    BuildTopStrip(strip);
    column->addWidget(strip);
    BuildGrid(central);
    column->addWidget(playlistdb);
    setCentralWidget(central);

    auto* status = new QStatusBar(this);
    status->setObjectName("JvStatusBar1");
    status->setFixedHeight(19);
    setStatusBar(status);

    BuildEditingPanel(central);
    BuildMenu();
    // The window opens with the focus on the grid, so the selector shows its prompt at start.
    playlistdb->setFocus();

    m_commands = std::make_unique<GroupCommands>(
        m_store, GroupCommands::Environment{
                     m_env.notices,
                     [this] {
                         return std::make_unique<link::TForm1>(link::LinkEnvironment{
                             m_env.notices, m_env.effects, [this] { return CurrentFilePlay(); }});
                     },
                     [this] { return Bytes(ListaPlurilist->currentText()); },
                     [this] { ListaPlurilistChange(); }});
    m_store.SetAfterPost([this] { JvBitBtn2Click(); });

    FormStatoLettori = new TFormStatoLettori(*m_commands, m_env.notices, this);
    auto* toggle = new QShortcut(QKeySequence(Qt::Key_F2), this);
    connect(toggle, &QShortcut::activated, this,
            [this] { Guarded([this] { FormStatoLettori->Toggle(); }); });

    // The SQL-wait pointer stays while the database works and for 50 ms after.
    m_sqlWaitTimer = new QTimer(this);
    m_sqlWaitTimer->setSingleShot(true);
    m_sqlWaitTimer->setInterval(50);
    connect(m_sqlWaitTimer, &QTimer::timeout, this, [this] {
        if (m_sqlWaiting) {
            m_sqlWaiting = false;
            QApplication::restoreOverrideCursor();
        }
    });
    m_store.conn.SetActivityHook({[this] {
                                      if (!m_sqlWaiting) {
                                          m_sqlWaiting = true;
                                          QApplication::setOverrideCursor(Qt::BusyCursor);
                                      }
                                      m_sqlWaitTimer->stop();
                                  },
                                  [this] { m_sqlWaitTimer->start(); }});
}

TFormMainManager::~TFormMainManager() {
    // Closing the window in QWidget's destructor moves the focus, after this window's members
    // are gone.
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
    // The store outlives nothing that refers back to this window.
    m_store.conn.SetActivityHook({});
    m_store.qfiles.SetObserver(nullptr);
    m_store.SetAfterPost(nullptr);
    if (m_sqlWaiting) {
        QApplication::restoreOverrideCursor();
    }
    // It reads the links: it goes before them.
    delete FormStatoLettori;
    FormStatoLettori = nullptr;
    m_commands.reset();
}

void TFormMainManager::Guarded(const std::function<void()>& handler) {
    RunGuarded(m_env.notices, handler);
}

void TFormMainManager::Connect(QToolButton* button, void (TFormMainManager::*handler)()) {
    connect(button, &QToolButton::clicked, this,
            [this, handler] { Guarded([&] { (this->*handler)(); }); });
}

void TFormMainManager::BuildTopStrip(QWidget* strip) {
    Label5 = new QLabel("Lista gruppi di visione", strip);
    Label5->move(8, 20);
    ListaPlurilist = new QComboBox(strip);
    ListaPlurilist->setObjectName("ListaPlurilist");
    ListaPlurilist->setEditable(true);
    // The text stays exactly as typed: a completer would turn a new group's name into an
    // existing one.
    ListaPlurilist->setCompleter(nullptr);
    ListaPlurilist->setInsertPolicy(QComboBox::NoInsert);
    ListaPlurilist->lineEdit()->setPlaceholderText(kPrompt);
    // The combo box is its line edit's focus proxy: the focus arrives at the combo box.
    ListaPlurilist->installEventFilter(this);
    ListaPlurilist->setGeometry(8, 36, 185, 21);
    connect(ListaPlurilist, &QComboBox::editTextChanged, this,
            [this] { Guarded([this] { ListaPlurilistChange(); }); });

    JvBitBtn2 = PictureButton(strip, "JvBitBtn2", "Aggiorna gruppi", "unit", {200, 8, 97, 73});
    JvBitBtn3 =
        PictureButton(strip, "JvBitBtn3", "&Aggiungi lettore", "unit-add", {304, 8, 89, 73});
    JvBitBtn4 =
        PictureButton(strip, "JvBitBtn4", "Rimuovi lettore", "unit-remove", {400, 8, 89, 73});
    JvBitBtn5 =
        PictureButton(strip, "JvBitBtn5", "Modifica lettore", "unit-edit", {496, 8, 89, 73});
    JvBitBtn6 =
        PictureButton(strip, "JvBitBtn6", "Attiva lettore", "unit-activate", {592, 8, 89, 73});
    JvBitBtn7 =
        PictureButton(strip, "JvBitBtn7", "Disattiva lettore", "unit-deactivate", {688, 8, 89, 73});
    JvBitBtn8 = PictureButton(strip, "JvBitBtn8", "Orvanta", "unit-discs", {784, 8, 89, 73});
    Connect(JvBitBtn2, &TFormMainManager::JvBitBtn2Click);
    Connect(JvBitBtn3, &TFormMainManager::JvBitBtn3Click);
    Connect(JvBitBtn4, &TFormMainManager::JvBitBtn4Click);
    Connect(JvBitBtn5, &TFormMainManager::playlistdbDblClick);
    Connect(JvBitBtn6, &TFormMainManager::JvBitBtn6Click);
    Connect(JvBitBtn7, &TFormMainManager::JvBitBtn7Click);

    // Buttons of the window that are never made visible.
    for (const char* caption : {"carica gruppi", "Crea Man 1", "Crea Man 2", "Play 1 e 2"}) {
        (new QPushButton(caption, strip))->hide();
    }
}

void TFormMainManager::BuildGrid(QWidget* parent) {
    playlistdb = new widgets::PlayerGrid(m_env.notices, parent);
    playlistdb->setObjectName("playlistdb");
    m_model = new PlayerQueryModel(m_store.qfiles, m_env.notices, this);
    playlistdb->setModel(m_model);
    std::vector<int> widths;
    for (const auto& column : PlayerQueryModel::kColumns) {
        widths.push_back(column.designWidth);
    }
    playlistdb->SetDesignWidths(widths);

    connect(m_model, &PlayerQueryModel::CurrentRowChanged, this,
            [this](int row) { ShowCurrentRow(row); });
    connect(playlistdb->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (m_followingQuery || !current.isValid()) {
                    return;
                }
                // Moving to another row finishes a pending one, as the query's rules say.
                Guarded([&] { m_store.qfiles.MoveTo(static_cast<std::size_t>(current.row())); });
            });
    connect(playlistdb, &widgets::PlayerGrid::TitleClicked, this,
            [this](int column) { Guarded([&] { playlistdbTitleBtnClick(column); }); });
    connect(playlistdb, &widgets::PlayerGrid::GridDoubleClicked, this,
            [this] { Guarded([this] { playlistdbDblClick(); }); });
    playlistdb->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(playlistdb, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const QModelIndex index = playlistdb->indexAt(at);
        if (index.isValid()) {
            PopupAt(index.row(), playlistdb->viewport()->mapToGlobal(at));
        }
    });
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        const auto inGrid = [this](QWidget* widget) {
            return widget && (widget == playlistdb || playlistdb->isAncestorOf(widget));
        };
        if (inGrid(old) && !inGrid(now)) {
            Guarded([this] { playlistdbExit(); });
        }
    });
    auto* erase = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete), playlistdb);
    erase->setContext(Qt::WidgetShortcut);
    connect(erase, &QShortcut::activated, this,
            [this] { Guarded([this] { DeleteWithConfirmation(); }); });
}

void TFormMainManager::BuildEditingPanel(QWidget* parent) {
    JvPanel2 = new QFrame(parent);
    JvPanel2->setObjectName("JvPanel2");
    JvPanel2->setFrameShape(QFrame::Panel);
    JvPanel2->setFrameShadow(QFrame::Raised);
    JvPanel2->setAutoFillBackground(true);
    QPalette face = JvPanel2->palette();
    face.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
    JvPanel2->setPalette(face);
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

    JvIPAddress1 = new widgets::IpAddressEdit(JvPanel2);
    JvIPAddress1->setObjectName("JvIPAddress1");
    JvIPAddress1->setText("0.0.0.0");
    JvIPAddress1->setGeometry(16, 52, 150, 21);
    JvSpinEdit1 = new widgets::PortSpinEdit(JvPanel2);
    JvSpinEdit1->setObjectName("JvSpinEdit1");
    JvSpinEdit1->setGeometry(176, 52, 73, 21);
    JvFilenameEdit1 = new widgets::FilenameEdit(JvPanel2);
    JvFilenameEdit1->setObjectName("JvFilenameEdit1");
    JvFilenameEdit1->setText("Seleziona un file da riprodurre");
    JvFilenameEdit1->setGeometry(256, 52, 353, 21);
    CheckBox1 = new QCheckBox("&Lettore attivo", JvPanel2);
    CheckBox1->setObjectName("CheckBox1");
    CheckBox1->setChecked(true);
    CheckBox1->setGeometry(16, 80, 97, 17);
    auto* bevel = new QFrame(JvPanel2);
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(8, 112, 617, 2);
    JvImgBtn1 = new QPushButton("&Salva", JvPanel2);
    JvImgBtn1->setObjectName("JvImgBtn1");
    JvImgBtn1->setGeometry(416, 120, 75, 25);
    JvBitBtn1 = new QPushButton("&Chiudi", JvPanel2);
    JvBitBtn1->setObjectName("JvBitBtn1");
    JvBitBtn1->setGeometry(520, 120, 75, 25);
    connect(JvImgBtn1, &QPushButton::clicked, this,
            [this] { Guarded([this] { JvImgBtn1Click(); }); });
    connect(JvBitBtn1, &QPushButton::clicked, this,
            [this] { Guarded([this] { JvBitBtn1Click(); }); });

    setTabOrder(JvIPAddress1, JvSpinEdit1);
    setTabOrder(JvSpinEdit1, JvFilenameEdit1);
    setTabOrder(JvFilenameEdit1, JvBitBtn1);
    setTabOrder(JvBitBtn1, JvImgBtn1);
    setTabOrder(JvImgBtn1, CheckBox1);
    JvPanel2->hide();
}

QAction* TFormMainManager::MenuItem(const char* name, const char* caption, const char* hint,
                                    void (GroupCommands::*command)()) {
    QAction* action = popup3->addAction(QString::fromUtf8(caption));
    action->setObjectName(name);
    // The hint travels with the item; nothing in the window shows it.
    action->setProperty("Hint", QString::fromUtf8(hint));
    connect(action, &QAction::triggered, this,
            [this, command] { Guarded([&] { ((*m_commands).*command)(); }); });
    return action;
}

void TFormMainManager::BuildMenu() {
    popup3 = new widgets::SideBarMenu(this);
    popup3->setObjectName("popup3");
    Preparalettori1 = MenuItem("Preparalettori1", "1 - &Inizializza lettori",
                               "Si connette ai lettori  e li prepara alla riproduzione",
                               &GroupCommands::Preparalettori1Click);
    Inviaifiles1 = MenuItem("Inviaifiles1", "2 - Copia &files nei lettori",
                            "Invia i files relativi ad ogni singolo lettore",
                            &GroupCommands::Inviaifiles1Click);
    Caricaifiles1 = MenuItem("Caricaifiles1", "3 - &Carica files nei lettori",
                             "Carica nel lettore il file dichiarato che deve essere riprodotto",
                             &GroupCommands::Caricaifiles1Click);
    popup3->addSeparator()->setObjectName("N1");
    Normalscreen1 =
        MenuItem("Normalscreen1", "Normalscreen", "", &GroupCommands::Normalscreen1Click);
    Normalscreen1->setVisible(false);
    Fullscreen1 = MenuItem("Fullscreen1", "Fullscreen", "", &GroupCommands::Fullscreen1Click);
    Fullscreen1->setVisible(false);
    Play1 = MenuItem("Play1", "&Play", "", &GroupCommands::Play1Click);
    Pausa1 = MenuItem("Pausa1", "&Pausa", "", &GroupCommands::Pausa1Click);
    // "&Stop" runs the load command, as "3 - &Carica files nei lettori" does.
    Stop1 = MenuItem("Stop1", "&Stop", "", &GroupCommands::Caricaifiles1Click);

    JvBitBtn8->setMenu(popup3);
    JvBitBtn8->setPopupMode(QToolButton::InstantPopup);
}

void TFormMainManager::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) {
        Guarded([this] { FormShow(); });
    }
}

bool TFormMainManager::eventFilter(QObject* watched, QEvent* event) {
    // The selector's prompt shows only while it is empty and without the focus.
    if (watched == ListaPlurilist) {
        if (event->type() == QEvent::FocusIn) {
            ListaPlurilist->lineEdit()->setPlaceholderText({});
        } else if (event->type() == QEvent::FocusOut) {
            ListaPlurilist->lineEdit()->setPlaceholderText(kPrompt);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFormMainManager::ShowCurrentRow(int row) {
    m_followingQuery = true;
    playlistdb->setCurrentIndex(m_model->index(row, 1));
    m_followingQuery = false;
}

void TFormMainManager::SetSelectorTextQuietly(const QString& text) {
    const QSignalBlocker quiet(ListaPlurilist);
    ListaPlurilist->setEditText(text);
}

void TFormMainManager::FormShow() {
    btn_caricalistaClick();
}

void TFormMainManager::btn_caricalistaClick() {
    const std::vector<std::string> groups = m_store.LoadGroups();
    const QString text = ListaPlurilist->currentText();
    QStringList names;
    for (const std::string& group : groups) {
        names << Text(group);
    }
    // Alphabetical regardless of letter case, as the list box of the selector sorts.
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(names.begin(), names.end(), collator);
    const QSignalBlocker quiet(ListaPlurilist);
    ListaPlurilist->clear();
    ListaPlurilist->addItems(names);
    ListaPlurilist->setEditText(text);
}

void TFormMainManager::ListaPlurilistChange() {
    const bool found = m_store.FilterGroup(Bytes(ListaPlurilist->currentText()));
    QPalette colours = ListaPlurilist->palette();
    colours.setColor(QPalette::Base, found ? Qt::white : Qt::red);
    ListaPlurilist->setPalette(colours);
}

void TFormMainManager::JvBitBtn2Click() {
    btn_caricalistaClick();
    ListaPlurilistChange();
}

void TFormMainManager::JvBitBtn3Click() {
    JvPanel2->show();
    JvPanel2->raise();
    m_store.NewPlayer();
}

void TFormMainManager::JvBitBtn4Click() {
    m_store.DeleteCurrentPlayer();
}

void TFormMainManager::playlistdbDblClick() {
    playlistdb->setEnabled(false);
    PlayerEntry entry;
    try {
        entry = m_store.EditCurrentPlayer();
    } catch (...) {
        // No panel opens, and only the panel's buttons would enable the grid again.
        playlistdb->setEnabled(true);
        throw;
    }
    SetSelectorTextQuietly(Text(entry.group));
    JvIPAddress1->setText(Text(entry.address));
    JvSpinEdit1->SetText(Text(entry.port));
    JvFilenameEdit1->setText(Text(entry.file));
    CheckBox1->setChecked(entry.active);
    JvPanel2->show();
    JvPanel2->raise();
}

void TFormMainManager::JvBitBtn6Click() {
    m_store.SetCurrentPlayerActive(true);
}

void TFormMainManager::JvBitBtn7Click() {
    m_store.SetCurrentPlayerActive(false);
}

void TFormMainManager::JvImgBtn1Click() {
    const db::DatasetState state = m_store.qfiles.State();
    if (state == db::DatasetState::Edit || state == db::DatasetState::Insert) {
        // A port still being typed is clamped as leaving the box would (a shortcut keeps the
        // focus there).
        JvSpinEdit1->Settle();
        m_store.SavePlayer({Bytes(ListaPlurilist->currentText()), Bytes(JvIPAddress1->text()),
                            Bytes(JvSpinEdit1->text()), Bytes(JvFilenameEdit1->FileName()),
                            CheckBox1->isChecked()});
    }
    JvPanel2->hide();
    playlistdb->setEnabled(true);
}

void TFormMainManager::JvBitBtn1Click() {
    JvPanel2->hide();
    playlistdb->setEnabled(true);
}

void TFormMainManager::playlistdbTitleBtnClick(int column) {
    // The first column has no field to sort by.
    const std::string field = m_model->FieldName(column);
    if (!field.empty()) {
        m_store.SortGroup(Bytes(ListaPlurilist->currentText()), field);
    }
}

void TFormMainManager::PopupAt(int row, const QPoint& globalPosition) {
    bool moved = false;
    Guarded([&] {
        m_store.qfiles.MoveTo(static_cast<std::size_t>(row));
        moved = true;
    });
    if (moved) {
        ShowCurrentRow(row);
        popup3->popup(globalPosition);
    }
}

void TFormMainManager::playlistdbExit() {
    // A new row nobody has written into does not outlive the grid's focus.
    db::Query& players = m_store.qfiles;
    if (players.State() == db::DatasetState::Insert && !players.Modified()) {
        players.Cancel();
    }
}

void TFormMainManager::DeleteWithConfirmation() {
    if (m_env.notices.AskYesNo("Delete record?")) {
        m_store.DeleteCurrentPlayer();
    }
}

}  // namespace orvanta::registry::ui

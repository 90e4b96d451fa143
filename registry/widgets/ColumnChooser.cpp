#include "registry/widgets/ColumnChooser.h"

#include <algorithm>
#include <vector>

#include <QCheckBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include "registry/widgets/DisplayText.h"
#include "registry/widgets/GridRoles.h"

namespace orvanta::registry::widgets {

namespace {
constexpr int kColumnRole = Qt::UserRole + 1;
constexpr int kTitleRole = Qt::UserRole + 2;
constexpr int kFieldRole = Qt::UserRole + 3;

const char* const kCaption = "Visualizza colonne";
const char* const kRealNamesText = "[Usa nomi reali dei campi]";
const char* const kLastColumnWarning = "Almeno una colonna deve essere visibile!";

struct Entry {
    int column;
    int order;
    QString title;
    QString field;
};
}  // namespace

ColumnChooser::ColumnChooser(QTableView& grid, Notices& notices, QWidget* parent)
    : QDialog(parent,
              Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_grid(grid),
      m_notices(notices),
      m_list(new QListWidget(this)),
      m_realNames(new QCheckBox(ShownText(kRealNamesText), this)),
      m_ok(new QPushButton(QStringLiteral("&OK"), this)) {
    setWindowTitle(ShownText(kCaption));
    setModal(true);
    setMinimumSize(kMinimumWidth, kMinimumHeight);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_realNames);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    m_ok->setDefault(true);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    std::vector<Entry> entries;
    if (const QAbstractItemModel* model = grid.model()) {
        for (int column = 0; column < model->columnCount(); ++column) {
            const QString field =
                model->headerData(column, Qt::Horizontal, kFieldNameRole).toString();
            if (field.isEmpty()) {
                continue;  // a column bound to no field cannot be chosen
            }
            const QVariant order = model->headerData(column, Qt::Horizontal, kFieldIndexRole);
            entries.push_back({column, order.isValid() ? order.toInt() : column,
                               model->headerData(column, Qt::Horizontal).toString(), field});
        }
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.order < b.order; });

    bool anyDiffers = false;
    for (const Entry& entry : entries) {
        auto* item = new QListWidgetItem(entry.title, m_list);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(grid.isColumnHidden(entry.column) ? Qt::Unchecked : Qt::Checked);
        item->setData(kColumnRole, entry.column);
        item->setData(kTitleRole, entry.title);
        item->setData(kFieldRole, entry.field);
        anyDiffers = anyDiffers || entry.title.compare(entry.field, Qt::CaseInsensitive) != 0;
    }
    m_realNames->setVisible(anyDiffers);
    if (m_list->count() > 0) {
        m_list->setCurrentRow(0);
    }

    connect(m_list, &QListWidget::itemChanged, this, &ColumnChooser::OnEntryChanged);
    connect(m_realNames, &QCheckBox::toggled, this, &ColumnChooser::Relabel);
    connect(m_ok, &QPushButton::clicked, this, &ColumnChooser::accept);
}

int ColumnChooser::ColumnOf(int entry) const {
    const QListWidgetItem* item = m_list->item(entry);
    return item != nullptr ? item->data(kColumnRole).toInt() : -1;
}

void ColumnChooser::OnEntryChanged(QListWidgetItem* item) {
    if (m_restoring || item->checkState() != Qt::Unchecked) {
        return;
    }
    for (int i = 0; i < m_list->count(); ++i) {
        if (m_list->item(i)->checkState() != Qt::Unchecked) {
            return;
        }
    }
    m_notices.ShowWarning(kLastColumnWarning);
    m_restoring = true;
    item->setCheckState(Qt::Checked);
    m_restoring = false;
}

void ColumnChooser::Relabel() {
    const bool real = m_realNames->isChecked();
    m_restoring = true;  // a label change is no tick change
    for (int i = 0; i < m_list->count(); ++i) {
        QListWidgetItem* item = m_list->item(i);
        const QString title = item->data(kTitleRole).toString();
        const QString field = item->data(kFieldRole).toString();
        const bool differs = title.compare(field, Qt::CaseInsensitive) != 0;
        item->setText(real && differs ? title + QStringLiteral(" [") + field + QStringLiteral("]")
                                      : title);
    }
    m_restoring = false;
}

void ColumnChooser::accept() {
    for (int i = 0; i < m_list->count(); ++i) {
        const QListWidgetItem* item = m_list->item(i);
        m_grid.setColumnHidden(item->data(kColumnRole).toInt(),
                               item->checkState() == Qt::Unchecked);
    }
    QDialog::accept();
}

void ColumnChooser::FitHeight() {
    QLayout* box = layout();
    const int rows = m_list->count();
    const int entryHeight = rows > 0 ? m_list->sizeHintForRow(0) + 2 * m_list->spacing() : 0;
    const int allEntries = rows * entryHeight;
    const QMargins margins = box->contentsMargins();
    const int listWidth = (rows > 0 ? m_list->sizeHintForColumn(0) : 0) + 2 * m_list->frameWidth() +
                          style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_list);
    const int width = std::max(
        {kMinimumWidth, listWidth + margins.left() + margins.right(), box->minimumSize().width()});
    // Lays the children out at once, even before the window is shown.
    const auto resizeTo = [&](int height) {
        resize(width, height);
        box->activate();
        box->setGeometry(rect());
    };
    if (allEntries >= kTallestList) {
        resizeTo(kTallestList);
        return;
    }
    resizeTo(kMinimumHeight);
    // Each step shows one entry more, so rows + 1 steps always suffice.
    for (int step = 0; step <= rows; ++step) {
        if (m_list->height() - 2 * m_list->frameWidth() >= allEntries) {
            break;
        }
        resizeTo(height() + entryHeight);
    }
}

void ColumnChooser::Prepare(QPoint globalTopLeft) {
    FitHeight();
    QScreen* screen = QGuiApplication::screenAt(globalTopLeft);
    if (screen == nullptr) {
        screen = m_grid.screen();
    }
    QRect wanted(globalTopLeft, size());
    if (screen != nullptr) {
        const QRect area = screen->availableGeometry();
        if (wanted.right() > area.right()) {
            wanted.moveRight(area.right());
        }
        if (wanted.bottom() > area.bottom()) {
            wanted.moveBottom(area.bottom());
        }
        if (wanted.left() < area.left()) {
            wanted.moveLeft(area.left());
        }
        if (wanted.top() < area.top()) {
            wanted.moveTop(area.top());
        }
    }
    move(wanted.topLeft());
}

}  // namespace orvanta::registry::widgets

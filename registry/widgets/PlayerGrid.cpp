#include "registry/widgets/PlayerGrid.h"

#include <algorithm>

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

#include "core/Dispatch.h"
#include "registry/widgets/ColumnChooser.h"
#include "registry/widgets/ColumnFit.h"
#include "registry/widgets/CornerCell.h"
#include "registry/widgets/PlayerGridDelegate.h"
#include "registry/widgets/PlayerGridHeader.h"
#include "registry/widgets/RowIndicator.h"

namespace orvanta::registry::widgets {

namespace {
constexpr int kFrameWidth = 2;
}  // namespace

PlayerGrid::PlayerGrid(Notices& notices, QWidget* parent)
    : QTableView(parent),
      m_notices(notices),
      m_titles(new PlayerGridHeader(this)),
      m_corner(nullptr),
      m_runChooser([](ColumnChooser& chooser) { return chooser.exec(); }) {
    // The frame is painted by hand (PaintFrame); the plain box only reserves its two pixels.
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(kFrameWidth);

    QPalette colours = palette();
    colours.setColor(QPalette::Base, kWhiteRow);
    colours.setColor(QPalette::Window, kWhiteRow);
    colours.setColor(QPalette::Text, Qt::black);
    setPalette(colours);

    setHorizontalHeader(m_titles);
    m_titles->setFixedHeight(kTitleHeight + GridLine());
    auto* indicator = new RowIndicator(this);
    setVerticalHeader(indicator);
    indicator->setFixedWidth(kIndicatorWidth + GridLine());
    indicator->setDefaultSectionSize(kRowHeight + GridLine());

    setItemDelegate(new PlayerGridDelegate(*this, this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setAttribute(Qt::WA_Hover);

    m_corner =
        new CornerCell([this] { RunGuarded(m_notices, [this] { OpenColumnChooser(); }); }, this);

    connect(m_titles, &PlayerGridHeader::TitleClicked, this, &PlayerGrid::TitleClicked);
    connect(m_titles, &QHeaderView::sectionResized, this, [this](int column, int, int newSize) {
        RecordColumn(column, newSize);
        FitIfShown();
    });
    connect(m_titles, &QHeaderView::sectionCountChanged, this, [this] {
        RestoreColumns();
        FitIfShown();
    });
    connect(m_titles, &PlayerGridHeader::ButtonReleased, this, &PlayerGrid::FitIfShown);
    connect(m_titles, &QHeaderView::sectionDoubleClicked, this, &PlayerGrid::GridDoubleClicked);
    connect(indicator, &QHeaderView::sectionDoubleClicked, this, &PlayerGrid::GridDoubleClicked);
}

const SortMarker& PlayerGrid::Marker() const {
    return m_titles->Marker();
}

void PlayerGrid::setModel(QAbstractItemModel* model) {
    QTableView::setModel(model);
    RestoreColumns();
    FitIfShown();
}

void PlayerGrid::SetDesignWidths(const std::vector<int>& widths) {
    m_columns.assign(widths.size(), ColumnState{0, false});
    for (std::size_t column = 0; column < widths.size(); ++column) {
        m_columns[column] = {widths[column], m_titles->isSectionHidden(static_cast<int>(column))};
    }
    RestoreColumns();
    FitIfShown();
}

void PlayerGrid::RecordColumn(int column, int newSize) {
    // Sections the header has just made anew carry its defaults, not the grid's columns.
    if (m_restoring || m_titles->count() != m_sectionCount || column < 0 ||
        column >= static_cast<int>(m_columns.size())) {
        return;
    }
    // Hiding a section shrinks it to 0 first; its width is kept for when it shows again.
    if (newSize == 0 || m_titles->isSectionHidden(column)) {
        m_columns[column].hidden = true;
    } else {
        m_columns[column] = {newSize - GridLine(), false};
    }
}

void PlayerGrid::RestoreColumns() {
    if (m_restoring) {
        return;
    }
    m_restoring = true;
    m_fitting = true;  // no fit between two columns
    const int count = std::min(static_cast<int>(m_columns.size()), m_titles->count());
    for (int column = 0; column < count; ++column) {
        const ColumnState state = m_columns[column];
        m_titles->setSectionHidden(column, false);
        m_titles->resizeSection(column, state.width + GridLine());
        m_titles->setSectionHidden(column, state.hidden);
    }
    m_sectionCount = m_titles->count();
    m_fitting = false;
    m_restoring = false;
}

int PlayerGrid::ColumnContentWidth(int column) const {
    return m_titles->sectionSize(column) - GridLine();
}

void PlayerGrid::FitColumns() {
    if (m_fitting) {
        return;
    }
    if (m_titles->count() != m_sectionCount) {
        RestoreColumns();  // the model brought new sections: give them the grid's columns
    }
    m_fitting = true;
    std::vector<int> columns;
    std::vector<int> widths;
    for (int visual = 0; visual < m_titles->count(); ++visual) {
        const int column = m_titles->logicalIndex(visual);
        // A section of size 0 is being hidden (the header shrinks it before marking it).
        if (!m_titles->isSectionHidden(column) && m_titles->sectionSize(column) > 0) {
            columns.push_back(column);
            widths.push_back(ColumnContentWidth(column));
        }
    }
    // The client width counts the indicator column and its line, as the design does.
    const int client = kIndicatorWidth + GridLine() + viewport()->width();
    const std::vector<int> fitted = FitColumnWidths(client, GridLine(), widths);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (fitted[i] != widths[i]) {
            m_titles->resizeSection(columns[i], fitted[i] + GridLine());
        }
    }
    m_fitting = false;
}

void PlayerGrid::FitIfShown() {
    // Before the grid is shown its size is a placeholder; fitting to it would squeeze the
    // proportions through rounding. Nor does a width drag fit until the button is released.
    if (isVisible() && !m_titles->ButtonHeld()) {
        FitColumns();
    }
}

int PlayerGrid::ScreenPosition(int row) const {
    const QHeaderView* rows = verticalHeader();
    return rows->visualIndex(row) - rows->visualIndexAt(0);
}

QRect PlayerGrid::CornerCellRect() const {
    return QRect(frameWidth(), frameWidth(), verticalHeader()->width(), m_titles->height());
}

void PlayerGrid::OpenColumnChooser() {
    ColumnChooser chooser(*this, m_notices, this);
    const QRect cell = CornerCellRect();
    chooser.Prepare(mapToGlobal(QPoint(cell.left(), cell.bottom() + 1)));
    if (m_runChooser(chooser) == QDialog::Accepted) {
        FitColumns();
    }
}

bool PlayerGrid::event(QEvent* event) {
    const bool handled = QTableView::event(event);
    if (event->type() == QEvent::Paint) {
        PaintFrame();
    }
    return handled;
}

void PlayerGrid::PaintFrame() {
    QPainter painter(this);
    const QRect outer = rect();
    const QRect inner = outer.adjusted(1, 1, -1, -1);
    const bool active = FrameHighlighted();
    painter.setPen(active ? kFrameActive : kFrameOuter);
    painter.drawRect(outer.adjusted(0, 0, -1, -1));
    painter.setPen(active ? kFrameActive : palette().color(QPalette::Base));
    painter.drawRect(inner.adjusted(0, 0, -1, -1));
}

bool PlayerGrid::viewportEvent(QEvent* event) {
    const bool handled = QTableView::viewportEvent(event);
    if (event->type() == QEvent::Resize) {
        FitIfShown();  // a scroll bar coming or going changes the client width
    }
    return handled;
}

void PlayerGrid::updateGeometries() {
    QTableView::updateGeometries();
    if (m_corner != nullptr) {
        m_corner->setGeometry(CornerCellRect());
        m_corner->raise();
    }
    FitIfShown();
}

void PlayerGrid::scrollContentsBy(int dx, int dy) {
    QTableView::scrollContentsBy(dx, dy);
    if (dy != 0) {
        // Row colours go with the screen position: moved pixels would carry the old ones.
        viewport()->update();
    }
}

void PlayerGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    viewport()->update();  // the highlight covers whole rows
    verticalHeader()->viewport()->update();
}

void PlayerGrid::focusInEvent(QFocusEvent* event) {
    QTableView::focusInEvent(event);
    viewport()->update();
    update();
}

void PlayerGrid::focusOutEvent(QFocusEvent* event) {
    QTableView::focusOutEvent(event);
    viewport()->update();
    update();
}

void PlayerGrid::enterEvent(QEnterEvent* event) {
    QTableView::enterEvent(event);
    m_hovered = true;
    update();
}

void PlayerGrid::leaveEvent(QEvent* event) {
    QTableView::leaveEvent(event);
    m_hovered = false;
    update();
}

void PlayerGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    emit GridDoubleClicked();
}

void PlayerGrid::showEvent(QShowEvent* event) {
    QTableView::showEvent(event);
    FitColumns();
}

}  // namespace orvanta::registry::widgets

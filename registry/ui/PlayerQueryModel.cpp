#include "registry/ui/PlayerQueryModel.h"

#include "core/Dispatch.h"
#include "core/Text.h"
#include "db/Field.h"
#include "registry/widgets/DisplayText.h"
#include "registry/widgets/GridRoles.h"

namespace orvanta::registry::ui {

const std::array<PlayerQueryModel::Column, 7> PlayerQueryModel::kColumns = {{
    {nullptr, "", 33},
    {"attivo", "Attivo", 81},
    {"id", "id", 33},
    {"manager_list_name", "Lista", 121},
    {"player_ip", "IP Player", 121},
    {"player_port", "Porta Player", 121},
    {"player_file_play", "File da riprodurre", 357},
}};

namespace {

constexpr int kBlocksPerRequest = 20;

QString Text(const db::Value& value) {
    if (const auto* number = std::get_if<std::int64_t>(&value)) {
        return QString::number(*number);
    }
    if (const auto* bytes = std::get_if<std::string>(&value)) {
        return widgets::ShownText(*bytes);
    }
    return {};
}

bool Flag(const db::Value& value) {
    if (const auto* number = std::get_if<std::int64_t>(&value)) {
        return *number != 0;
    }
    if (const auto* bytes = std::get_if<std::string>(&value)) {
        return *bytes == "1" || EqualsIgnoreCaseAscii(*bytes, "true");
    }
    return false;
}

}  // namespace

PlayerQueryModel::PlayerQueryModel(db::Query& query, Notices& notices, QObject* parent)
    : QAbstractTableModel(parent), m_query(query), m_notices(notices) {
    m_query.SetObserver([this](const db::DataEvent& event) { OnDataEvent(event); });
    OnDataEvent({db::DataChange::Reset});
}

void PlayerQueryModel::OnDataEvent(const db::DataEvent& event) {
    switch (event.change) {
        case db::DataChange::RowsFetched:
            // The rows are already in the query; the view learns of them now.
            beginInsertRows({}, static_cast<int>(event.row),
                            static_cast<int>(event.row + event.count) - 1);
            endInsertRows();
            break;
        case db::DataChange::RowChanged:
            emit dataChanged(index(static_cast<int>(event.row), 0),
                             index(static_cast<int>(event.row), columnCount() - 1));
            break;
        case db::DataChange::Moved:
            if (m_query.Active() && !m_query.IsEmpty()) {
                emit CurrentRowChanged(static_cast<int>(m_query.CurrentRow()));
            }
            break;
        case db::DataChange::StateChanged:
            break;
        default:
            // Opened, closed, a row added or removed: the view starts afresh.
            beginResetModel();
            m_fieldIndexes.fill(std::nullopt);
            if (m_query.Active()) {
                for (std::size_t c = 0; c < kColumns.size(); ++c) {
                    if (!kColumns[c].field) {
                        continue;
                    }
                    for (std::size_t q = 0; q < m_query.FieldCount(); ++q) {
                        if (EqualsIgnoreCaseAscii(m_query.Columns()[q].name, kColumns[c].field)) {
                            m_fieldIndexes[c] = q;
                        }
                    }
                }
            }
            endResetModel();
            if (m_query.Active() && !m_query.IsEmpty()) {
                emit CurrentRowChanged(static_cast<int>(m_query.CurrentRow()));
            }
            break;
    }
}

std::optional<std::size_t> PlayerQueryModel::QueryColumn(int column) const {
    return column >= 0 && column < static_cast<int>(m_fieldIndexes.size()) ? m_fieldIndexes[column]
                                                                           : std::nullopt;
}

int PlayerQueryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_query.Active() ? 0 : static_cast<int>(m_query.FetchedRowCount());
}

int PlayerQueryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(kColumns.size());
}

QVariant PlayerQueryModel::data(const QModelIndex& index, int role) const {
    const auto column = QueryColumn(index.column());
    if (!column || index.row() >= rowCount()) {
        return {};
    }
    const db::Value& value = m_query.CellValue(static_cast<std::size_t>(index.row()), *column);
    const bool flag = m_query.Columns()[*column].kind == db::FieldKind::Flag;
    if (role == Qt::DisplayRole) {
        return flag ? QVariant() : QVariant(Text(value));
    }
    if (role == widgets::kFlagRole && flag) {
        return Flag(value);
    }
    return {};
}

QVariant PlayerQueryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 ||
        section >= static_cast<int>(kColumns.size())) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
            return widgets::ShownText(kColumns[section].title);
        case widgets::kFieldNameRole:
            return kColumns[section].field ? QVariant(QString(kColumns[section].field))
                                           : QVariant();
        case widgets::kFieldIndexRole: {
            const auto column = QueryColumn(section);
            return column ? QVariant(static_cast<int>(*column)) : QVariant();
        }
        default:
            return {};
    }
}

bool PlayerQueryModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && m_query.Active() && !m_query.AllFetched();
}

void PlayerQueryModel::fetchMore(const QModelIndex& parent) {
    if (canFetchMore(parent)) {
        // The view asks from inside its own event handling: a database failure stops here.
        // A few blocks per request: a thumb dragged down a long group reaches its rows in a
        // handful of steps instead of one 50-row block per mouse move.
        RunGuarded(m_notices, [this] {
            for (int block = 0; block < kBlocksPerRequest && m_query.FetchMore(); ++block) {
            }
        });
    }
}

std::string PlayerQueryModel::FieldName(int column) const {
    return column >= 0 && column < static_cast<int>(kColumns.size()) && kColumns[column].field
               ? kColumns[column].field
               : std::string();
}

}  // namespace orvanta::registry::ui

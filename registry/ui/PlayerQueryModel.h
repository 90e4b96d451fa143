#pragma once

#include <QAbstractTableModel>

#include <array>
#include <optional>

#include "core/Notices.h"
#include "db/Query.h"

namespace orvanta::registry::ui {

// The player grid's columns over the player query: the first column has no field; the others
// show their field's value as text, flag fields as a check-box picture. Rows are those the query
// has fetched; more are fetched as the view scrolls to them.
class PlayerQueryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Column {
        const char* field;  // null for the first column
        const char* title;
        int designWidth;
    };
    static const std::array<Column, 7> kColumns;

    PlayerQueryModel(db::Query& query, Notices& notices, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    // The field name of a grid column; empty for the first column.
    std::string FieldName(int column) const;

signals:
    // The query's current row moved (by a command, not by the view).
    void CurrentRowChanged(int row);

private:
    void OnDataEvent(const db::DataEvent& event);
    std::optional<std::size_t> QueryColumn(int column) const;

    db::Query& m_query;
    Notices& m_notices;
    std::array<std::optional<std::size_t>, 7> m_fieldIndexes{};
};

}  // namespace orvanta::registry::ui

#pragma once

#include <QDialog>

#include "core/Notices.h"

class QCheckBox;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTableView;

namespace orvanta::registry::widgets {

// "Visualizza colonne": ticks which of the grid's field columns are visible. Entries follow
// the query's field order; the first column, bound to no field, is not offered. At least one
// entry stays ticked. OK (or Enter) applies the ticks, Escape closes without applying.
class ColumnChooser : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMinimumWidth = 100;
    static constexpr int kMinimumHeight = 140;
    static constexpr int kTallestList = 400;

    ColumnChooser(QTableView& grid, Notices& notices, QWidget* parent = nullptr);

    // Sizes the window by the height rule and places it with its top-left at the given
    // global point, moved as far as needed to lie inside that screen's work area.
    void Prepare(QPoint globalTopLeft);

    QListWidget& Entries() const { return *m_list; }
    QCheckBox& RealNames() const { return *m_realNames; }
    QPushButton& OkButton() const { return *m_ok; }
    // The grid column behind an entry.
    int ColumnOf(int entry) const;

    void accept() override;

private:
    void OnEntryChanged(QListWidgetItem* item);
    void Relabel();
    void FitHeight();

    QTableView& m_grid;
    Notices& m_notices;
    QListWidget* m_list;
    QCheckBox* m_realNames;
    QPushButton* m_ok;
    bool m_restoring = false;
};

}  // namespace orvanta::registry::widgets

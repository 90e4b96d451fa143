#pragma once

#include <QAbstractTableModel>

#include <chrono>
#include <map>
#include <string>

#include "registry/CommandJournal.h"
#include "registry/GroupCommands.h"

namespace orvanta::registry::ui {

// The link list as rows of the "Stato lettori" window: one row per entry, in list order. Every
// cell is read from the links and the last command's record when it is drawn (Refresh() tells
// the view that they may have changed), but for what the journal says, which it is given.
class PlayerStatusModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        Entry,
        Player,
        Channel,
        Ftp,
        Progress,
        Bytes,
        Rate,
        Outcome,
        // What the journal says this program last copied and loaded there, and when.
        Holding,
        // The last "file caricato" line the player sent.
        LoadedLine,
        // What "Verifica lettori" found of the player's two ports.
        Probe,
        LastLine,
        ColumnCount
    };
    // The percent of the transfer as an int, -1 when no copy has begun (the progress column).
    static constexpr int kPercentRole = Qt::UserRole + 1;

    explicit PlayerStatusModel(const GroupCommands& commands, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Everything may have changed; true when the number of rows did (the view then needs a
    // layout before it is drawn).
    bool Refresh();
    // One entry's row may have changed.
    void RefreshEntry(std::size_t entry);
    // What the journal says each player holds, read when a command ends or the window opens.
    void SetHoldings(std::map<JournalPlayerKey, PlayerHolding> holdings);

    // Texts as the window shows them; public for the window's own labels.
    static QString OutcomeText(const EntryOutcome& outcome);
    static QString CommandText(GroupCommand command);

private:
    QString Cell(std::size_t entry, int column) const;
    QString ProbeText(std::size_t entry) const;
    int RowsWanted() const;
    int Percent(std::size_t entry) const;

    const GroupCommands& m_commands;
    std::map<JournalPlayerKey, PlayerHolding> m_holdings;
    int m_rows = 0;  // the rows the view was last told of
};

// Bytes from the links and the record become widget text here, with their bidirectional
// controls made visible: a player's line cannot reorder the window's texts.
QString PeerText(const std::string& bytes);

}  // namespace orvanta::registry::ui

#include "registry/ui/PlayerStatusModel.h"

#include <QLocale>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <utility>

#include "ftp/NamePart.h"
#include "registry/widgets/DisplayText.h"

namespace orvanta::registry::ui {

namespace {

using State = EntryOutcome::State;

const QLocale& Italian() {
    static const QLocale locale(QLocale::Italian, QLocale::Italy);
    return locale;
}

QString TimeText(const link::LocalDateTime& at) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", at.hour, at.minute, at.second);
    return QString::fromLatin1(text);
}

}  // namespace

QString PeerText(const std::string& bytes) {
    return widgets::WithBidiControlsShown(widgets::ShownText(bytes));
}

PlayerStatusModel::PlayerStatusModel(const GroupCommands& commands, QObject* parent)
    : QAbstractTableModel(parent), m_commands(commands), m_rows(RowsWanted()) {}

int PlayerStatusModel::RowsWanted() const {
    // A probe of a group not initialized yet shows its players in rows of their own.
    return static_cast<int>(
        std::max(m_commands.LinkCount(), m_commands.LastProbe().players.size()));
}

int PlayerStatusModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int PlayerStatusModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PlayerStatusModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    static const char* const kTitles[] = {"N.",          "Lettore",
                                          "Canale",      "FTP",
                                          "Copia",       "Byte inviati",
                                          "MiB/s",       "Esito",
                                          "Nel lettore", "Caricato dal lettore",
                                          "Verifica",    "Ultima riga ricevuta"};
    // A column added without its title would shift every title after it.
    static_assert(std::size(kTitles) == ColumnCount);
    return section >= 0 && section < ColumnCount ? QString::fromUtf8(kTitles[section]) : QVariant();
}

QVariant PlayerStatusModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows || index.row() >= RowsWanted()) {
        return {};
    }
    const auto entry = static_cast<std::size_t>(index.row());
    switch (role) {
        case Qt::DisplayRole:
            return Cell(entry, index.column());
        case Qt::ToolTipRole:
            // Long failures and lines are cut in their cells.
            if (index.column() == Outcome || index.column() == LastLine ||
                index.column() == Holding || index.column() == LoadedLine ||
                index.column() == Probe) {
                return Cell(entry, index.column());
            }
            return {};
        case kPercentRole:
            return index.column() == Progress ? QVariant(Percent(entry)) : QVariant();
        case Qt::TextAlignmentRole:
            if (index.column() == Entry || index.column() == Bytes || index.column() == Rate) {
                return QVariant(Qt::AlignRight | Qt::AlignVCenter);
            }
            return {};
        default:
            return {};
    }
}

int PlayerStatusModel::Percent(std::size_t entry) const {
    const link::TForm1* link = entry < m_commands.LinkCount() ? m_commands.Link(entry) : nullptr;
    if (!link || link->Transfer().state == link::TransferProgress::State::None) {
        return -1;
    }
    const link::TransferProgress& transfer = link->Transfer();
    if (transfer.total <= 0) {
        // An empty file is whole once sent.
        return transfer.state == link::TransferProgress::State::Done ? 100 : 0;
    }
    return static_cast<int>(transfer.sent * 100 / transfer.total);
}

QString PlayerStatusModel::ProbeText(std::size_t entry) const {
    const ProbeRecord& probe = m_commands.LastProbe();
    const link::TForm1* link = entry < m_commands.LinkCount() ? m_commands.Link(entry) : nullptr;
    const ProbedPlayer* found = nullptr;
    if (link) {
        for (const ProbedPlayer& player : probe.players) {
            if (player.address == link->edServer.Text && player.port == link->sePort.Text) {
                found = &player;
                break;
            }
        }
    } else if (entry >= m_commands.LinkCount() && entry < probe.players.size()) {
        found = &probe.players[entry];
    }
    if (!found) {
        return {};
    }
    if (!found->failure.empty()) {
        return PeerText(found->failure);
    }
    const auto said = [](const net::PortAnswer& answer) {
        switch (answer.kind) {
            case net::PortAnswer::Kind::Up:
                return QString::fromUtf8("risponde (%1 ms)")
                    .arg(Italian().toString(
                        std::chrono::duration<double, std::milli>(answer.roundTrip).count(), 'f',
                        1));
            case net::PortAnswer::Kind::Refused:
                return QString::fromUtf8("rifiuta");
            case net::PortAnswer::Kind::Silent:
                return QString::fromUtf8("nessuna risposta");
            case net::PortAnswer::Kind::Failed:
                break;
        }
        return PeerText(answer.error);
    };
    return QString::fromUtf8("canale: ") + said(found->control) + QString::fromUtf8(", FTP: ") +
           said(found->ftp);
}

QString PlayerStatusModel::Cell(std::size_t entry, int column) const {
    const link::TForm1* link = entry < m_commands.LinkCount() ? m_commands.Link(entry) : nullptr;
    const CommandRecord& record = m_commands.LastCommand();
    switch (column) {
        case Entry:
            return QString::number(entry + 1);
        case Probe:
            return ProbeText(entry);
        case Outcome:
            if (entry < record.entries.size()) {
                return OutcomeText(record.entries[entry]);
            }
            return {};
        default:
            break;
    }
    if (!link) {
        if (column != Player) {
            return {};
        }
        const ProbeRecord& probe = m_commands.LastProbe();
        if (entry >= m_commands.LinkCount() && entry < probe.players.size()) {
            return PeerText(probe.players[entry].address) + ":" +
                   PeerText(probe.players[entry].port);
        }
        return QString::fromUtf8("nessun collegamento");
    }
    switch (column) {
        case Player:
            return PeerText(link->edServer.Text) + ":" + PeerText(link->sePort.Text);
        case Channel:
            if (link->IdTCPClient1.IsOpen()) {
                return QString::fromUtf8("aperto");
            }
            return link->IdTCPClient1.Reached() ? QString::fromUtf8("chiuso")
                                                : QString::fromUtf8("mai aperto");
        case Ftp:
            if (m_commands.FtpClosedByServer(entry)) {
                return QString::fromUtf8("chiuso dal server");
            }
            return m_commands.FtpConnected(entry) ? QString::fromUtf8("connesso")
                                                  : QString::fromUtf8("non connesso");
        case Progress: {
            const int percent = Percent(entry);
            return percent < 0 ? QString() : QString::number(percent) + " %";
        }
        case Bytes: {
            const link::TransferProgress& transfer = link->Transfer();
            if (transfer.state == link::TransferProgress::State::None) {
                return {};
            }
            return Italian().toString(static_cast<qlonglong>(transfer.sent)) + " / " +
                   Italian().toString(static_cast<qlonglong>(transfer.total));
        }
        case Rate: {
            const link::TransferProgress& transfer = link->Transfer();
            if (!transfer.flowing) {
                return {};
            }
            return Italian().toString(transfer.BytesPerSecond() / (1024.0 * 1024.0), 'f', 1);
        }
        case Holding: {
            const auto found = m_holdings.find({link->edServer.Text, link->sePort.Text});
            if (found == m_holdings.end()) {
                return {};
            }
            const PlayerHolding& holding = found->second;
            QString text;
            if (holding.copied) {
                text = PeerText(ftp::NamePart(holding.copied->file)) +
                       QString::fromUtf8(" copiato ") + PeerText(holding.copied->time);
            }
            if (holding.loaded) {
                text += (text.isEmpty() ? QString() : QString::fromUtf8(", ")) +
                        PeerText(ftp::NamePart(holding.loaded->file)) +
                        QString::fromUtf8(" caricato ") + PeerText(holding.loaded->time);
            }
            return text;
        }
        case LoadedLine: {
            // The player's own word on what it loaded, newest first.
            const std::vector<std::string>& lines = link->memLines.Lines;
            for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
                if (line->find("file caricato") != std::string::npos) {
                    return PeerText(*line);
                }
            }
            return {};
        }
        case LastLine: {
            const link::ReceivedLine& line = link->LastReceived();
            return line.any ? TimeText(line.at) + "  " + PeerText(line.text) : QString();
        }
        default:
            return {};
    }
}

QString PlayerStatusModel::OutcomeText(const EntryOutcome& outcome) {
    switch (outcome.state) {
        case State::None:
            return {};
        case State::Waiting:
            return QString::fromUtf8("in attesa");
        case State::Running:
            return QString::fromUtf8("in corso");
        case State::Done:
            if (!outcome.proof.empty()) {
                // The server's word on what it stored: its size, and a digest where it has one.
                std::string proof = outcome.proof;
                if (proof.rfind("size", 0) == 0) {
                    proof.replace(0, 4, "dimensione");
                }
                return QString::fromUtf8("eseguito (verificato: ") + PeerText(proof) + ")";
            }
            return QString::fromUtf8("eseguito");
        case State::Failed:
            // Exactly the error box's text.
            return PeerText(outcome.failure);
        case State::NotReached:
            return QString::fromUtf8("non raggiunto");
        case State::NoLink:
            return QString::fromUtf8("nessun collegamento");
        case State::AlreadyPresent:
            return QString::fromUtf8("già presente");
    }
    return {};
}

QString PlayerStatusModel::CommandText(GroupCommand command) {
    switch (command) {
        case GroupCommand::None:
            return {};
        case GroupCommand::Initialize:
            return QString::fromUtf8("1 - Inizializza lettori");
        case GroupCommand::CopyFiles:
            return QString::fromUtf8("2 - Copia files nei lettori");
        case GroupCommand::LoadFiles:
            return QString::fromUtf8("3 - Carica files nei lettori");
        case GroupCommand::NormalScreen:
            return QString::fromUtf8("Normalscreen");
        case GroupCommand::FullScreen:
            return QString::fromUtf8("Fullscreen");
        case GroupCommand::Play:
            return QString::fromUtf8("Play");
        case GroupCommand::Pause:
            return QString::fromUtf8("Pausa");
        case GroupCommand::ParallelCopy:
            return QString::fromUtf8("Copia in parallelo");
    }
    return {};
}

bool PlayerStatusModel::Refresh() {
    const int rows = RowsWanted();
    if (rows != m_rows) {
        beginResetModel();
        m_rows = rows;
        endResetModel();
        return true;
    }
    if (m_rows > 0) {
        emit dataChanged(index(0, 0), index(m_rows - 1, ColumnCount - 1));
    }
    return false;
}

void PlayerStatusModel::SetHoldings(std::map<JournalPlayerKey, PlayerHolding> holdings) {
    m_holdings = std::move(holdings);
    if (m_rows > 0) {
        emit dataChanged(index(0, Holding), index(m_rows - 1, Holding));
    }
}

void PlayerStatusModel::RefreshEntry(std::size_t entry) {
    if (static_cast<int>(entry) < m_rows) {
        const int row = static_cast<int>(entry);
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
    }
}

}  // namespace orvanta::registry::ui

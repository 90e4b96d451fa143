// Copy throughput through the manager window with "Stato lettori" closed and open.
//
//   status_window_bench [--players N] [--file-mib M] [--rounds R]
//
// N simulated players (a line peer in this process and a real pyftpdlib FTP server each) in
// one group of a registry in a temporary folder; the manager window initializes them, then
// runs "2 - Copia files nei lettori" R times with the window closed and R times open,
// alternating which goes first in each round so that drift in the machine's load falls on
// both. The window open repaints itself during each upload, as the operator sees it. Figures:
// MiB/s over all players per run, the median of each mode, and how much slower open is.
// QT_QPA_PLATFORM picks the display (offscreen when none is set and no DISPLAY).

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QTableView>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "core/DesktopEffects.h"
#include "core/Notices.h"
#include "registry/Schema.h"
#include "registry/ui/TFormMainManager.h"
#include "registry/ui/TFormStatoLettori.h"
#include "tests/db/TempDatabase.h"
#include "tests/registry/GroupCommandsPlayers.h"

namespace {

using orvanta::bench::Clock;
using orvanta::bench::Ms;
namespace fs = std::filesystem;

class QuietNotices : public orvanta::Notices {
public:
    void ShowError(const std::string& text) override { errors.push_back(text); }
    void ShowMessage(const std::string&) override {}
    void ShowWarning(const std::string& text) override { errors.push_back(text); }
    bool AskYesNo(const std::string&) override { return true; }
    std::vector<std::string> errors;
};

// Counts the paints of the window's player list.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

double Median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    return n == 0 ? 0 : n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "status_window_bench: %s\n", text.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> args;
    for (int i = 1; i + 1 < argc; i += 2) {
        args[argv[i]] = argv[i + 1];
    }
    const int players = args.count("--players") ? std::atoi(args["--players"].c_str()) : 3;
    const int fileMib = args.count("--file-mib") ? std::atoi(args["--file-mib"].c_str()) : 64;
    const int rounds = args.count("--rounds") ? std::atoi(args["--rounds"].c_str()) : 5;
    if (players < 1 || fileMib < 1 || rounds < 1) {
        std::fprintf(stderr, "usage: %s [--players N] [--file-mib M] [--rounds R]\n", argv[0]);
        return 2;
    }
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication application(argc, argv);

    try {
        orvanta::test::TempFolder folder;
        const fs::path media = folder.Path() / "clip.mp4";
        {
            std::string bytes(static_cast<std::size_t>(fileMib) * 1024 * 1024, '\0');
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                bytes[i] = static_cast<char>((i * 131 + i / 509) & 0xFF);
            }
            std::ofstream(media, std::ios::binary) << bytes;
        }
        std::vector<std::unique_ptr<orvanta::test::SimulatedPlayer>> simulated;
        std::string rows;
        for (int i = 0; i < players; ++i) {
            simulated.push_back(std::make_unique<orvanta::test::SimulatedPlayer>(
                folder.Path() / ("player" + std::to_string(i))));
            rows += std::string(rows.empty() ? "" : ", ") + "(1, 'Sala', '127.0.0.1', " +
                    std::to_string(simulated.back()->Port()) + ", '" + media.string() + "')";
        }
        orvanta::test::ExecSql(folder.Path() / orvanta::registry::kRegistryFileName,
                               std::string(orvanta::registry::kManagerTableSchema) +
                                   "; INSERT INTO manager (attivo, manager_list_name, "
                                   "player_ip, player_port, player_file_play) VALUES " +
                                   rows);

        QuietNotices notices;
        orvanta::DesktopEffects effects;
        orvanta::registry::ui::TFormMainManager window(
            {notices, effects, [&] { return folder.WithSeparator(); }});
        window.show();
        application.processEvents();
        window.ListaPlurilist->setEditText("Sala");
        window.Preparalettori1->trigger();
        if (!notices.errors.empty()) {
            return Fail("initialize: " + notices.errors.front());
        }
        orvanta::registry::ui::TFormStatoLettori& stato = *window.FormStatoLettori;
        PaintCounter counter;
        stato.Players->viewport()->installEventFilter(&counter);

        const double totalMib = static_cast<double>(players) * fileMib;
        std::vector<double> closed, open;
        std::vector<int> paintsPerRun;
        const auto run = [&](bool withWindow) {
            if (withWindow != stato.isVisible()) {
                stato.Toggle();
            }
            // Let the window be drawn and settle before the clock starts.
            for (int i = 0; i < 5; ++i) {
                application.processEvents();
            }
            const int paintsBefore = counter.paints;
            const auto start = Clock::now();
            window.Inviaifiles1->trigger();
            const double ms = Ms(start);
            if (!notices.errors.empty()) {
                throw std::runtime_error("copy: " + notices.errors.front());
            }
            const double rate = totalMib / (ms / 1000.0);
            (withWindow ? open : closed).push_back(rate);
            if (withWindow) {
                paintsPerRun.push_back(counter.paints - paintsBefore);
            }
            std::printf(
                "  window %-6s %8.1f ms  %8.1f MiB/s%s\n", withWindow ? "open" : "closed", ms, rate,
                withWindow
                    ? ("  (" + std::to_string(counter.paints - paintsBefore) + " paints)").c_str()
                    : "");
            std::fflush(stdout);
        };
        std::printf("%d players, %d MiB each, %d rounds, platform %s\n", players, fileMib, rounds,
                    QApplication::platformName().toUtf8().constData());
        run(false);  // warm-up: caches, the servers' first files
        closed.clear();
        for (int round = 0; round < rounds; ++round) {
            const bool openFirst = round % 2 == 1;
            run(openFirst);
            run(!openFirst);
        }
        for (const auto& player : simulated) {
            if (fs::file_size(player->Home() / "clip.mp4") !=
                static_cast<std::uintmax_t>(fileMib) * 1024 * 1024) {
                return Fail("a player's file has the wrong size");
            }
        }
        const double closedMedian = Median(closed);
        const double openMedian = Median(open);
        const double slower = (closedMedian - openMedian) / closedMedian * 100.0;
        std::printf("median closed %.1f MiB/s, open %.1f MiB/s: open is %.2f %% slower\n",
                    closedMedian, openMedian, slower);
        std::printf("closed_mib_s=%.1f open_mib_s=%.1f open_slower_pct=%.2f paints_per_copy=%.0f\n",
                    closedMedian, openMedian, slower,
                    Median(std::vector<double>(paintsPerRun.begin(), paintsPerRun.end())));
        return 0;
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}

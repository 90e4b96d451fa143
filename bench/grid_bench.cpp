// Times the manager window's grid on a viewing group of many players.
//
//   grid_bench [--players N]
//
// Builds a registry with N players (default 100 000) in one group in a temporary folder, opens
// the manager window on it (offscreen), and measures: choosing the group until the grid shows
// its first rows, scrolling to the end of the grid (rows fetched as the view reaches them), and
// the resident memory at each step. The last line is a summary of key=value pairs.

#include <sqlite3.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QScrollBar>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/BenchSupport.h"
#include "core/DesktopEffects.h"
#include "core/Notices.h"
#include "registry/Schema.h"
#include "registry/ui/TFormMainManager.h"
#include "registry/widgets/PlayerGrid.h"

namespace {

using orvanta::bench::Clock;
using orvanta::bench::Ms;
using orvanta::bench::StatusKib;

struct SilentNotices : orvanta::Notices {
    void ShowError(const std::string& text) override {
        std::fprintf(stderr, "error box: %s\n", text.c_str());
    }
    void ShowMessage(const std::string&) override {}
    void ShowWarning(const std::string&) override {}
    bool AskYesNo(const std::string&) override { return false; }
};

void MakeRegistry(const std::string& file, int players) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    sqlite3_exec(db, orvanta::registry::kManagerTableSchema, nullptr, nullptr, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO manager (attivo, manager_list_name, player_ip, player_port, "
                       "player_file_play) VALUES (?, 'Sala grande', ?, ?, ?)",
                       -1, &insert, nullptr);
    for (int i = 0; i < players; ++i) {
        const std::string ip =
            "10.0." + std::to_string(i / 256 % 256) + "." + std::to_string(i % 256);
        const std::string file = "D:\\media\\clip" + std::to_string(i) + ".mp4";
        sqlite3_bind_int(insert, 1, i % 3 != 0);
        sqlite3_bind_text(insert, 2, ip.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 3, 7000 + i % 20000);
        sqlite3_bind_text(insert, 4, file.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

}  // namespace

int main(int argc, char** argv) {
    int players = 100000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--players") {
            players = std::atoi(argv[++i]);
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);

    char pattern[] = "/tmp/grid-bench-XXXXXX";
    const std::string folder = std::string(::mkdtemp(pattern)) + "/";
    MakeRegistry(folder + orvanta::registry::kRegistryFileName, players);

    SilentNotices notices;
    orvanta::DesktopEffects effects;
    long rssStart = StatusKib("VmRSS");
    double chooseMs = 0;
    double scrollMs = 0;
    int fetchedAfterChoose = 0;
    int fetchedAtEnd = 0;
    long rssChosen = 0;
    {
        orvanta::registry::ui::TFormMainManager window(
            {notices, effects, [folder] { return folder; }});
        window.show();
        QApplication::processEvents();

        auto start = Clock::now();
        window.ListaPlurilist->setEditText("Sala grande");
        QApplication::processEvents();
        chooseMs = Ms(start);
        fetchedAfterChoose = window.playlistdb->model()->rowCount();
        rssChosen = StatusKib("VmRSS");

        start = Clock::now();
        QScrollBar* bar = window.playlistdb->verticalScrollBar();
        // Scroll as a user dragging to the end would: the view asks for more rows each time.
        while (window.playlistdb->model()->canFetchMore({}) || bar->value() < bar->maximum()) {
            bar->setValue(bar->maximum());
            QApplication::processEvents();
        }
        scrollMs = Ms(start);
        fetchedAtEnd = window.playlistdb->model()->rowCount();
    }
    const long rssEnd = StatusKib("VmRSS");
    std::filesystem::remove_all(folder);

    std::printf("group of %d players\n", players);
    std::printf("choose group, first rows shown: %.1f ms (%d rows fetched)\n", chooseMs,
                fetchedAfterChoose);
    std::printf("scroll to the end: %.1f ms (%d rows fetched)\n", scrollMs, fetchedAtEnd);
    std::printf("resident memory: start %ld KiB, group chosen %ld KiB, peak %ld KiB\n", rssStart,
                rssChosen, StatusKib("VmHWM"));
    std::printf(
        "players=%d choose_ms=%.1f first_rows=%d scroll_end_ms=%.1f rows_end=%d "
        "rss_chosen_kib=%ld peak_kib=%ld\n",
        players, chooseMs, fetchedAfterChoose, scrollMs, fetchedAtEnd, rssChosen,
        StatusKib("VmHWM"));
    (void)rssEnd;
    return 0;
}

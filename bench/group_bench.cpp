// Times the group commands against N simulated players.
//
//   group_bench [--players N] [--file-mib M]
//
// Each player is a line peer on its control port P (in this process, one thread each) and a
// real pyftpdlib FTP server on P + 1 (one process each). A registry file with the N players in
// one group is made in a temporary folder, and a media file of M MiB is written there. Then
// initialize, copy files, load files, play and a second initialize (which replaces and closes
// every link) run as the menu runs them, each timed as a whole. A second pass times the same steps
// link by link on fresh links, to show where each command's time goes per player. Every player's
// received lines and stored file are checked. The last line is a summary of key=value pairs.

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "core/DesktopEffects.h"
#include "core/Notices.h"
#include "link/TForm1.h"
#include "registry/GroupCommands.h"
#include "registry/RegistryStore.h"
#include "registry/Schema.h"
#include "tests/db/TempDatabase.h"
#include "tests/registry/GroupCommandsPlayers.h"

namespace {

using orvanta::bench::Clock;
using orvanta::bench::Ms;
namespace fs = std::filesystem;

// Boxes that answer at once; a failure ends the benchmark.
class QuietNotices : public orvanta::Notices {
public:
    void ShowError(const std::string& text) override { errors.push_back(text); }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void ShowWarning(const std::string& text) override { errors.push_back(text); }
    bool AskYesNo(const std::string&) override { return true; }
    std::vector<std::string> errors, messages;
};

struct Spread {
    double total = 0, mean = 0, min = 0, max = 0;
};

Spread Of(const std::vector<double>& samples) {
    Spread s;
    if (samples.empty()) {
        return s;
    }
    s.total = std::accumulate(samples.begin(), samples.end(), 0.0);
    s.mean = s.total / static_cast<double>(samples.size());
    s.min = *std::min_element(samples.begin(), samples.end());
    s.max = *std::max_element(samples.begin(), samples.end());
    return s;
}

void PrintStep(const char* name, const std::vector<double>& samples) {
    const Spread s = Of(samples);
    std::printf("  %-22s mean %8.3f ms  min %8.3f  max %8.3f  sum %9.2f ms\n", name, s.mean, s.min,
                s.max, s.total);
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "group_bench: %s\n", text.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> args;
    for (int i = 1; i + 1 < argc; i += 2) {
        args[argv[i]] = argv[i + 1];
    }
    const int players = args.count("--players") ? std::atoi(args["--players"].c_str()) : 10;
    const int fileMib = args.count("--file-mib") ? std::atoi(args["--file-mib"].c_str()) : 4;
    if (players < 1 || fileMib < 0) {
        std::fprintf(stderr, "usage: %s [--players N] [--file-mib M]\n", argv[0]);
        return 2;
    }
    QCoreApplication application(argc, argv);

    try {
        orvanta::test::TempFolder folder;
        const fs::path media = folder.Path() / "clip.mp4";
        std::string bytes(static_cast<std::size_t>(fileMib) * 1024 * 1024, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<char>((i * 131 + i / 509) & 0xFF);
        }
        std::ofstream(media, std::ios::binary) << bytes;

        auto setupStart = Clock::now();
        std::vector<std::unique_ptr<orvanta::test::SimulatedPlayer>> simulated;
        std::string rows;
        for (int i = 0; i < players; ++i) {
            simulated.push_back(std::make_unique<orvanta::test::SimulatedPlayer>(
                folder.Path() / ("player" + std::to_string(i))));
            rows += std::string(rows.empty() ? "" : ", ") + "(1, 'Sala', '127.0.0.1', " +
                    std::to_string(simulated.back()->Port()) + ", '" + media.string() + "')";
        }
        const fs::path registry = folder.Path() / orvanta::registry::kRegistryFileName;
        orvanta::test::ExecSql(registry, std::string(orvanta::registry::kManagerTableSchema) +
                                             "; INSERT INTO manager (attivo, manager_list_name, "
                                             "player_ip, player_port, player_file_play) VALUES " +
                                             rows);
        const double setupMs = Ms(setupStart);

        QuietNotices notices;
        orvanta::DesktopEffects effects;
        orvanta::registry::RegistryStore store([&] { return folder.WithSeparator(); });
        const auto newLink = [&] {
            return std::make_unique<orvanta::link::TForm1>(orvanta::link::LinkEnvironment{
                notices, effects, [&] { return store.CurrentFilePlay(); }});
        };
        orvanta::registry::GroupCommands commands(
            store, {notices, newLink, [] { return std::string("Sala"); },
                    [&] { store.FilterGroup("Sala"); }});
        store.LoadGroups();
        store.FilterGroup("Sala");

        // The commands as the menu runs them.
        std::map<std::string, double> whole;
        const auto timed = [&](const char* name,
                               void (orvanta::registry::GroupCommands::*command)()) {
            const auto start = Clock::now();
            (commands.*command)();
            whole[name] = Ms(start);
        };
        timed("initialize", &orvanta::registry::GroupCommands::Preparalettori1Click);
        timed("copy files", &orvanta::registry::GroupCommands::Inviaifiles1Click);
        timed("load files", &orvanta::registry::GroupCommands::Caricaifiles1Click);
        timed("play", &orvanta::registry::GroupCommands::Play1Click);
        if (commands.LinkCount() != static_cast<std::size_t>(players)) {
            return Fail("initialize made " + std::to_string(commands.LinkCount()) + " links");
        }

        // Initialize again: every link is replaced, and closing the earlier ones is part of it.
        timed("initialize again", &orvanta::registry::GroupCommands::Preparalettori1Click);

        // The registry's share of initialize: the active players and the group change.
        auto start = Clock::now();
        store.SelectActivePlayers("Sala");
        const double activeMs = Ms(start);
        start = Clock::now();
        store.FilterGroup("Sala");
        const double filterMs = Ms(start);

        // The same steps link by link, on fresh links to the same players.
        std::vector<double> create, connect, login, fullScreen, upload, load, play;
        std::vector<std::unique_ptr<orvanta::link::TForm1>> links;
        for (const auto& player : simulated) {
            start = Clock::now();
            links.push_back(newLink());
            orvanta::link::TForm1& link = *links.back();
            create.push_back(Ms(start));
            link.edServer.Text = "127.0.0.1";
            link.sePort.SetValue(player->Port());
            start = Clock::now();
            link.BtnConnectClick();
            connect.push_back(Ms(start));
            link.IdFTP.Host = link.edServer.Text;
            link.IdFTP.Port = link.sePort.Value() + 1;
            start = Clock::now();
            link.IdFTP.ConnectAndLogin();
            login.push_back(Ms(start));
            start = Clock::now();
            link.btnfullscreenClick();
            fullScreen.push_back(Ms(start));
        }
        for (auto& link : links) {
            start = Clock::now();
            link->btnInviaFileClick();
            upload.push_back(Ms(start));
        }
        for (auto& link : links) {
            start = Clock::now();
            link->btn_prepfileplayClick();
            load.push_back(Ms(start));
        }
        for (auto& link : links) {
            start = Clock::now();
            link->btnPlayClick();
            play.push_back(Ms(start));
        }

        // Each player got its lines on every connection (the second initialize sent only the
        // greeting and full screen), and the file.
        const std::string greeting =
            "UtenteNonImpostato\r\n@FULLSCREEN:<USERID>COMANDO FULLSCREEN</USERID>\r\n";
        const std::string full = greeting +
                                 "@RENDERFILE:<FILE>clip.mp4</FILE>\r\n@PLAY:<USERID>COMANDO "
                                 "PLAY</USERID>\r\n";
        for (const auto& player : simulated) {
            for (int connection = 0; connection < 3; ++connection) {
                const std::string& expected = connection == 1 ? greeting : full;
                player->Line().WaitForBytes(expected.size(), connection);
                if (player->Line().Received(connection) != expected) {
                    return Fail("player on " + std::to_string(player->Port()) +
                                " received other lines");
                }
            }
            if (player->Stored("clip.mp4") != bytes) {
                return Fail("player on " + std::to_string(player->Port()) + " stored another file");
            }
        }
        if (!notices.errors.empty()) {
            return Fail(notices.errors.front());
        }

        const double mib = static_cast<double>(fileMib);
        std::printf("group_bench players=%d file_mib=%d (set-up of the players %.0f ms)\n", players,
                    fileMib, setupMs);
        std::printf("commands as the menu runs them:\n");
        for (const char* name :
             {"initialize", "copy files", "load files", "play", "initialize again"}) {
            std::printf("  %-16s %10.2f ms  per player %8.3f ms\n", name, whole[name],
                        whole[name] / players);
        }
        std::printf("registry inside initialize: active players %.3f ms, group change %.3f ms\n",
                    activeMs, filterMs);
        std::printf("link by link:\n");
        PrintStep("create link", create);
        PrintStep("control connect+greet", connect);
        PrintStep("ftp connect+login", login);
        PrintStep("full screen line", fullScreen);
        PrintStep("upload", upload);
        PrintStep("load line", load);
        PrintStep("play line", play);
        const double uploadSeconds = Of(upload).total / 1000.0;
        std::printf(
            "players=%d file_mib=%d initialize_ms=%.2f copy_ms=%.2f load_ms=%.2f play_ms=%.2f "
            "reinitialize_ms=%.2f upload_MiBps=%.1f\n",
            players, fileMib, whole["initialize"], whole["copy files"], whole["load files"],
            whole["play"], whole["initialize again"],
            uploadSeconds > 0 ? mib * players / uploadSeconds : 0.0);
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    return 0;
}

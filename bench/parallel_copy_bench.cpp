// "Copia in parallelo" against players already running somewhere (bench/lan_copy starts them
// in network namespaces): initialize, then the button of an open "Stato lettori" window, which
// repaints itself as the copy goes, as the operator sees it. Prints, as its last line,
// "links=<n> seconds=<copy> failed=<n> peak_rss_kib=<n>". QT_QPA_PLATFORM picks the display
// (offscreen when none is set and no DISPLAY).
//
//   parallel_copy_bench --registry PATH --group NAME

#include <QApplication>
#include <QPushButton>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "bench/BenchSupport.h"
#include "bench/LanGroup.h"
#include "registry/ui/TFormStatoLettori.h"

int main(int argc, char** argv) {
    std::string registry;
    std::string group;
    if (!orvanta::bench::ReadLanArguments(argc, argv, registry, group)) {
        return 2;
    }
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication application(argc, argv);
    try {
        orvanta::bench::LanGroup lan(registry, group);
        orvanta::registry::ui::TFormStatoLettori window(lan.commands, lan.notices, nullptr);
        window.Toggle();
        application.processEvents();
        const std::size_t boxesBefore = lan.notices.shown.size();
        const auto start = orvanta::bench::Clock::now();
        window.CopiaInParallelo->click();
        const double seconds = orvanta::bench::Ms(start) / 1000.0;
        lan.PrintBoxes("parallel_copy_bench", boxesBefore);
        std::size_t failed = 0;
        for (const auto& entry : lan.commands.LastCommand().entries) {
            failed += entry.state == orvanta::registry::EntryOutcome::State::Failed ? 1 : 0;
        }
        std::printf("links=%zu seconds=%.3f failed=%zu peak_rss_kib=%ld\n",
                    lan.commands.LinkCount(), seconds, failed, orvanta::bench::StatusKib("VmHWM"));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "parallel_copy_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}

// The menu's copy against players already running somewhere (bench/lan_copy starts them in
// network namespaces): initialize, then "copy files" one link after another, as the menu runs
// them. Prints, as its last line, "seconds=<copy> peak_rss_kib=<n>".
//
//   menu_copy_bench --registry PATH --group NAME

#include <QCoreApplication>

#include <cstdio>
#include <exception>
#include <string>

#include "bench/BenchSupport.h"
#include "bench/LanGroup.h"

int main(int argc, char** argv) {
    std::string registry;
    std::string group;
    if (!orvanta::bench::ReadLanArguments(argc, argv, registry, group)) {
        return 2;
    }
    QCoreApplication application(argc, argv);
    try {
        orvanta::bench::LanGroup lan(registry, group);
        const auto start = orvanta::bench::Clock::now();
        lan.commands.Inviaifiles1Click();
        const double seconds = orvanta::bench::Ms(start) / 1000.0;
        lan.PrintBoxes("menu_copy_bench");
        std::printf("links=%zu seconds=%.3f peak_rss_kib=%ld\n", lan.commands.LinkCount(), seconds,
                    orvanta::bench::StatusKib("VmHWM"));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "menu_copy_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}

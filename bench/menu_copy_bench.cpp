// The menu's copy against players already running somewhere (bench/lan_copy starts them in
// network namespaces): initialize, then "copy files" one link after another, as the menu runs
// them. Prints, as its last line, "seconds=<copy> peak_rss_kib=<n>".
//
//   menu_copy_bench --registry PATH --group NAME

#include <QCoreApplication>

#include <cstdio>
#include <exception>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "core/DesktopEffects.h"
#include "core/Notices.h"
#include "link/TForm1.h"
#include "registry/GroupCommands.h"
#include "registry/RegistryStore.h"

namespace {

// Boxes that answer at once and keep what they were asked to show.
class QuietNotices : public orvanta::Notices {
public:
    void ShowError(const std::string& text) override { shown.push_back(text); }
    void ShowMessage(const std::string& text) override { shown.push_back(text); }
    void ShowWarning(const std::string& text) override { shown.push_back(text); }
    bool AskYesNo(const std::string&) override { return true; }
    std::vector<std::string> shown;
};

}  // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> args;
    for (int i = 1; i + 1 < argc; i += 2) {
        args[argv[i]] = argv[i + 1];
    }
    if (!args.count("--registry") || !args.count("--group")) {
        std::fprintf(stderr, "usage: %s --registry PATH --group NAME\n", argv[0]);
        return 2;
    }
    QCoreApplication application(argc, argv);
    const std::string group = args["--group"];
    try {
        QuietNotices notices;
        orvanta::DesktopEffects effects;
        orvanta::registry::RegistryStore store;
        store.UseRegistryFile(args["--registry"]);
        const auto newLink = [&] {
            return std::make_unique<orvanta::link::TForm1>(orvanta::link::LinkEnvironment{
                notices, effects, [&] { return store.CurrentFilePlay(); }});
        };
        orvanta::registry::GroupCommands commands(
            store, {notices, newLink, [&] { return group; }, [&] { store.FilterGroup(group); }});
        store.LoadGroups();
        store.FilterGroup(group);
        commands.Preparalettori1Click();
        const auto start = orvanta::bench::Clock::now();
        commands.Inviaifiles1Click();
        const double seconds = orvanta::bench::Ms(start) / 1000.0;
        for (const std::string& text : notices.shown) {
            std::fprintf(stderr, "menu_copy_bench: box: %s\n", text.c_str());
        }
        std::printf("links=%zu seconds=%.3f peak_rss_kib=%ld\n", commands.LinkCount(), seconds,
                    orvanta::bench::StatusKib("VmHWM"));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "menu_copy_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}

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
#include "registry/ui/TFormStatoLettori.h"

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
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication application(argc, argv);
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
        orvanta::registry::ui::TFormStatoLettori window(commands, notices, nullptr);
        window.Toggle();
        application.processEvents();
        const std::size_t boxesBefore = notices.shown.size();
        const auto start = orvanta::bench::Clock::now();
        window.CopiaInParallelo->click();
        const double seconds = orvanta::bench::Ms(start) / 1000.0;
        for (std::size_t i = boxesBefore; i < notices.shown.size(); ++i) {
            std::fprintf(stderr, "parallel_copy_bench: box: %s\n", notices.shown[i].c_str());
        }
        std::size_t failed = 0;
        for (const auto& entry : commands.LastCommand().entries) {
            failed += entry.state == orvanta::registry::EntryOutcome::State::Failed ? 1 : 0;
        }
        std::printf("links=%zu seconds=%.3f failed=%zu peak_rss_kib=%ld\n", commands.LinkCount(),
                    seconds, failed, orvanta::bench::StatusKib("VmHWM"));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "parallel_copy_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}

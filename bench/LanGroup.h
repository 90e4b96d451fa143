#pragma once

// What the simulated-LAN benchmarks share: a group of a registry file, initialized through the
// real group commands against players already running somewhere (bench/lan_copy starts them).

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/DesktopEffects.h"
#include "core/Notices.h"
#include "link/TForm1.h"
#include "registry/GroupCommands.h"
#include "registry/RegistryStore.h"

namespace orvanta::bench {

// Boxes that answer at once and keep what they were asked to show.
class QuietNotices : public Notices {
public:
    void ShowError(const std::string& text) override { shown.push_back(text); }
    void ShowMessage(const std::string& text) override { shown.push_back(text); }
    void ShowWarning(const std::string& text) override { shown.push_back(text); }
    bool AskYesNo(const std::string&) override { return true; }
    std::vector<std::string> shown;
};

// "--registry PATH --group NAME" from the command line; false (after the usage line) when one
// is missing.
inline bool ReadLanArguments(int argc, char** argv, std::string& registry, std::string& group) {
    std::map<std::string, std::string> args;
    for (int i = 1; i + 1 < argc; i += 2) {
        args[argv[i]] = argv[i + 1];
    }
    if (!args.count("--registry") || !args.count("--group")) {
        std::fprintf(stderr, "usage: %s --registry PATH --group NAME\n", argv[0]);
        return false;
    }
    registry = args["--registry"];
    group = args["--group"];
    return true;
}

// The group's links after "1 - Inizializza lettori", as the menu leaves them.
struct LanGroup {
    LanGroup(const std::string& registry, std::string name) : group(std::move(name)) {
        store.UseRegistryFile(registry);
        store.LoadGroups();
        store.FilterGroup(group);
        commands.Preparalettori1Click();
    }

    // The boxes shown from `from` on, on stderr with the program's name.
    void PrintBoxes(const char* program, std::size_t from = 0) const {
        for (std::size_t i = from; i < notices.shown.size(); ++i) {
            std::fprintf(stderr, "%s: box: %s\n", program, notices.shown[i].c_str());
        }
    }

    const std::string group;
    QuietNotices notices;
    DesktopEffects effects;
    registry::RegistryStore store;
    registry::GroupCommands commands{
        store,
        {notices,
         [this] {
             return std::make_unique<link::TForm1>(link::LinkEnvironment{
                 notices, effects, [this] { return store.CurrentFilePlay(); }});
         },
         [this] { return group; }, [this] { store.FilterGroup(group); }}};
};

}  // namespace orvanta::bench

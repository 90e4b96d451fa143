// Player links whose players send their roster and offline-message lists over and over, with
// near-longest lines: how much memory the links hold once every list has been handled.
//
//   link_flood_bench [--links N] [--lines L] [--field-bytes B]
//
// Each link has its own connection of one loopback player, which sends L lines: rosters of 12
// fields and message lists of 6, B bytes a field, and a plain line now and then. The links'
// polls run back to back until every line is handled. Prints, as its last line:
//   links=<n> lines=<l> lineBytes=<b> seconds=<s> rssBeforeMiB=<x> rssAfterMiB=<x>
//   peakMiB=<x> rosterRows=<n> messageRows=<n> logLines=<n>

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchSupport.h"
#include "core/DesktopEffects.h"
#include "core/Notices.h"
#include "link/TForm1.h"
#include "tests/support/LoopbackPeer.h"

namespace {

using orvanta::bench::Clock;
using orvanta::bench::Ms;
using orvanta::bench::StatusKib;

class CountingNotices : public orvanta::Notices {
public:
    void ShowError(const std::string& text) override { Count(text); }
    void ShowMessage(const std::string& text) override { Count(text); }
    void ShowWarning(const std::string& text) override { Count(text); }
    bool AskYesNo(const std::string& text) override {
        Count(text);
        return false;
    }
    int count = 0;
    std::string last;

private:
    void Count(const std::string& text) {
        ++count;
        last = text;
    }
};

std::string List(int n, int fields, std::size_t fieldBytes) {
    std::string list = std::to_string(n);
    for (int i = 1; i < fields; ++i) {
        list += ',' + std::string(fieldBytes, static_cast<char>('a' + i));
    }
    return list;
}

double MiB(long kib) {
    return static_cast<double>(kib) / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> args;
    for (int i = 1; i + 1 < argc; i += 2) {
        args[argv[i]] = argv[i + 1];
    }
    const int links = args.count("--links") ? std::atoi(args["--links"].c_str()) : 10;
    const int lines = args.count("--lines") ? std::atoi(args["--lines"].c_str()) : 3000;
    const std::size_t fieldBytes = args.count("--field-bytes")
                                       ? std::strtoul(args["--field-bytes"].c_str(), nullptr, 10)
                                       : 1300;

    QCoreApplication app(argc, argv);
    CountingNotices notices;
    orvanta::DesktopEffects effects;
    orvanta::test::LoopbackPeer player;

    std::vector<std::unique_ptr<orvanta::link::TForm1>> forms;
    for (int i = 0; i < links; ++i) {
        auto form = std::make_unique<orvanta::link::TForm1>(
            orvanta::link::LinkEnvironment{notices, effects, [] { return std::string(); }});
        form->Timer1.stop();  // polled back to back below
        form->edServer.Text = "127.0.0.1";
        form->sePort.SetValue(player.Port());
        try {
            form->BtnConnectClick();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "link %d cannot connect: %s\n", i, e.what());
            return 1;
        }
        forms.push_back(std::move(form));
        // Connection indexes follow the links' order.
        if (!player.WaitForConnections(i + 1)) {
            std::fprintf(stderr, "the player saw only %d connections\n", player.ConnectionCount());
            return 1;
        }
    }

    std::string flood;
    std::size_t lineBytes = 0;
    for (int n = 0; n < lines; ++n) {
        std::string line;
        if (n % 100 == 99) {
            line = "stato " + std::to_string(n);
        } else if (n % 2 == 0) {
            line = "@MYROSTER:<USERLIST>" + List(n, 12, fieldBytes) + "</USERLIST>";
        } else {
            line = "@MYMESSAGES:<MESSAGES>" + List(n, 6, 2 * fieldBytes) + "</MESSAGES>";
        }
        lineBytes = std::max(lineBytes, line.size() + 2);
        flood += line + "\r\n";
    }
    const std::string last = "fine";
    flood += last + "\r\n";

    const long rssBefore = StatusKib("VmRSS");
    const auto start = Clock::now();
    // One sender per link: each send waits while its link reads.
    std::vector<std::thread> senders;
    for (int i = 0; i < links; ++i) {
        senders.emplace_back([&, i] { player.Send(flood, i); });
    }
    for (bool done = false; !done;) {
        done = true;
        for (auto& form : forms) {
            if (!form->memLines.Lines.empty() && form->memLines.Lines.back() == last) {
                continue;
            }
            done = false;
            form->Timer1Timer();
        }
        if (notices.count > 0) {
            break;
        }
    }
    for (std::thread& sender : senders) {
        sender.join();
    }
    const double seconds = Ms(start) / 1000.0;
    if (notices.count > 0) {
        std::fprintf(stderr, "%d boxes were raised, the last: %s\n", notices.count,
                     notices.last.c_str());
        return 1;
    }
    std::printf(
        "links=%d lines=%d lineBytes=%zu seconds=%.1f rssBeforeMiB=%.1f rssAfterMiB=%.1f "
        "peakMiB=%.1f rosterRows=%d messageRows=%d logLines=%zu\n",
        links, lines, lineBytes, seconds, MiB(rssBefore), MiB(StatusKib("VmRSS")),
        MiB(StatusKib("VmHWM")), forms[0]->ListaUtenti.RowCount(), forms[0]->listamymess.RowCount(),
        forms[0]->memLines.Lines.size());
    return 0;
}

// Many idle player links on one event loop: how much of each poll period the loop spends inside
// the links' polls, and how long an operator's click (a posted event) waits meanwhile.
//
//   link_load_bench [--links N] [--seconds S]
//
// Every link is connected to its own connection of one loopback player that sends nothing.
// Prints, as its last line:
//   links=<n> seconds=<s> polls=<n> pollsPerLinkPerSecond=<x> blockedFraction=<f>
//   pollMeanMs=<x> pollMaxMs=<x> clickP50Ms=<x> clickP95Ms=<x> clickMaxMs=<x>

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/DesktopEffects.h"
#include "core/Notices.h"
#include "link/TForm1.h"
#include "tests/support/LoopbackPeer.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Counts boxes instead of showing them: an idle link must raise none.
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

// A click: posted from another thread at an arbitrary moment, stamped when posted.
class ClickEvent : public QEvent {
public:
    static QEvent::Type Kind() {
        static const auto kind = static_cast<QEvent::Type>(QEvent::registerEventType());
        return kind;
    }
    ClickEvent() : QEvent(Kind()), posted(Clock::now()) {}
    Clock::time_point posted;
};

class ClickTarget : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == ClickEvent::Kind()) {
            latencies.push_back(Ms(Clock::now() - static_cast<ClickEvent*>(e)->posted));
            return true;
        }
        return QObject::event(e);
    }
    std::vector<double> latencies;
};

// Times every timer event delivered to the links' poll timers.
class TimingApplication : public QCoreApplication {
public:
    using QCoreApplication::QCoreApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        if (event->type() != QEvent::Timer || !pollTimers.count(receiver)) {
            return QCoreApplication::notify(receiver, event);
        }
        const auto start = Clock::now();
        const bool handled = QCoreApplication::notify(receiver, event);
        const auto spent = Clock::now() - start;
        if (measuring) {
            ++polls;
            inPolls += spent;
            longest = std::max(longest, spent);
        }
        return handled;
    }

    std::set<QObject*> pollTimers;
    bool measuring = false;
    long polls = 0;
    Clock::duration inPolls{};
    Clock::duration longest{};
};

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> args;
    for (int i = 1; i + 1 < argc; i += 2) {
        args[argv[i]] = argv[i + 1];
    }
    const int links = args.count("--links") ? std::atoi(args["--links"].c_str()) : 200;
    const double seconds = args.count("--seconds") ? std::atof(args["--seconds"].c_str()) : 10.0;

    TimingApplication app(argc, argv);
    CountingNotices notices;
    orvanta::DesktopEffects effects;
    orvanta::test::LoopbackPeer player;

    std::vector<std::unique_ptr<orvanta::link::TForm1>> forms;
    for (int i = 0; i < links; ++i) {
        auto form = std::make_unique<orvanta::link::TForm1>(
            orvanta::link::LinkEnvironment{notices, effects, [] { return std::string(); }});
        form->edServer.Text = "127.0.0.1";
        form->sePort.SetValue(player.Port());
        try {
            form->BtnConnectClick();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "link %d cannot connect: %s\n", i, e.what());
            return 1;
        }
        app.pollTimers.insert(&form->Timer1);
        forms.push_back(std::move(form));
    }
    if (!player.WaitForConnections(links)) {
        std::fprintf(stderr, "the player saw only %d connections\n", player.ConnectionCount());
        return 1;
    }

    // Clicks arrive every 20 to 60 ms, unrelated to the polls' rhythm.
    ClickTarget target;
    std::atomic<bool> clicking{true};
    std::thread operatorHand([&] {
        unsigned step = 12345;
        while (clicking) {
            step = step * 1103515245u + 12345u;
            std::this_thread::sleep_for(std::chrono::milliseconds(20 + (step >> 16) % 41));
            QCoreApplication::postEvent(&target, new ClickEvent);
        }
    });

    // One poll period to settle, then the measurement; the bounds are taken when the loop
    // gets to them, which under load is late.
    Clock::time_point start, end;
    QTimer::singleShot(500, [&] {
        app.measuring = true;
        start = Clock::now();
        target.latencies.clear();
        QTimer::singleShot(static_cast<int>(seconds * 1000), [&] {
            app.measuring = false;
            end = Clock::now();
            QCoreApplication::quit();
        });
    });
    app.exec();
    const double wallMs = Ms(end - start);
    clicking = false;
    operatorHand.join();

    if (notices.count > 0) {
        std::fprintf(stderr, "%d boxes were raised, the last: %s\n", notices.count,
                     notices.last.c_str());
        return 1;
    }
    std::printf(
        "links=%d seconds=%.1f polls=%ld pollsPerLinkPerSecond=%.2f blockedFraction=%.3f "
        "pollMeanMs=%.3f pollMaxMs=%.3f clickP50Ms=%.1f clickP95Ms=%.1f clickMaxMs=%.1f\n",
        links, wallMs / 1000.0, app.polls,
        static_cast<double>(app.polls) / links / (wallMs / 1000.0), Ms(app.inPolls) / wallMs,
        app.polls ? Ms(app.inPolls) / static_cast<double>(app.polls) : 0.0, Ms(app.longest),
        Percentile(target.latencies, 0.5), Percentile(target.latencies, 0.95),
        Percentile(target.latencies, 1.0));
    return 0;
}

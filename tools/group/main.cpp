#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "core/Descriptors.h"
#include "core/ExecutableFolder.h"
#include "tools/group/GroupTool.h"

namespace {

// Live progress only on a terminal; plain event lines into a file or a pipe.
bool OutputIsTerminal() {
#ifdef _WIN32
    return ::_isatty(::_fileno(stdout)) != 0;
#else
    return ::isatty(STDOUT_FILENO) == 1;
#endif
}

std::atomic<int> g_stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

extern "C" void AskToStop(int signal) {
    g_stopSignal.store(signal);
}

// SIGINT and SIGTERM (a terminal's ^C, systemd, cron, kill) stop the run in order instead of
// killing it mid-transfer; a reader that goes away (SIGPIPE) is a failed write, not a kill.
void HandleSignals() {
#ifdef _WIN32
    std::signal(SIGINT, AskToStop);
    std::signal(SIGTERM, AskToStop);
#else
    struct sigaction action {};
    action.sa_handler = AskToStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

}  // namespace

int main(int argc, char** argv) {
    HandleSignals();
    // One control connection, one FTP connection and its data connection per player, and the
    // file once per upload: a large group needs more than the usual soft limit.
    orvanta::RaiseOpenFileLimit();
    const orvanta::tools::GroupToolEnvironment environment{
        std::cout, std::cerr, OutputIsTerminal(), orvanta::ExecutableFolder, &g_stopSignal};
    return orvanta::tools::RunGroupTool(std::vector<std::string>(argv + 1, argv + argc),
                                        environment);
}

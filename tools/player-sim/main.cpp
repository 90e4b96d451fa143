// orvanta-player-sim: a simulated media player's control port.
#include <csignal>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <string>
#include <vector>

#include <sys/time.h>

#include "core/CommandLine.h"
#include "net/Socket.h"
#include "tools/player-sim/PlayerSimulator.h"

namespace {

orvanta::tools::PlayerSimulator* g_simulator = nullptr;

void OnSignal(int) {
    if (g_simulator) {
        g_simulator->Stop();
    }
}

// To the microsecond: benchmarks compare when several players received the same line.
std::string TimeStamp() {
    timeval now{};
    ::gettimeofday(&now, nullptr);
    tm local{};
    ::localtime_r(&now.tv_sec, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%06d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(now.tv_usec));
    return text;
}

// Control bytes are shown as \xNN so every received byte is visible.
std::string Visible(const std::string& line) {
    std::string out;
    for (unsigned char c : line) {
        if (c < 32 || c == 127) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

const orvanta::ProgramUsage kProgram{
    "orvanta-player-sim",
    "usage: orvanta-player-sim --port P [--name NAME] [--bind ADDRESS]\n"
    "       orvanta-player-sim --help | --version\n"
    "Plays a media player's control port for trying a set-up without hardware: prints every\n"
    "line received and answers with a status line, until interrupted.\n"
    "  --port P         the control port to listen on (1 to 65535)\n"
    "  --name NAME      the name in its answers and output (default player-P)\n"
    "  --bind ADDRESS   the address to listen on (default 127.0.0.1)\n"
    "Exit status: 0 stopped by a signal, 1 could not listen, 2 wrong arguments.\n"};

}  // namespace

int main(int argc, char** argv) {
    orvanta::CommandLine line;
    if (const auto status = orvanta::ParseCommandLine(
            kProgram, std::vector<std::string>(argv + 1, argv + argc),
            {{"--port", "--name", "--bind"}, {}}, line, std::cout, std::cerr)) {
        return *status;
    }
    if (!line.positional.empty()) {
        return orvanta::WrongArgument(kProgram, "unexpected argument '" + line.positional[0] + "'",
                                      std::cerr);
    }
    if (!line.Has("--port")) {
        return orvanta::WrongArgument(kProgram, "--port is needed", std::cerr);
    }
    const std::string value = line.Value("--port");
    if (value.empty() || value.size() > 5 ||
        value.find_first_not_of("0123456789") != std::string::npos || std::stoi(value) < 1 ||
        std::stoi(value) > 65535) {
        return orvanta::WrongArgument(
            kProgram, "port must be a number from 1 to 65535: '" + value + "'", std::cerr);
    }
    const int port = std::stoi(value);
    std::string name = line.Value("--name");
    const std::string bind = line.Value("--bind", "127.0.0.1");
    if (name.empty()) {
        name = "player-" + std::to_string(port);
    }
    try {
        orvanta::tools::PlayerSimulator simulator(name, orvanta::net::ResolveHost(bind),
                                                  static_cast<std::uint16_t>(port));
        simulator.SetObserver([&](int connection, const std::string& received) {
            std::cout << TimeStamp() << " [" << name << " #" << connection << "] "
                      << Visible(received) << std::endl;
        });
        g_simulator = &simulator;
        std::signal(SIGINT, OnSignal);
        std::signal(SIGTERM, OnSignal);
        std::cout << TimeStamp() << " [" << name << "] in ascolto su " << bind << ":" << port
                  << std::endl;
        simulator.Run();
    } catch (const std::exception& e) {
        std::cerr << "orvanta-player-sim: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

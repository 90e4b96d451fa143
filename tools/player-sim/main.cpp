// orvanta-player-sim: a simulated media player's control port.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <string>

#include <sys/time.h>

#include "net/Socket.h"
#include "tools/player-sim/PlayerSimulator.h"

namespace {

orvanta::tools::PlayerSimulator* g_simulator = nullptr;

void OnSignal(int) {
    if (g_simulator) {
        g_simulator->Stop();
    }
}

std::string TimeStamp() {
    timeval now{};
    ::gettimeofday(&now, nullptr);
    tm local{};
    ::localtime_r(&now.tv_sec, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(now.tv_usec / 1000));
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

int Usage() {
    std::cerr << "usage: orvanta-player-sim --port P [--name NAME] [--bind ADDRESS]\n"
                 "  Plays a media player's control port: prints every line received and\n"
                 "  answers with a status line. ADDRESS defaults to 127.0.0.1.\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int port = -1;
    std::string name;
    std::string bind = "127.0.0.1";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) {
            return Usage();
        }
        const std::string value = argv[++i];
        if (arg == "--port") {
            char* end = nullptr;
            long number = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || number < 1 || number > 65535) {
                std::cerr << "orvanta-player-sim: port must be a number from 1 to 65535: " << value
                          << "\n";
                return 2;
            }
            port = static_cast<int>(number);
        } else if (arg == "--name") {
            name = value;
        } else if (arg == "--bind") {
            bind = value;
        } else {
            return Usage();
        }
    }
    if (port < 0) {
        return Usage();
    }
    if (name.empty()) {
        name = "player-" + std::to_string(port);
    }
    try {
        orvanta::tools::PlayerSimulator simulator(name, orvanta::net::ResolveHost(bind),
                                                  static_cast<std::uint16_t>(port));
        simulator.SetObserver([&](int connection, const std::string& line) {
            std::cout << TimeStamp() << " [" << name << " #" << connection << "] " << Visible(line)
                      << std::endl;
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

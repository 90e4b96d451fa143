#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "net/Socket.h"

namespace orvanta::tools {

// The player's side of the control protocol, for trying a set-up without hardware: accepts
// any number of connections, reports every line received, and answers each one with a plain
// status line as a player would.
class PlayerSimulator {
public:
    // Called for every line received: connection number (from 1) and the line without its end.
    using LineObserver = std::function<void(int connection, const std::string& line)>;

    PlayerSimulator(const std::string& name, net::Ipv4 address, std::uint16_t port);

    std::uint16_t Port() const { return m_listener.LocalPort(); }
    void SetObserver(LineObserver observer) { m_observer = std::move(observer); }

    // Serves until Stop() is called (from a signal handler or another thread).
    void Run();
    void Stop() { m_stop = true; }

    // The status line answered to a received line; empty for no answer.
    static std::string AnswerFor(const std::string& name, const std::string& line);

private:
    std::string m_name;
    net::Socket m_listener;
    LineObserver m_observer;
    std::atomic<bool> m_stop{false};
};

}  // namespace orvanta::tools

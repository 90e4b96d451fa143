#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "net/Socket.h"

namespace orvanta::net {

// One TCP port's answer to a probe: whether a connection is taken, how long it took, and the
// first line the port sends within a short wait. Nothing is sent: a probe asks nothing of the
// peer.
struct PortAnswer {
    enum class Kind { Up, Refused, Silent, Failed };
    Kind kind = Kind::Silent;
    std::chrono::steady_clock::duration roundTrip{};
    // The first line it sent, trimmed, as it came (the caller makes it safe to show); empty
    // when none came.
    std::string greeting;
    // The failure's text (Kind::Failed, and Refused or Silent as the socket said it).
    std::string error;

    bool Up() const { return kind == Kind::Up; }
};

// How long a probe waits for a port's first line after the connection is made.
inline constexpr std::chrono::milliseconds kGreetingWait{500};

// Connects, takes the first line within kGreetingWait, and closes, all before the deadline; a
// stop flag that turns true ends it as silent.
PortAnswer ProbePort(const std::string& host, int port,
                     std::chrono::steady_clock::time_point deadline,
                     const StopFlag* stop = nullptr);

struct PortToProbe {
    std::string host;
    int port = 0;
};

// Every port probed at once, one thread each (in turn where no thread is left), all within the
// same deadline; the answers in the order of the ports.
std::vector<PortAnswer> ProbePorts(const std::vector<PortToProbe>& ports,
                                   std::chrono::steady_clock::time_point deadline,
                                   const StopFlag* stop = nullptr);

}  // namespace orvanta::net

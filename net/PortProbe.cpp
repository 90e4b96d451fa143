#include "net/PortProbe.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <system_error>
#include <thread>

#include "core/Text.h"
#include "net/SocketError.h"

namespace orvanta::net {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kGreetingBytes = 200;

std::int64_t MillisecondsLeft(Clock::time_point until) {
    return std::max<std::int64_t>(
        0, std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count());
}

}  // namespace

PortAnswer ProbePort(const std::string& host, int port, Clock::time_point deadline,
                     const StopFlag* stop) {
    PortAnswer answer;
    const auto began = Clock::now();
    Socket socket;
    try {
        if (MillisecondsLeft(deadline) == 0) {
            return answer;
        }
        socket =
            ConnectTcp(host, port, std::chrono::milliseconds(MillisecondsLeft(deadline)), stop);
    } catch (const Stopped&) {
        return answer;
    } catch (const SocketError& e) {
        answer.kind = e.Code() == kTimedOut            ? PortAnswer::Kind::Silent
                      : e.Code() == kConnectionRefused ? PortAnswer::Kind::Refused
                                                       : PortAnswer::Kind::Failed;
        answer.error = e.what();
        return answer;
    } catch (const std::exception& e) {
        answer.kind = PortAnswer::Kind::Failed;
        answer.error = e.what();
        return answer;
    }
    answer.kind = PortAnswer::Kind::Up;
    answer.roundTrip = Clock::now() - began;
    const auto greetBy = std::min(Clock::now() + kGreetingWait, deadline);
    std::string line;
    try {
        while (line.size() < kGreetingBytes && line.find_first_of("\r\n") == std::string::npos) {
            const auto wait = MillisecondsLeft(greetBy);
            if (wait == 0 || !socket.WaitReadable(static_cast<int>(wait), stop)) {
                break;
            }
            char piece[kGreetingBytes];
            const std::size_t got = socket.Receive(piece, kGreetingBytes - line.size());
            if (got == 0) {
                break;
            }
            line.append(piece, got);
        }
    } catch (const std::exception&) {
        // It answered; what it said, if anything, is all there is.
    }
    answer.greeting = Trimmed(line.substr(0, line.find_first_of("\r\n")));
    socket.Close();
    return answer;
}

std::vector<PortAnswer> ProbePorts(const std::vector<PortToProbe>& ports,
                                   Clock::time_point deadline, const StopFlag* stop) {
    std::vector<PortAnswer> answers(ports.size());
    std::vector<std::thread> threads;
    threads.reserve(ports.size());
    for (std::size_t i = 0; i < ports.size(); ++i) {
        auto probe = [&, i] {
            answers[i] = ProbePort(ports[i].host, ports[i].port, deadline, stop);
        };
        try {
            threads.emplace_back(probe);
        } catch (const std::system_error&) {
            probe();  // no thread left: this one waits its turn
        }
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return answers;
}

}  // namespace orvanta::net

#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orvanta::test {

// A TCP peer on 127.0.0.1 with a port of the system's choosing. It accepts any number of
// connections on a thread of its own, records every byte each one sends, and can push bytes,
// close gracefully, reset, or stop reading.
class LoopbackPeer {
public:
    LoopbackPeer();
    ~LoopbackPeer();
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    int Port() const { return m_port; }

    int ConnectionCount() const;
    bool WaitForConnections(int count,
                            std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    // Bytes received on connection index so far.
    std::string Received(int index = 0) const;
    // Waits until the bytes received on the connection are at least `bytes` long.
    bool WaitForBytes(std::size_t bytes, int index = 0,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // Whether the other end closed the connection (its read returned end of data).
    bool ClientClosed(int index = 0) const;
    bool WaitForClientClosed(int index = 0,
                             std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    void Send(const std::string& bytes, int index = 0);
    void Close(int index = 0);
    void Reset(int index = 0);
    // New and existing connections are no longer read from (the system's buffers fill up).
    void StopReading();

private:
    // Socket handles in a type that holds both platforms' (see PeerSocket.h); -1 for none.
    using Handle = std::intptr_t;

    struct Connection {
        Handle fd = -1;
        std::string received;
        bool clientClosed = false;
    };

    void Run();
    Handle FdOf(int index) const;

    Handle m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_reading{true};
    mutable std::mutex m_mutex;
    std::vector<Connection> m_connections;
    std::thread m_thread;
};

}  // namespace orvanta::test

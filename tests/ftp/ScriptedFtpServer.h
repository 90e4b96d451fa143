#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ftp/FtpClient.h"

namespace orvanta::ftp::test {

// A socket of the scripted server that closes itself. The handle is kept in a type that holds
// both platforms' (see tests/support/PeerSocket.h); -1 stands for none.
class Fd {
public:
    Fd() = default;
    explicit Fd(std::intptr_t fd) : m_fd(fd) {}
    ~Fd() { Close(); }
    Fd(Fd&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    std::intptr_t Get() const { return m_fd; }
    void Close() noexcept;

private:
    std::intptr_t m_fd = -1;
};

// The server's side of one control connection, driven step by step by a test's script. Every
// wait is bounded; a step that does not go as the script expects throws.
class ScriptedSession {
public:
    explicit ScriptedSession(Fd control, std::function<void(const std::string&)> record);

    // Sends bytes exactly as given.
    void Send(const std::string& bytes);
    // Sends a line followed by CR LF.
    void Reply(const std::string& line) { Send(line + "\r\n"); }
    // Sends the bytes again and again until the client closes the connection. Throws when the
    // client takes nothing for a step's time.
    void SendUntilClosed(const std::string& bytes);
    // The next line the client sent, without its CR LF.
    std::string Read();
    // Reads the next line and throws unless it equals the expected one.
    void Expect(const std::string& line);
    // Everything the client sends until it closes the control connection.
    std::string ReadUntilClosed();
    void Close() { m_control.Close(); }
    // Ends the control connection with a reset.
    void Reset();

    // The usual login exchange: 220, USER, 331, PASS, 230, TYPE I, 200, SYST, 215.
    void Login(const std::string& user = "orvanta", const std::string& password = "brindlemoss");

    // The usual start of a store: the PORT line answered with 200, "STOR name" with 150, then
    // the data connection opened to the announced port from the client's address.
    Fd AcceptStore(const std::string& name);
    // Opens a data connection from the given local address to the one a PORT line announced.
    static Fd ConnectData(const std::string& portLine, const std::string& from = "127.0.0.1");
    // Everything received on a data connection until the client's end of data (or a reset).
    // reset, when given, tells whether the client ended the data with a reset.
    static std::string ReceiveAll(const Fd& data, bool* reset = nullptr);
    // Receives a little, then resets the connection (the client's sends then fail).
    static std::string ReceiveSomeThenReset(Fd& data, std::size_t bytes);

private:
    Fd m_control;
    std::string m_buffer;
    std::function<void(const std::string&)> m_record;
};

// A one-connection FTP server on 127.0.0.1 that runs a script on its own thread. It records
// every line the client sends. When the script ends, normally or not, the control connection
// is closed, so a client waiting for a reply is never left hanging.
class ScriptedFtpServer {
public:
    using Script = std::function<void(ScriptedSession&)>;

    explicit ScriptedFtpServer(Script script);
    ~ScriptedFtpServer();
    ScriptedFtpServer(const ScriptedFtpServer&) = delete;
    ScriptedFtpServer& operator=(const ScriptedFtpServer&) = delete;

    int Port() const { return m_port; }
    // Waits for the script to end; returns why it failed, empty when it ran through.
    std::string Finish();
    std::vector<std::string> Commands() const;

private:
    Fd m_listener;
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_commands;
    std::string m_error;
    std::thread m_thread;
};

// Waits as long as a script step may wait.
inline constexpr std::chrono::seconds kStepTimeout{10};

// Points a client at the server with the account ScriptedSession::Login expects.
inline void Configure(FtpClient& client, const ScriptedFtpServer& server) {
    client.Host = "127.0.0.1";
    client.Port = server.Port();
    client.Username = "orvanta";
    client.Password = "brindlemoss";
}

}  // namespace orvanta::ftp::test

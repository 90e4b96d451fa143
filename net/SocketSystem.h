#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "net/Socket.h"

// The operating system's socket calls behind one set of signatures, so that everything else in
// this folder is shared. One file implements it for each platform. Calls that can fail return
// a negative value (or false) and leave the failure's code, in the socket error table's
// numbering, for LastError(); none of them raises.
namespace orvanta::net::os {

enum class Wait { Readable, Writable };

// Returns the calling thread's last socket failure as a table code.
int LastError();

// A TCP socket that child processes do not inherit; kNoSocket on failure.
SocketHandle OpenTcp();
void Close(SocketHandle handle) noexcept;

int Bind(SocketHandle handle, Ipv4 address, std::uint16_t port);
int Listen(SocketHandle handle, int backlog);
int Connect(SocketHandle handle, Ipv4 address, std::uint16_t port);
// The accepted connection is not inherited either.
SocketHandle Accept(SocketHandle listener, Ipv4* peer);
int LocalName(SocketHandle handle, Ipv4* address, std::uint16_t* port);
int PeerName(SocketHandle handle, Ipv4* address);
// The failure left on the socket by a connection attempt (SO_ERROR), 0 when none; a table
// code.
int PendingError(SocketHandle handle);

// Whether calls on the socket wait; a connection attempt on a socket that does not wait fails
// at once with kInProgress (POSIX) or kWouldBlock (Windows) and goes on in the background.
int SetBlocking(SocketHandle handle, bool blocking);
int SetNoDelay(SocketHandle handle, bool on);
// Lets a listener bind its port again while connections it had wait out their close.
int AllowPortReuse(SocketHandle handle);
// Closing afterwards sends a reset instead of the normal end.
int SetResetOnClose(SocketHandle handle);
int ShutdownSend(SocketHandle handle);

// 1: the wait condition (or an error or the peer's close) holds; 0: the time ran out;
// negative: failure. A negative wait means no limit.
int Poll(SocketHandle handle, Wait what, int milliseconds);

// Never raises a signal; a negative result is a failure.
std::ptrdiff_t Send(SocketHandle handle, const char* data, std::size_t size);
// The same, but takes only what fits without blocking (kWouldBlock when nothing fits).
std::ptrdiff_t SendNow(SocketHandle handle, const char* data, std::size_t size);
std::ptrdiff_t Receive(SocketHandle handle, char* data, std::size_t size);

// A dotted IPv4 address, without any lookup.
bool ParseDotted(const std::string& text, Ipv4* address);
// The system's lookup; the first IPv4 address found.
bool Lookup(const std::string& host, Ipv4* address);

}  // namespace orvanta::net::os

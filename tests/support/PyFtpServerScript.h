#pragma once

// The pyftpdlib server a test starts, shared by the POSIX fixture and the one under wine.
namespace orvanta::test {

// Binds the port, tells the parent the port on stdout once listening, then serves until
// killed. Each command line received is appended to the log file before it is handled. The
// quirks (PyFtpQuirks) come after the read limit.
// Given a lifeline port and a file as well (a parent that cannot kill it or read its output: a
// Windows test under wine), it connects to the lifeline first and ends as soon as that closes,
// and writes the port into the file instead.
inline const char* const kPyFtpServerScript = R"(
import logging, os, sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
logging.basicConfig(level=logging.WARNING)
home, user, password, port, log, read_limit, without, surplus = sys.argv[1:9]
without_size_mdtm_rest, size_surplus = without == "1", int(surplus)
if len(sys.argv) > 10:
    import socket, threading
    lifeline = socket.create_connection(("127.0.0.1", int(sys.argv[9])))
    def watch():
        while lifeline.recv(64):
            pass
        os._exit(0)
    threading.Thread(target=watch, daemon=True).start()
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, home, perm="elradfmwMT")
class Recording(FTPHandler):
    if without_size_mdtm_rest:
        # Commands it does not know are answered 500, and FEAT lists only those it knows.
        proto_cmds = {name: about for name, about in FTPHandler.proto_cmds.items()
                      if name not in ("SIZE", "MDTM", "REST")}
    def pre_process_command(self, line, cmd, arg):
        with open(log, "a", encoding="latin-1", errors="replace") as out:
            out.write(line + "\n")
        super().pre_process_command(line, cmd, arg)
    def ftp_SIZE(self, path):
        # A surplus makes it say it holds more than it does.
        if size_surplus and self.fs.isfile(path):
            self.respond("213 %d" % (self.fs.getsize(path) + size_surplus))
        else:
            super().ftp_SIZE(path)
handler = Recording
handler.authorizer = authorizer
if int(read_limit) > 0:
    import socket
    from pyftpdlib.handlers import ActiveDTP, ThrottledDTPHandler
    class Throttled(ThrottledDTPHandler):
        read_limit = int(read_limit)
        # Pauses after every chunk for as long as the chunk takes at the limit: an even pace
        # instead of a burst a second.
        def _throttle_bandwidth(self, len_chunk, max_speed):
            if len_chunk <= 0:
                return
            def unsleep():
                self.add_channel(events=self.ioloop.READ if self.receive else self.ioloop.WRITE)
            self.del_channel()
            self._cancel_throttler()
            self._throttler = self.ioloop.call_later(
                len_chunk / max_speed, unsleep, _errback=self.handle_error)
    class SmallWindow(ActiveDTP):
        # A small receive window, set before connecting, keeps what the sender counts as sent
        # close to what the server has read.
        def create_socket(self, family, type):
            super().create_socket(family, type)
            self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 65536)
    handler.dtp_handler = Throttled
    handler.active_dtp = SmallWindow
server = FTPServer(("127.0.0.1", int(port)), handler)
if len(sys.argv) <= 10:
    print(server.socket.getsockname()[1], flush=True)
else:
    with open(sys.argv[10] + ".partial", "w") as out:
        out.write("%d\n" % server.socket.getsockname()[1])
    os.rename(sys.argv[10] + ".partial", sys.argv[10])
server.serve_forever()
)";

}  // namespace orvanta::test

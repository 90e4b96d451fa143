#pragma once

#include <sys/types.h>
#include <string>

namespace orvanta::ftp::test {

// A real vsftpd on 127.0.0.1, run without its privileged features: it stays as the user who
// starts it and lets the anonymous user (no password asked, 230 on USER) store files in the
// home folder. The destructor stops it. With othersWrite the anonymous user may also overwrite,
// rename and delete files there (vsftpd's anon_other_write_enable), as a player's account can.
class VsFtpServer {
public:
    explicit VsFtpServer(const std::string& home, bool othersWrite = false);
    ~VsFtpServer();
    VsFtpServer(const VsFtpServer&) = delete;
    VsFtpServer& operator=(const VsFtpServer&) = delete;

    int Port() const { return m_port; }
    static const char* User() { return "anonymous"; }

private:
    void Stop() noexcept;

    pid_t m_pid = -1;
    int m_port = 0;
    std::string m_config;
};

}  // namespace orvanta::ftp::test

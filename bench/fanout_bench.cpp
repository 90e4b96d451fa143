// The fan-out upload on loopback: one file of M MiB to N real FTP servers (pyftpdlib) at once.
// Prints the time and the peak resident memory before and after, to show that memory does not
// grow with the file: run it with two sizes and compare. The last line is a summary of
// key=value pairs.
//
//   fanout_bench [--servers N] [--file-mib M]

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "ftp/FanOutUpload.h"
#include "tests/support/PyFtpServer.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    std::map<std::string, std::string> args;
    for (int i = 1; i + 1 < argc; i += 2) {
        args[argv[i]] = argv[i + 1];
    }
    const int servers = args.count("--servers") ? std::atoi(args["--servers"].c_str()) : 8;
    const long fileMib = args.count("--file-mib") ? std::atol(args["--file-mib"].c_str()) : 64;
    if (servers < 1 || fileMib < 1) {
        std::fprintf(stderr, "usage: %s [--servers N] [--file-mib M]\n", argv[0]);
        return 2;
    }
    char pattern[] = "/tmp/orvanta-fanout-bench-XXXXXX";
    if (!::mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path dir = pattern;
    int status = 0;
    try {
        // Written a piece at a time, so the benchmark itself never holds the file.
        const fs::path file = dir / "clip.bin";
        {
            std::ofstream out(file, std::ios::binary);
            std::vector<char> piece(1 << 20);
            for (long m = 0; m < fileMib; ++m) {
                for (std::size_t i = 0; i < piece.size(); ++i) {
                    piece[i] = static_cast<char>((i * 131 + static_cast<std::size_t>(m)) & 0xFF);
                }
                out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
            }
        }
        std::vector<std::unique_ptr<orvanta::test::PyFtpServer>> running;
        std::vector<std::unique_ptr<orvanta::ftp::FtpClient>> clients;
        std::vector<orvanta::ftp::FtpClient*> targets;
        for (int i = 0; i < servers; ++i) {
            const fs::path home = dir / ("home" + std::to_string(i));
            fs::create_directory(home);
            running.push_back(
                std::make_unique<orvanta::test::PyFtpServer>(home.string(), "orvanta", "brindlemoss"));
            clients.push_back(std::make_unique<orvanta::ftp::FtpClient>());
            clients.back()->Host = "127.0.0.1";
            clients.back()->Port = running.back()->Port();
            clients.back()->Username = "orvanta";
            clients.back()->Password = "brindlemoss";
            targets.push_back(clients.back().get());
        }
        const long rssBefore = orvanta::bench::StatusKib("VmHWM");
        const auto start = orvanta::bench::Clock::now();
        int failed = 0;
        {
            orvanta::ftp::FanOutUpload upload(file.string(), "clip.bin", targets,
                                              orvanta::ftp::FanOutUpload::Login::First);
            upload.Wait();
            for (const auto& s : upload.Statuses()) {
                if (s.stage != orvanta::ftp::FanOutUpload::Stage::Done) {
                    std::fprintf(stderr, "fanout_bench: upload failed: %s\n", s.error.c_str());
                    ++failed;
                }
            }
        }
        const double seconds = orvanta::bench::Ms(start) / 1000.0;
        const long rssAfter = orvanta::bench::StatusKib("VmHWM");
        for (int i = 0; i < servers; ++i) {
            std::error_code error;
            const auto size = fs::file_size(dir / ("home" + std::to_string(i)) / "clip.bin", error);
            if (error || size != static_cast<std::uintmax_t>(fileMib) << 20) {
                std::fprintf(stderr, "fanout_bench: server %d stored %ju bytes\n", i,
                             static_cast<std::uintmax_t>(error ? 0 : size));
                ++failed;
            }
        }
        const double mib = static_cast<double>(fileMib) * servers;
        std::printf("servers=%d file_mib=%ld seconds=%.3f MiBps=%.1f peak_rss_kib_before=%ld "
                    "peak_rss_kib_after=%ld failed=%d\n",
                    servers, fileMib, seconds, mib / seconds, rssBefore, rssAfter, failed);
        status = failed == 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fanout_bench: %s\n", e.what());
        status = 1;
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return status;
}

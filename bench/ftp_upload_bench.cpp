// Logs in to an FTP server, uploads one file with the project's client and prints, as its
// last line, "bytes=<n> seconds=<s> MiBps=<x>".
//
//   ftp_upload_bench --host H --port P --user U --password W --file F [--name N]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <map>
#include <string>

#include "ftp/FileSource.h"
#include "ftp/FtpClient.h"

int main(int argc, char** argv) {
    std::map<std::string, std::string> args;
    for (int i = 1; i + 1 < argc; i += 2) {
        args[argv[i]] = argv[i + 1];
    }
    for (const char* required : {"--host", "--port", "--user", "--password", "--file"}) {
        if (!args.count(required)) {
            std::fprintf(stderr,
                         "usage: %s --host H --port P --user U --password W --file F [--name N]\n",
                         argv[0]);
            return 2;
        }
    }
    const std::string name = args.count("--name")
                                 ? args["--name"]
                                 : std::filesystem::path(args["--file"]).filename().string();
    try {
        orvanta::ftp::FtpClient client;
        client.Host = args["--host"];
        client.Port = std::atoi(args["--port"].c_str());
        client.Username = args["--user"];
        client.Password = args["--password"];
        std::int64_t bytes = 0;
        client.OnWork = [&](orvanta::ftp::FtpClient&, orvanta::ftp::WorkMode, std::int64_t count) {
            bytes = count;
        };
        client.ConnectAndLogin();
        orvanta::ftp::FileSource source(args["--file"]);
        const auto start = std::chrono::steady_clock::now();
        client.UploadStream(source, name);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("bytes=%lld seconds=%.3f MiBps=%.1f\n", static_cast<long long>(bytes), seconds,
                    seconds > 0 ? static_cast<double>(bytes) / (1024.0 * 1024.0) / seconds : 0.0);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "upload failed: %s\n", e.what());
        return 1;
    }
    return 0;
}

#include "tests/support/ProgramRun.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tests/support/Wait.h"

extern char** environ;

namespace orvanta::test {

namespace {

std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

ProgramResult RunProgram(const std::string& path, const std::vector<std::string>& args,
                         std::chrono::milliseconds timeout) {
    // Output goes to files, so a program writing much never blocks on a full pipe.
    static std::atomic<int> counter{0};
    const std::filesystem::path base =
        std::filesystem::temp_directory_path() /
        ("orvanta-run-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    const std::filesystem::path outFile = base.string() + ".out";
    const std::filesystem::path errFile = base.string() + ".err";

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("cannot start " + path);
    }

    int raw = 0;
    const bool ended = WaitUntil([&] { return ::waitpid(pid, &raw, WNOHANG) == pid; }, timeout);
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &raw, 0);
    }
    ProgramResult result;
    result.status = ended && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = ReadAll(outFile);
    result.err = ReadAll(errFile);
    std::error_code ignored;
    std::filesystem::remove(outFile, ignored);
    std::filesystem::remove(errFile, ignored);
    return result;
}

}  // namespace orvanta::test

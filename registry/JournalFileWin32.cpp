#include <windows.h>

#include "core/Failure.h"
#include "core/SystemErrorText.h"
#include "registry/JournalFile.h"

namespace orvanta::registry {

namespace {

[[noreturn]] void Fail(const std::string& path, DWORD error) {
    throw Failure("Cannot write the journal \"" + path + "\": " + SystemErrorText(error) + ".");
}

// The handle, unlocked and closed on scope exit.
struct Handle {
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool locked = false;
    OVERLAPPED lockAt{};
    ~Handle() {
        if (locked) {
            ::UnlockFileEx(handle, 0, 1, 0, &lockAt);
        }
        if (handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle);
        }
    }
};

}  // namespace

void AppendJournalLine(const std::string& path, const std::string& line) {
    Handle file;
    // Append access without write access: every write lands at the end as it is at that moment.
    file.handle = ::CreateFileA(path.c_str(), FILE_READ_DATA | FILE_APPEND_DATA | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file.handle == INVALID_HANDLE_VALUE) {
        Fail(path, ::GetLastError());
    }
    // Writers lock one byte far beyond any journal's end: a lock on Windows also stops reads of
    // its range, and readers must never wait.
    file.lockAt.Offset = 0;
    file.lockAt.OffsetHigh = 0x7FFFFFFF;
    if (!::LockFileEx(file.handle, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &file.lockAt)) {
        Fail(path, ::GetLastError());
    }
    file.locked = true;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.handle, &size)) {
        Fail(path, ::GetLastError());
    }
    std::string bytes;
    if (size.QuadPart > 0) {
        OVERLAPPED at{};
        const ULONGLONG lastByte = static_cast<ULONGLONG>(size.QuadPart - 1);
        at.Offset = static_cast<DWORD>(lastByte & 0xFFFFFFFF);
        at.OffsetHigh = static_cast<DWORD>(lastByte >> 32);
        char last = '\n';
        DWORD read = 0;
        if (::ReadFile(file.handle, &last, 1, &read, &at) && read == 1 && last != '\n') {
            bytes = "\n";
        }
    }
    bytes += line;
    // At the end, whatever the handle's position after the read above.
    OVERLAPPED end{};
    end.Offset = 0xFFFFFFFF;
    end.OffsetHigh = 0xFFFFFFFF;
    DWORD written = 0;
    if (!::WriteFile(file.handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, &end)) {
        Fail(path, ::GetLastError());
    }
    if (written != bytes.size()) {
        Fail(path, ERROR_DISK_FULL);
    }
}

}  // namespace orvanta::registry

// The upload source on Windows: CreateFile for shared reading, GetFullPathName for the path the
// operator reads, with the system's text for a failure.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "core/Failure.h"
#include "core/SystemErrorText.h"
#include "ftp/FileSource.h"

namespace orvanta::ftp {

namespace {

HANDLE Native(std::intptr_t file) {
    return reinterpret_cast<HANDLE>(file);
}

[[noreturn]] void ThrowCannotOpen(const std::string& path, DWORD error) {
    // "Cannot open file \"%s\". %s", filled piecewise: a path may itself hold "%s".
    throw Failure("Cannot open file \"" + FullPath(path) + "\". " + SystemErrorText(error));
}

}  // namespace

std::string FullPath(const std::string& path) {
    // An empty path expands to nothing: the operator reads an empty name between the quotes.
    if (path.empty()) {
        return path;
    }
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()),
                                                buffer.data(), nullptr);
        if (length == 0) {
            return path;
        }
        if (length < buffer.size()) {
            return std::string(buffer.data(), length);
        }
        buffer.resize(length);
    }
}

FileSource::FileSource(const std::string& path) {
    RefuseNulInPath(path);
    // Others may go on reading and writing the file; deleting or renaming it is not shared.
    const HANDLE file =
        ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ThrowCannotOpen(path, ::GetLastError());
    }
    m_file = reinterpret_cast<std::intptr_t>(file);
}

FileSource::~FileSource() {
    if (m_file != kNoFile) {
        ::CloseHandle(Native(m_file));
    }
}

std::int64_t FileSource::Size() {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(Native(m_file), &size)) {
        return 0;
    }
    return static_cast<std::int64_t>(size.QuadPart);
}

void FileSource::Rewind() {
    LARGE_INTEGER start{};
    ::SetFilePointerEx(Native(m_file), start, nullptr, FILE_BEGIN);
}

void FileSource::Seek(std::int64_t offset) {
    LARGE_INTEGER at{};
    at.QuadPart = offset;
    ::SetFilePointerEx(Native(m_file), at, nullptr, FILE_BEGIN);
}

std::size_t FileSource::Read(char* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(Native(m_file), buffer + done, want, &got, nullptr) || got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

}  // namespace orvanta::ftp

#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "core/Failure.h"
#include "ftp/FtpClient.h"
#include "tests/support/FailureOf.h"

namespace orvanta::ftp::test {

// An upload source over bytes in memory.
class StringSource : public UploadSource {
public:
    explicit StringSource(std::string bytes) : m_bytes(std::move(bytes)) {}
    std::int64_t Size() override { return static_cast<std::int64_t>(m_bytes.size()); }
    void Rewind() override { m_at = 0; }
    std::size_t Read(char* buffer, std::size_t size) override {
        const std::size_t n = std::min(size, m_bytes.size() - m_at);
        std::memcpy(buffer, m_bytes.data() + m_at, n);
        m_at += n;
        return n;
    }

private:
    std::string m_bytes;
    std::size_t m_at = 0;
};

// A source of any size whose bytes are all zero, held nowhere.
class ZeroSource : public UploadSource {
public:
    explicit ZeroSource(std::int64_t size) : m_size(size) {}
    std::int64_t Size() override { return m_size; }
    void Rewind() override { m_at = 0; }
    std::size_t Read(char* buffer, std::size_t size) override {
        const auto n = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(size), m_size - m_at));
        std::memset(buffer, 0, n);
        m_at += static_cast<std::int64_t>(n);
        return n;
    }

private:
    std::int64_t m_size;
    std::int64_t m_at = 0;
};

// Bytes that differ from offset to offset, so a piece sent twice or out of order shows.
inline std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
    }
    return bytes;
}

// The message of the failure the call raises, or "succeeded".
template <class Call>
std::string FailureOf(Call&& call) {
    const std::string failure = orvanta::test::FailureOf(call);
    return failure.empty() ? "succeeded" : failure;
}

}  // namespace orvanta::ftp::test

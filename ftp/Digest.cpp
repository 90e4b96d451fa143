#include "ftp/Digest.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

#include "core/Failure.h"
#include "core/Text.h"

namespace orvanta::ftp {

namespace {

constexpr std::size_t kReadPiece = 65536;

std::uint32_t RotateLeft(std::uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}
std::uint32_t RotateRight(std::uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

void PutWord(std::string& out, std::uint32_t x, bool bigEndian) {
    for (int i = 0; i < 4; ++i) {
        const int shift = bigEndian ? 8 * (3 - i) : 8 * i;
        out += static_cast<char>((x >> shift) & 0xFF);
    }
}

class Hasher {
public:
    virtual ~Hasher() = default;
    virtual void Update(const unsigned char* data, std::size_t size) = 0;
    // The digest's bytes, in the order they are written out.
    virtual std::string Final() = 0;
};

// What MD5 and the SHA family share: 64-byte blocks, padded with 0x80, zeros and the length in
// bits, little-endian (MD5) or big-endian (SHA).
class BlockHasher : public Hasher {
public:
    void Update(const unsigned char* data, std::size_t size) override {
        m_length += size;
        while (size > 0) {
            const std::size_t take = std::min(size, m_block.size() - m_filled);
            std::copy(data, data + take, m_block.begin() + static_cast<std::ptrdiff_t>(m_filled));
            m_filled += take;
            data += take;
            size -= take;
            if (m_filled == m_block.size()) {
                Compress(m_block.data());
                m_filled = 0;
            }
        }
    }

protected:
    virtual void Compress(const unsigned char* block) = 0;

    void Pad(bool bigEndian) {
        const std::uint64_t bits = static_cast<std::uint64_t>(m_length) * 8;
        const unsigned char one = 0x80;
        Update(&one, 1);
        const unsigned char zero = 0;
        while (m_filled != 56) {
            Update(&zero, 1);
        }
        unsigned char length[8];
        for (int i = 0; i < 8; ++i) {
            const int shift = bigEndian ? 8 * (7 - i) : 8 * i;
            length[i] = static_cast<unsigned char>(bits >> shift);
        }
        Update(length, 8);
    }

    static std::uint32_t Big(const unsigned char* p) {
        return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
               (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
    }
    static std::uint32_t Little(const unsigned char* p) {
        return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
               (std::uint32_t{p[3]} << 24);
    }
    // Pads the last block and writes the state's words out as the digest's bytes.
    template <std::size_t N>
    std::string Finish(bool bigEndian, const std::array<std::uint32_t, N>& state) {
        Pad(bigEndian);
        std::string out;
        for (std::uint32_t x : state) {
            PutWord(out, x, bigEndian);
        }
        return out;
    }

private:
    std::array<unsigned char, 64> m_block{};
    std::size_t m_filled = 0;
    std::uint64_t m_length = 0;
};

class Md5 : public BlockHasher {
public:
    std::string Final() override { return Finish(false, m_h); }

private:
    void Compress(const unsigned char* block) override {
        static const std::array<std::uint32_t, 64> k = [] {
            std::array<std::uint32_t, 64> table{};
            for (std::size_t i = 0; i < table.size(); ++i) {
                table[i] = static_cast<std::uint32_t>(
                    std::floor(std::fabs(std::sin(static_cast<double>(i + 1))) * 4294967296.0));
            }
            return table;
        }();
        static const int shifts[4][4] = {
            {7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
        std::uint32_t m[16];
        for (int i = 0; i < 16; ++i) {
            m[i] = Little(block + 4 * i);
        }
        std::uint32_t a = m_h[0], b = m_h[1], c = m_h[2], d = m_h[3];
        for (int i = 0; i < 64; ++i) {
            std::uint32_t f = 0;
            int g = 0;
            if (i < 16) {
                f = (b & c) | (~b & d);
                g = i;
            } else if (i < 32) {
                f = (d & b) | (~d & c);
                g = (5 * i + 1) % 16;
            } else if (i < 48) {
                f = b ^ c ^ d;
                g = (3 * i + 5) % 16;
            } else {
                f = c ^ (b | ~d);
                g = (7 * i) % 16;
            }
            f += a + k[static_cast<std::size_t>(i)] + m[g];
            a = d;
            d = c;
            c = b;
            b += RotateLeft(f, shifts[i / 16][i % 4]);
        }
        m_h[0] += a;
        m_h[1] += b;
        m_h[2] += c;
        m_h[3] += d;
    }

    std::array<std::uint32_t, 4> m_h{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
};

class Sha1 : public BlockHasher {
public:
    std::string Final() override { return Finish(true, m_h); }

private:
    void Compress(const unsigned char* block) override {
        std::uint32_t w[80];
        for (int i = 0; i < 16; ++i) {
            w[i] = Big(block + 4 * i);
        }
        for (int i = 16; i < 80; ++i) {
            w[i] = RotateLeft(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        }
        std::uint32_t a = m_h[0], b = m_h[1], c = m_h[2], d = m_h[3], e = m_h[4];
        for (int i = 0; i < 80; ++i) {
            std::uint32_t f = 0;
            std::uint32_t k = 0;
            if (i < 20) {
                f = (b & c) | (~b & d);
                k = 0x5A827999;
            } else if (i < 40) {
                f = b ^ c ^ d;
                k = 0x6ED9EBA1;
            } else if (i < 60) {
                f = (b & c) | (b & d) | (c & d);
                k = 0x8F1BBCDC;
            } else {
                f = b ^ c ^ d;
                k = 0xCA62C1D6;
            }
            const std::uint32_t t = RotateLeft(a, 5) + f + e + k + w[i];
            e = d;
            d = c;
            c = RotateLeft(b, 30);
            b = a;
            a = t;
        }
        m_h[0] += a;
        m_h[1] += b;
        m_h[2] += c;
        m_h[3] += d;
        m_h[4] += e;
    }

    std::array<std::uint32_t, 5> m_h{0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
};

// The first 32 bits of the fractional part of the root of each of the first primes.
template <std::size_t N>
std::array<std::uint32_t, N> RootFractions(bool cube) {
    std::array<std::uint32_t, N> table{};
    std::size_t found = 0;
    for (int n = 2; found < N; ++n) {
        bool prime = true;
        for (int d = 2; d * d <= n; ++d) {
            prime = prime && n % d != 0;
        }
        if (prime) {
            const long double root = cube ? std::cbrt(static_cast<long double>(n))
                                          : std::sqrt(static_cast<long double>(n));
            table[found++] = static_cast<std::uint32_t>((root - std::floor(root)) * 4294967296.0L);
        }
    }
    return table;
}

class Sha256 : public BlockHasher {
public:
    std::string Final() override { return Finish(true, m_h); }

private:
    void Compress(const unsigned char* block) override {
        static const std::array<std::uint32_t, 64> k = RootFractions<64>(true);
        std::uint32_t w[64];
        for (int i = 0; i < 16; ++i) {
            w[i] = Big(block + 4 * i);
        }
        for (int i = 16; i < 64; ++i) {
            const std::uint32_t s0 =
                RotateRight(w[i - 15], 7) ^ RotateRight(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const std::uint32_t s1 =
                RotateRight(w[i - 2], 17) ^ RotateRight(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::uint32_t a = m_h[0], b = m_h[1], c = m_h[2], d = m_h[3];
        std::uint32_t e = m_h[4], f = m_h[5], g = m_h[6], h = m_h[7];
        for (int i = 0; i < 64; ++i) {
            const std::uint32_t s1 = RotateRight(e, 6) ^ RotateRight(e, 11) ^ RotateRight(e, 25);
            const std::uint32_t choose = (e & f) ^ (~e & g);
            const std::uint32_t t1 = h + s1 + choose + k[static_cast<std::size_t>(i)] + w[i];
            const std::uint32_t s0 = RotateRight(a, 2) ^ RotateRight(a, 13) ^ RotateRight(a, 22);
            const std::uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + s0 + majority;
        }
        const std::uint32_t add[8] = {a, b, c, d, e, f, g, h};
        for (std::size_t i = 0; i < 8; ++i) {
            m_h[i] += add[i];
        }
    }

    std::array<std::uint32_t, 8> m_h = RootFractions<8>(false);
};

// CRC-32 as zlib, Ethernet and XCRC compute it (reflected polynomial 0xEDB88320).
class Crc32 : public Hasher {
public:
    void Update(const unsigned char* data, std::size_t size) override {
        static const std::array<std::uint32_t, 256> table = [] {
            std::array<std::uint32_t, 256> t{};
            for (std::uint32_t n = 0; n < 256; ++n) {
                std::uint32_t c = n;
                for (int bit = 0; bit < 8; ++bit) {
                    c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
                }
                t[n] = c;
            }
            return t;
        }();
        for (std::size_t i = 0; i < size; ++i) {
            m_crc = table[(m_crc ^ data[i]) & 0xFF] ^ (m_crc >> 8);
        }
    }
    std::string Final() override {
        std::string out;
        PutWord(out, m_crc ^ 0xFFFFFFFFu, true);
        return out;
    }

private:
    std::uint32_t m_crc = 0xFFFFFFFFu;
};

std::unique_ptr<Hasher> MakeHasher(DigestAlgorithm algorithm) {
    switch (algorithm) {
        case DigestAlgorithm::Sha256:
            return std::make_unique<Sha256>();
        case DigestAlgorithm::Sha1:
            return std::make_unique<Sha1>();
        case DigestAlgorithm::Md5:
            return std::make_unique<Md5>();
        case DigestAlgorithm::Crc32:
            break;
    }
    return std::make_unique<Crc32>();
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 0x0F];
    }
    return hex;
}

}  // namespace

std::string DigestName(DigestAlgorithm algorithm) {
    switch (algorithm) {
        case DigestAlgorithm::Sha256:
            return "SHA-256";
        case DigestAlgorithm::Sha1:
            return "SHA-1";
        case DigestAlgorithm::Md5:
            return "MD5";
        case DigestAlgorithm::Crc32:
            break;
    }
    return "CRC32";
}

std::optional<DigestAlgorithm> DigestNamed(const std::string& name) {
    for (DigestAlgorithm algorithm : {DigestAlgorithm::Sha256, DigestAlgorithm::Sha1,
                                      DigestAlgorithm::Md5, DigestAlgorithm::Crc32}) {
        if (EqualsIgnoreCaseAscii(name, DigestName(algorithm))) {
            return algorithm;
        }
    }
    return std::nullopt;
}

std::string HexDigest(DigestAlgorithm algorithm, UploadSource& source, std::int64_t size) {
    const auto hasher = MakeHasher(algorithm);
    const auto buffer = std::make_unique<char[]>(kReadPiece);
    source.Rewind();
    for (std::int64_t left = size; left > 0;) {
        const std::size_t piece = static_cast<std::size_t>(
            std::min<std::int64_t>(left, static_cast<std::int64_t>(kReadPiece)));
        const std::size_t read = std::min(source.Read(buffer.get(), piece), piece);
        if (read == 0) {
            throw Failure("No data to read.");
        }
        hasher->Update(reinterpret_cast<const unsigned char*>(buffer.get()), read);
        left -= static_cast<std::int64_t>(read);
    }
    return Hex(hasher->Final());
}

std::string HexDigest(DigestAlgorithm algorithm, const std::string& bytes) {
    const auto hasher = MakeHasher(algorithm);
    hasher->Update(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return Hex(hasher->Final());
}

}  // namespace orvanta::ftp

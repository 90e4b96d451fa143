#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ftp/FtpClient.h"

namespace orvanta::ftp {

// The digests a server may be asked for (HASH, XMD5, XCRC), computed here over the local file
// to compare with the server's.
enum class DigestAlgorithm { Sha256, Sha1, Md5, Crc32 };

// The algorithm's name as HASH spells it: "SHA-256", "SHA-1", "MD5", "CRC32".
std::string DigestName(DigestAlgorithm algorithm);
// The algorithm a HASH name stands for, in any letter case; nothing for one not known here.
std::optional<DigestAlgorithm> DigestNamed(const std::string& name);

// The digest, in lower-case hexadecimal, of the source's first size bytes, read piece by piece
// through one small buffer (never the whole file at once). Fails with "No data to read." when
// the source ends before size bytes.
std::string HexDigest(DigestAlgorithm algorithm, UploadSource& source, std::int64_t size);
// The same over bytes in memory.
std::string HexDigest(DigestAlgorithm algorithm, const std::string& bytes);

}  // namespace orvanta::ftp

#include "ftp/Digest.h"

#include <gtest/gtest.h>

#include "tests/ftp/TestSources.h"

namespace orvanta::ftp {
namespace {

using test::StringSource;

// Published answers for each algorithm, among them a message that fills a block exactly to
// where the length goes (56 bytes) and one that spans many of the reader's pieces.
TEST(DigestTest, knownAnswersInMemoryAndReadPieceByPiece) {
    const std::string fox = "The quick brown fox jumps over the lazy dog";
    const std::string block = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    const std::string million(1000000, 'a');
    struct Case {
        DigestAlgorithm algorithm;
        const std::string* message;
        const char* hex;
    };
    const std::string empty;
    const std::string abc = "abc";
    const std::string digits = "123456789";
    const Case cases[] = {
        {DigestAlgorithm::Md5, &empty, "d41d8cd98f00b204e9800998ecf8427e"},
        {DigestAlgorithm::Md5, &abc, "900150983cd24fb0d6963f7d28e17f72"},
        {DigestAlgorithm::Md5, &fox, "9e107d9d372bb6826bd81d3542a419d6"},
        {DigestAlgorithm::Md5, &block, "8215ef0796a20bcaaae116d3876c664a"},
        {DigestAlgorithm::Md5, &million, "7707d6ae4e027c70eea2a935c2296f21"},
        {DigestAlgorithm::Sha1, &empty, "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {DigestAlgorithm::Sha1, &abc, "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {DigestAlgorithm::Sha1, &block, "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {DigestAlgorithm::Sha1, &million, "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {DigestAlgorithm::Sha256, &empty,
         "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {DigestAlgorithm::Sha256, &abc,
         "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {DigestAlgorithm::Sha256, &block,
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {DigestAlgorithm::Sha256, &million,
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {DigestAlgorithm::Crc32, &empty, "00000000"},
        {DigestAlgorithm::Crc32, &digits, "cbf43926"},
        {DigestAlgorithm::Crc32, &fox, "414fa339"},
        {DigestAlgorithm::Crc32, &million, "dc25bfbc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(DigestName(c.algorithm) + " of " + std::to_string(c.message->size()) +
                     " bytes");
        EXPECT_EQ(HexDigest(c.algorithm, *c.message), c.hex);
        StringSource source(*c.message);
        EXPECT_EQ(HexDigest(c.algorithm, source, static_cast<std::int64_t>(c.message->size())),
                  c.hex);
    }
}

TEST(DigestTest, aSourceDigestCoversOnlyTheSizeAskedAndFailsWhenTheSourceIsShort) {
    const std::string bytes = test::Pattern(200000);
    StringSource source(bytes);
    // Read from wherever the source stands: the digest starts at its first byte.
    char skip[100];
    source.Read(skip, sizeof skip);
    EXPECT_EQ(HexDigest(DigestAlgorithm::Sha256, source, 150000),
              HexDigest(DigestAlgorithm::Sha256, bytes.substr(0, 150000)));
    EXPECT_EQ(test::FailureOf([&] { HexDigest(DigestAlgorithm::Md5, source, 200001); }),
              "No data to read.");
}

TEST(DigestTest, namesAsHashSpellsThem) {
    EXPECT_EQ(DigestNamed("sha-256"), DigestAlgorithm::Sha256);
    EXPECT_EQ(DigestNamed("SHA-1"), DigestAlgorithm::Sha1);
    EXPECT_EQ(DigestNamed("md5"), DigestAlgorithm::Md5);
    EXPECT_EQ(DigestNamed("CRC32"), DigestAlgorithm::Crc32);
    EXPECT_EQ(DigestNamed("SHA-512"), std::nullopt);
}

}  // namespace
}  // namespace orvanta::ftp

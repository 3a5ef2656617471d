// MD5 and HMAC-MD5 against published vectors and digests computed by an independent implementation.
#include "crypto/md5.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "support/hex.h"

namespace zendor::crypto {
namespace {

using test::fromHex;
using test::toHex;

std::span<const uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// Bytes i & 0xFF, i = 0 .. count - 1.
std::vector<uint8_t> counting(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<uint8_t>(i & 0xFF);
    }
    return bytes;
}

// The digest of message fed to md5Update in pieces of at most `piece` bytes (0: in one piece).
std::string digestInPieces(std::span<const uint8_t> message, size_t piece) {
    CryptoContext context;
    std::array<uint8_t, kDigestSize> digest{};
    EXPECT_TRUE(md5Init(context));
    if (piece == 0) {
        piece = message.size() + 1;
    }
    for (size_t at = 0; at < message.size(); at += piece) {
        EXPECT_TRUE(md5Update(context, message.subspan(at, std::min(piece, message.size() - at))));
    }
    EXPECT_TRUE(md5Final(context, digest));
    return toHex(digest);
}

std::string hmac(std::span<const uint8_t> key, std::span<const uint8_t> message) {
    CryptoContext context;
    std::array<uint8_t, kDigestSize> mac{};
    EXPECT_TRUE(hmacMd5Begin(context, key));
    EXPECT_TRUE(md5Update(context, message));
    EXPECT_TRUE(hmacMd5End(context, mac, key));
    return toHex(mac);
}

TEST(Md5Test, Rfc1321TestSuite) {
    struct Case {
        std::string_view message;
        std::string_view digest;
    };
    constexpr Case kCases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
         "0",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const Case& c : kCases) {
        EXPECT_EQ(digestInPieces(bytesOf(c.message), 0), c.digest) << '"' << c.message << '"';
    }
}

// Lengths around the padding boundary (56 bytes modulo 64 needs one more block), whole and in
// pieces that split blocks at every kind of place. Digests from Python's hashlib.
TEST(Md5Test, PaddingBoundariesWholeAndInPieces) {
    struct Case {
        size_t length;
        std::string_view digest;
    };
    constexpr Case kCases[] = {
        {0, "d41d8cd98f00b204e9800998ecf8427e"},   {55, "6912ee65fff2d9f9ce2508cddf8bcda0"},
        {56, "51fdd1acda72405dfdfa03fcb85896d7"},  {63, "48a6295221902e8e0938f773a7185e72"},
        {64, "b2d3f56bc197fd985d5965079b5e7148"},  {65, "8bd7053801c768420faf816fadba971c"},
        {119, "1c772251899a7ff007400b888d6b2042"}, {120, "b7ba1efc6022e9ed272f00b8831e26e6"},
        {512, "f5c8e3c31c044bae0e65569560b54332"},
    };
    constexpr size_t kPieces[] = {0, 1, 7, 55, 63, 64, 65};
    for (const Case& c : kCases) {
        const std::vector<uint8_t> message = counting(c.length);
        for (size_t piece : kPieces) {
            EXPECT_EQ(digestInPieces(message, piece), c.digest)
                << c.length << " bytes in pieces of " << piece;
        }
    }
}

TEST(Md5Test, ContextCanBeReused) {
    CryptoContext context;
    std::array<uint8_t, kDigestSize> digest{};
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(md5Init(context));
        ASSERT_TRUE(md5Update(context, bytesOf("abc")));
        ASSERT_TRUE(md5Final(context, digest));
        EXPECT_EQ(toHex(digest), "900150983cd24fb0d6963f7d28e17f72");
    }
}

TEST(Md5Test, UpdateOrFinalWithoutInitFailsWithItsLine) {
    CryptoContext context;
    std::array<uint8_t, kDigestSize> digest{};
    testing::internal::CaptureStdout();
    EXPECT_FALSE(md5Update(context, bytesOf("abc")));
    EXPECT_FALSE(md5Final(context, digest));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Digest computation error\nDigest computation error\n");

    // A finished digest must be started again too.
    ASSERT_TRUE(md5Init(context));
    ASSERT_TRUE(md5Final(context, digest));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(md5Update(context, bytesOf("abc")));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Digest computation error\n");
}

// RFC 2202 test cases 1 to 5 for HMAC-MD5 (1 to 3 are those of RFC 2104), plus a key of exactly
// one block (value from Python's hmac). Cases 6 and 7 use an 80-byte key, which is hashed first
// by the standard; this system never passes a key over 64 bytes, and such a key is refused.
TEST(HmacMd5Test, PublishedVectors) {
    struct Case {
        std::string key;
        std::string message;
        std::string_view mac;
    };
    const Case kCases[] = {
        {std::string(16, '\x0b'), "Hi There", "9294727a3638bb1c13f48ef8158bfc9d"},
        {"Jefe", "what do ya want for nothing?", "750c783e6ab0b503eaa86e310a5db738"},
        {std::string(16, '\xaa'), std::string(50, '\xdd'), "56be34521d144c88dbb8c733f0e8b3f6"},
        {"\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10\x11\x12\x13\x14\x15"
         "\x16\x17\x18\x19",
         std::string(50, '\xcd'), "697eaf0aca3a3aea3a75164746ffaa79"},
        {std::string(16, '\x0c'), "Test With Truncation", "56461ef2342edc00f9bab995690efd4c"},
    };
    for (const Case& c : kCases) {
        EXPECT_EQ(hmac(bytesOf(c.key), bytesOf(c.message)), c.mac) << toHex(bytesOf(c.key));
    }
    const std::vector<uint8_t> blockKey = counting(kHmacBlockSize);
    EXPECT_EQ(hmac(blockKey, bytesOf("sixty-four byte key")), "73a7199d977f8ec628d639bf84a92c19");
}

TEST(HmacMd5Test, MessageInPiecesGivesTheSameMac) {
    const std::vector<uint8_t> key = fromHex("0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b");
    CryptoContext context;
    std::array<uint8_t, kDigestSize> mac{};
    ASSERT_TRUE(hmacMd5Begin(context, key));
    ASSERT_TRUE(md5Update(context, bytesOf("Hi ")));
    ASSERT_TRUE(md5Update(context, bytesOf("")));
    ASSERT_TRUE(md5Update(context, bytesOf("There")));
    ASSERT_TRUE(hmacMd5End(context, mac, key));
    EXPECT_EQ(toHex(mac), "9294727a3638bb1c13f48ef8158bfc9d");
}

TEST(HmacMd5Test, KeyOverOneBlockIsRefused) {
    const std::vector<uint8_t> key = counting(kHmacBlockSize + 1);
    CryptoContext context;
    std::array<uint8_t, kDigestSize> untouched;
    untouched.fill(0xA5);
    std::array<uint8_t, kDigestSize> mac = untouched;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(hmacMd5Begin(context, key));
    ASSERT_TRUE(hmacMd5Begin(context, std::span(key).first(16)));
    EXPECT_FALSE(hmacMd5End(context, mac, key));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(mac, untouched);
}

}  // namespace
}  // namespace zendor::crypto

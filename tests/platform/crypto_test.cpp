// The crypto backend of this system (OpenSSL on Linux, BCrypt on Windows) against known answers,
// so that both backends are held to the same results.
#include "platform/crypto.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "support/hex.h"

namespace zendor::platform {
namespace {

using test::fromHex;
using test::toHex;

std::array<uint8_t, 16> key16(std::string_view hex) {
    std::array<uint8_t, 16> key{};
    const auto bytes = fromHex(hex);
    std::copy_n(bytes.begin(), key.size(), key.begin());
    return key;
}

std::array<uint8_t, kDesBlockSize> block(std::string_view hex) {
    std::array<uint8_t, kDesBlockSize> out{};
    const auto bytes = fromHex(hex);
    std::copy_n(bytes.begin(), out.size(), out.begin());
    return out;
}

// Single DES (equal halves) from the classic published DES example, 2K3DES from
// recomputed vectors; each block enciphered, then the cryptogram deciphered back.
TEST(PlatformCrypto, DesEdeBlocksBothKeyForms) {
    struct Case {
        const char* what;
        std::string_view key;
        std::string_view plain;
        std::string_view cipher;
    };
    const Case cases[] = {
        {"single DES", "0123456789ABCDEF0123456789ABCDEF", "4E6F772069732074", "3fa40e8a984d4815"},
        {"single DES, zero key", "00000000000000000000000000000000", "D6F77968D2767EA3",
         "57b0c35a080ae608"},
        {"2K3DES", "00112233445566778899AABBCCDDEEFF", "0000000000000000", "fb09759972301af4"},
    };
    for (const Case& c : cases) {
        const DesEde des(key16(c.key));
        std::array<uint8_t, kDesBlockSize> out{};
        ASSERT_TRUE(des.encrypt(block(c.plain), out)) << c.what;
        EXPECT_EQ(toHex(out), c.cipher) << c.what;
        std::array<uint8_t, kDesBlockSize> back{};
        ASSERT_TRUE(des.decrypt(out, back)) << c.what;
        EXPECT_EQ(back, block(c.plain)) << c.what;
        // The same block again: no chaining state carries over from one block to the next.
        ASSERT_TRUE(des.encrypt(block(c.plain), out)) << c.what;
        EXPECT_EQ(toHex(out), c.cipher) << c.what;
    }
}

TEST(PlatformCrypto, Md5KnownAnswerAndOrder) {
    Md5 md5;
    std::array<uint8_t, kMd5Size> digest{};
    EXPECT_FALSE(md5.update(fromHex("61"))) << "update before begin";
    EXPECT_FALSE(md5.finish(digest)) << "finish before begin";

    ASSERT_TRUE(md5.begin());
    ASSERT_TRUE(md5.update(fromHex("61")));
    ASSERT_TRUE(md5.update(fromHex("6263")));
    ASSERT_TRUE(md5.finish(digest));
    EXPECT_EQ(toHex(digest), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_FALSE(md5.finish(digest)) << "a second finish";

    // A computation begun again forgets what the abandoned one had absorbed.
    ASSERT_TRUE(md5.begin());
    ASSERT_TRUE(md5.update(fromHex("78")));
    ASSERT_TRUE(md5.begin());
    ASSERT_TRUE(md5.finish(digest));
    EXPECT_EQ(toHex(digest), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(PlatformCrypto, RandomBytesFillTheWholeBuffer) {
    // 64 bytes of a working generator are never all equal to the zeros they started as, and two
    // draws differ; every position must have been written in at least one of a few draws.
    std::array<uint8_t, 64> first{};
    std::array<uint8_t, 64> second{};
    ASSERT_TRUE(randomBytes(first));
    ASSERT_TRUE(randomBytes(second));
    EXPECT_NE(first, second);
    std::array<bool, 64> touched{};
    for (int draw = 0; draw < 8; ++draw) {
        std::array<uint8_t, 64> bytes{};
        ASSERT_TRUE(randomBytes(bytes));
        for (size_t i = 0; i < bytes.size(); ++i) {
            touched[i] = touched[i] || bytes[i] != 0;
        }
    }
    EXPECT_EQ(std::count(touched.begin(), touched.end(), true), 64);
    EXPECT_TRUE(randomBytes(std::span<uint8_t>{}));
}

TEST(PlatformCrypto, ConstantTimeEquality) {
    struct Case {
        std::string_view a;
        std::string_view b;
        bool equal;
    };
    const Case cases[] = {
        {"", "", true},
        {"00112233", "00112233", true},
        {"00112233", "80112233", false},  // first byte, high bit
        {"00112233", "00112232", false},  // last byte, low bit
        {"00112233", "001122", false},    // a prefix is not equal
    };
    for (const Case& c : cases) {
        EXPECT_EQ(equalConstantTime(fromHex(c.a), fromHex(c.b)), c.equal) << c.a << " " << c.b;
    }
}

TEST(PlatformCrypto, WipeZeroesEveryByte) {
    std::array<uint8_t, 24> secret;
    secret.fill(0xA5);
    wipe(secret);
    EXPECT_EQ(toHex(secret), std::string(48, '0'));
}

}  // namespace
}  // namespace zendor::platform

// Key diversification and image signature: known answers from Python's hmac module, what the
// signature covers and depends on, and refused buffers.
#include "crypto/signature.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "support/hex.h"

namespace zendor::crypto {
namespace {

using test::fromHex;
using test::toHex;

using Key = std::array<uint8_t, kKeySize>;
using Uid = std::array<uint8_t, kUidSize>;
using Image = std::array<uint8_t, SIGNED_IMAGE_SIZE>;

constexpr Key kKey = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                      0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};
constexpr Uid kUid = {0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};

// 40 bytes of entries (i * 7 + 3), then zeros up to byte 511.
Image sampleImage() {
    Image image{};
    for (size_t i = 0; i < 40; ++i) {
        image[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    return image;
}

std::array<uint8_t, 16> signatureOf(const Image& image, std::span<const uint8_t> key,
                                    std::span<const uint8_t> uid) {
    std::array<uint8_t, 16> signature{};
    EXPECT_TRUE(computeSignature(signature, image, key, uid));
    return signature;
}

std::array<uint8_t, 16> cardKeyOf(std::span<const uint8_t> key, std::span<const uint8_t> uid) {
    std::array<uint8_t, 16> cardKey{};
    EXPECT_TRUE(diversifyKey(cardKey, key, uid));
    return cardKey;
}

// HMAC-MD5 under the key of 88 04 11 22 33 44 55 66, then of the image under that card key.
TEST(SignatureTest, KnownAnswers) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(toHex(cardKeyOf(kKey, kUid)), "cb5bb9b025611c13aced527cfe8c2be6");
    EXPECT_EQ(toHex(signatureOf(sampleImage(), kKey, kUid)), "bc2cf97d5c710b639a9dd9368ecb3a42");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// The zeros after the last entry are signed too: changing any of them changes the signature.
TEST(SignatureTest, CoversAllImageBytes) {
    const auto reference = signatureOf(sampleImage(), kKey, kUid);
    for (size_t at : {size_t{0}, size_t{39}, size_t{40}, SIGNED_IMAGE_SIZE - 1}) {
        Image image = sampleImage();
        image[at] ^= 0x01;
        EXPECT_NE(signatureOf(image, kKey, kUid), reference) << "byte " << at;
    }
}

// A change in any UID byte gives another card key and another signature, so an image and
// signature copied to another card do not verify there.
TEST(SignatureTest, EveryUidByteChangesKeyAndSignature) {
    const auto cardKey = cardKeyOf(kKey, kUid);
    const auto signature = signatureOf(sampleImage(), kKey, kUid);
    for (size_t at = 0; at < kUidSize; ++at) {
        Uid other = kUid;
        other[at] ^= 0x80;
        EXPECT_NE(cardKeyOf(kKey, other), cardKey) << "UID byte " << at;
        EXPECT_FALSE(signaturesEqual(signatureOf(sampleImage(), kKey, other), signature))
            << "UID byte " << at;
    }
}

// Only the 16 key bytes after the option byte of an entry, and the first 7 UID bytes, count.
TEST(SignatureTest, OnlyKeyBytesAndSevenUidBytesTakePart) {
    const auto reference = signatureOf(sampleImage(), kKey, kUid);
    for (uint8_t option : {0x20, 0x00, 0xE0}) {
        std::array<uint8_t, 1 + kKeySize> entry{option};
        std::copy(kKey.begin(), kKey.end(), entry.begin() + 1);
        EXPECT_EQ(signatureOf(sampleImage(), std::span(entry).subspan(1), kUid), reference);
    }
    const std::vector<uint8_t> longKey = fromHex("000102030405060708090a0b0c0d0e0fffff");
    const std::vector<uint8_t> longUid = fromHex("04112233445566ee");
    EXPECT_EQ(signatureOf(sampleImage(), longKey, longUid), reference);
    EXPECT_EQ(cardKeyOf(longKey, longUid), cardKeyOf(kKey, kUid));
}

// A missing (too short) buffer fails, prints nothing and leaves the output as it was.
TEST(SignatureTest, MissingBuffersAreRefusedUntouched) {
    struct Case {
        size_t output, image, key, uid;
    };
    constexpr Case kCases[] = {
        {15, 512, 16, 7}, {16, 511, 16, 7}, {16, 513, 16, 7}, {16, 0, 16, 7},
        {16, 512, 15, 7}, {16, 512, 16, 6}, {0, 512, 16, 7},  {16, 512, 0, 0},
    };
    const std::vector<uint8_t> source(600, 0x5A);
    const std::span<const uint8_t> bytes(source);
    testing::internal::CaptureStdout();
    for (const Case& c : kCases) {
        std::vector<uint8_t> output(c.output, 0xA5);
        const std::vector<uint8_t> untouched = output;
        EXPECT_FALSE(
            computeSignature(output, bytes.first(c.image), bytes.first(c.key), bytes.first(c.uid)))
            << c.output << ' ' << c.image << ' ' << c.key << ' ' << c.uid;
        EXPECT_EQ(output, untouched);
        if (c.image == SIGNED_IMAGE_SIZE) {
            EXPECT_FALSE(diversifyKey(output, bytes.first(c.key), bytes.first(c.uid)))
                << c.output << ' ' << c.key << ' ' << c.uid;
            EXPECT_EQ(output, untouched);
        }
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(SignatureTest, SignaturesEqualComparesAllSixteenBytes) {
    const auto signature = signatureOf(sampleImage(), kKey, kUid);
    EXPECT_TRUE(signaturesEqual(signature, signature));
    for (size_t at : {size_t{0}, size_t{7}, size_t{15}}) {
        auto other = signature;
        other[at] ^= 0x01;
        EXPECT_FALSE(signaturesEqual(signature, other)) << "byte " << at;
    }
}

}  // namespace
}  // namespace zendor::crypto

// The C boundary of the reader interface: whatever fails inside, a status comes out.
#include "marlix/reader.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "card/marlix.h"
#include "card/marlix_desfire.h"

namespace zendor::marlix {
namespace {

// A transport whose every call throws, as one whose library ran out of memory would.
class ThrowingTransport final : public Transport {
  public:
    int16_t activate(Activation&) override { throw std::runtime_error("activate"); }
    int16_t requestAts(std::span<uint8_t>, uint8_t&) override { throw std::bad_alloc(); }
    int16_t transmit(std::span<const uint8_t>, std::vector<uint8_t>&) override {
        throw std::runtime_error("transmit");
    }
    void deselect() override {}
};

// A reader that keeps two files, as a virtual card does.
class KeepingTransport final : public Transport {
  public:
    int16_t activate(Activation&) override { return 0; }
    int16_t requestAts(std::span<uint8_t>, uint8_t&) override { return 0; }
    int16_t transmit(std::span<const uint8_t>, std::vector<uint8_t>&) override { return 0; }
    void deselect() override {}
    std::vector<KeptFile> keptFiles() const override {
        return {{MARLIX_FILE_CARD, "cards/a.json"}, {MARLIX_FILE_LOCK, "cards/a.json.lock"}};
    }
};

class ReaderBoundary : public testing::Test {
  protected:
    void TearDown() override {
        MARLIX_ReaderClose();
        setTransportFactory({});
    }
};

TEST_F(ReaderBoundary, AFactoryThatThrowsIsAnInternalError) {
    setTransportFactory([](const DeviceName&) -> std::unique_ptr<Transport> {
        throw std::runtime_error("no reader library");
    });
    EXPECT_EQ(MARLIX_ReaderOpen("pcsc:any"), MARLIX_E_INTERNAL);
    EXPECT_EQ(MARLIX_ReaderClose(), MARLIX_OK);
}

TEST_F(ReaderBoundary, ATransportThatThrowsIsAnInternalErrorAndLeavesNoCardActive) {
    setTransportFactory([](const DeviceName&) { return std::make_unique<ThrowingTransport>(); });
    ASSERT_EQ(MARLIX_ReaderOpen("pcsc:any"), MARLIX_OK);
    uint8_t atqa[2], uid[10], uidLength = sizeof uid, sak = 0;
    EXPECT_EQ(MARLIX_TclA_ActivateAny(atqa, uid, &uidLength, &sak), MARLIX_E_INTERNAL);
    EXPECT_EQ(DesFireCard_SelectCid(0), MARLIX_E_NO_READER);
    uint8_t ats[20], atsLength = sizeof ats;
    EXPECT_EQ(MARLIX_TclA_GetAts(0, ats, &atsLength), MARLIX_E_NO_READER);
    EXPECT_EQ(MARLIX_TclA_Deselect(0), MARLIX_OK);
}

// The files a reader keeps come out one by one, each whole or not at all; then an empty name.
TEST_F(ReaderBoundary, KeptFilesAreListedByIndex) {
    uint8_t role = 9;
    char path[32];
    uint16_t length = sizeof path;
    EXPECT_EQ(MARLIX_ReaderGetFile(0, &role, path, &length), MARLIX_E_NO_READER);

    setTransportFactory([](const DeviceName&) { return std::make_unique<KeepingTransport>(); });
    ASSERT_EQ(MARLIX_ReaderOpen("pcsc:any"), MARLIX_OK);
    struct Case {
        uint8_t index;
        uint16_t capacity;
        int16_t status;
        uint8_t role;
        std::string path;
    };
    const Case cases[] = {
        {0, sizeof path, MARLIX_OK, MARLIX_FILE_CARD, "cards/a.json"},
        {1, sizeof path, MARLIX_OK, MARLIX_FILE_LOCK, "cards/a.json.lock"},
        {2, sizeof path, MARLIX_OK, 0, ""},
        {255, sizeof path, MARLIX_OK, 0, ""},
        {0, 13, MARLIX_OK, MARLIX_FILE_CARD, "cards/a.json"},  // the name and its NUL just fit
        {0, 12, MARLIX_E_BAD_ARGUMENT, 9, ""},                 // no room for the NUL
        {1, 0, MARLIX_E_BAD_ARGUMENT, 9, ""},
    };
    for (const Case& c : cases) {
        role = 9;
        length = c.capacity;
        path[0] = '\0';
        EXPECT_EQ(MARLIX_ReaderGetFile(c.index, &role, path, &length), c.status) << +c.index;
        EXPECT_EQ(role, c.role) << +c.index;
        if (c.status == MARLIX_OK) {
            EXPECT_EQ(length, c.path.size()) << +c.index;
            EXPECT_EQ(std::string(path, length), c.path) << +c.index;
            EXPECT_EQ(path[length], '\0') << +c.index;
        }
    }
    EXPECT_EQ(MARLIX_ReaderGetFile(0, nullptr, path, &length), MARLIX_E_BAD_ARGUMENT);
    EXPECT_EQ(MARLIX_ReaderGetFile(0, &role, nullptr, &length), MARLIX_E_BAD_ARGUMENT);
    EXPECT_EQ(MARLIX_ReaderGetFile(0, &role, path, nullptr), MARLIX_E_BAD_ARGUMENT);
}

}  // namespace
}  // namespace zendor::marlix

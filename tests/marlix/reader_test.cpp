// The C boundary of the reader interface: whatever fails inside, a status comes out.
#include "marlix/reader.h"

#include <gtest/gtest.h>

#include <stdexcept>

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

}  // namespace
}  // namespace zendor::marlix

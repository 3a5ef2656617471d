// The card library against any answers a card may give. Input: a count n (modulo 33), n
// two-byte operations (host_operations.h), then the card's answers, one length byte and the
// answer per frame (checked_card.h). Recorded answers of the virtual card make the seeds, so that
// mutation starts from sessions that authenticate and transfer enciphered data.
#include <cstdint>

#include "fuzz/checked_card.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/host_operations.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zendor::fuzz;
    ByteReader input(std::span(data, size));
    const size_t count = input.byte() % 33;
    ByteReader operations(input.bytes(2 * count));
    ByteReader answers(input.rest());

    openFuzzReader([&answers] { return scriptedTransport(answers); });
    while (!operations.empty()) {
        const uint8_t first = operations.byte();
        runHostOperation(first, operations.byte());
    }
    closeFuzzReader();
    return 0;
}

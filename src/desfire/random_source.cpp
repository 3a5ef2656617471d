#include "desfire/random_source.h"

#include <openssl/rand.h>

namespace zendor::desfire {

bool systemRandom(std::span<uint8_t> out) {
    return RAND_bytes(out.data(), static_cast<int>(out.size())) == 1;
}

}  // namespace zendor::desfire

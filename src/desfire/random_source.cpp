#include "desfire/random_source.h"

#include "platform/crypto.h"

namespace zendor::desfire {

bool systemRandom(std::span<uint8_t> out) {
    return platform::randomBytes(out);
}

}  // namespace zendor::desfire

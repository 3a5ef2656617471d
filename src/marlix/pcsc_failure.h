// A PC/SC failure as its users look it up: the name both pcsc-lite and WinSCard give the code,
// and the code itself.
#pragma once

#include <string>

#include "marlix/pcsc_api.h"

namespace zendor::marlix::pcsc {

// "SCARD_E_NO_MEMORY (0x80100006)"; a code neither API names shows as its number alone.
std::string failureName(LONG result);

}  // namespace zendor::marlix::pcsc

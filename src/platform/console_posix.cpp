// Terminals here take UTF-8 as it is: nothing to set.
#include "platform/console.h"

namespace zendor::platform {

Utf8Console::Utf8Console() = default;
Utf8Console::~Utf8Console() = default;

}  // namespace zendor::platform

// The Windows console's output code page, set to UTF-8 for the program's run.
#include <windows.h>

#include "platform/console.h"

namespace zendor::platform {

Utf8Console::Utf8Console() {
    // GetConsoleOutputCP gives 0 when no console is attached (output into a pipe or file).
    const unsigned int current = GetConsoleOutputCP();
    if (current != 0 && current != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
        previous_ = current;
    }
}

Utf8Console::~Utf8Console() {
    if (previous_ != 0) {
        SetConsoleOutputCP(previous_);
    }
}

}  // namespace zendor::platform

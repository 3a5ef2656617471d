// zendorcfg: creates and reads Master Cards for ZENDOR readers.
#include "app/program.h"
#include "platform/console.h"

int main(int argc, char** argv) {
    const zendor::platform::Utf8Console console;
    return zendor::app::runProgram(argc, argv);
}

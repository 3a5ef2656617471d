// zendorcfg: creates and reads Master Cards for ZENDOR readers.
#include "app/program.h"

int main(int argc, char** argv) {
    return zendor::app::runProgram(argc, argv);
}

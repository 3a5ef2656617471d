// The tests' scratch files now live in tests/support; this name stays for the tests that use it.
#pragma once

#include "support/temp_dir.h"

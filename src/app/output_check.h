// The output file of -r against the files the run reads.
#pragma once

namespace zendor::app {

// Refuses an output file that is the same file (however its path is spelled) as the
// configuration file, whose [master] section may be the only copy of the card's keys, or as a
// file the open reader keeps (a virtual card's file, its lock file). Prints one line and returns
// false then:
//   "Output file '%s' is the same file as the configuration file '%s' : nothing written"
//   "Output file '%s' is the same file as the card file '%s' : nothing written"
//   "Output file '%s' is the same file as the card's lock file '%s' : nothing written"
// and, on Windows, for a name the system takes for a device ("aux.ini", "COM1", "nul.txt"; NUL
// alone discards the export):
//   "Output file '%s' : Windows takes that name for the device %s, nothing written"
// True otherwise, also without an output file or when it does not exist yet.
bool outputSparesInputs(const char* outputFile, const char* configFile);

}  // namespace zendor::app

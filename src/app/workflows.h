// The two jobs of the tool: write a Master Card from a configuration file, and read one back.
#pragma once

#include <array>
#include <cstdint>

namespace zendor::app {

using CardUid = std::array<uint8_t, 8>;  // the 7-byte UID, in the driver's 8-byte buffer

// Loads, checks, packs and signs the settings of configFile, then makes the card a Master Card
// carrying them. Prints its progress and failures; true on success.
bool createMasterCard(const char* configFile, const CardUid& cardUid);

// Reads the Master Card described by the [master] section of configFile, verifies its signature
// and shows its settings, or exports them into outputFile when it is not null.
bool readMasterCard(const char* configFile, const CardUid& cardUid, const char* outputFile);

}  // namespace zendor::app

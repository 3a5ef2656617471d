// The virtual card as a reader: the sim:PATH device.
#pragma once

#include <memory>
#include <string>

#include "marlix/transport.h"

namespace zendor::vcard {
class CardConnection;
}

namespace zendor::marlix {

class SimTransport;

// Checks that the card file can be used (a valid card, or a missing file in a folder we may
// write); prints one line and returns null when it cannot. The file is locked at activation.
std::unique_ptr<Transport> openSimTransport(const std::string& path);

// The connection behind a sim transport while a card is active, for tests that read the frame
// log; null for any other transport or without an active card.
vcard::CardConnection* simConnection(Transport* transport);

}  // namespace zendor::marlix

// The library's state: the open reader, the card it holds, and the DESFire session with it.
// One reader at a time, used from one thread, as the tool uses it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "marlix/transport.h"

namespace zendor::marlix {

// What the DESFire commands keep between calls; forgotten whenever the card is.
struct SecureSession {
    bool authenticated = false;
    uint8_t keyNo = 0;
    std::array<uint8_t, 16> sessionKey{};
};

struct ReaderSession {
    std::unique_ptr<Transport> transport;  // null: no reader open
    bool cardActive = false;               // activated and not deselected since
    SecureSession secure;
};

ReaderSession& readerSession();

// Forgets the authentication (and with it the session key).
void endAuthentication();

}  // namespace zendor::marlix

// The library's state: the open reader, the card it holds, and the DESFire session with it.
// One reader at a time, used from one thread, as the tool uses it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "marlix/device_name.h"
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
    uint8_t cid = 0xFF;
    SecureSession secure;
};

ReaderSession& readerSession();

// The transport for a device; null when none could be opened (after printing why, where the
// reason is ours to know). Tests replace it to watch or fake the exchange; an empty function
// restores the real one.
using TransportFactory = std::function<std::unique_ptr<Transport>(const DeviceName&)>;
void setTransportFactory(TransportFactory factory);
std::unique_ptr<Transport> openDefaultTransport(const DeviceName& device);

}  // namespace zendor::marlix

// PC/SC readers through the WinSCard API (pcsc-lite on Linux).
#pragma once

#include <memory>

#include "marlix/device_name.h"
#include "marlix/transport.h"

namespace zendor::marlix {

// The reader the device names (a name, or any reader holding a card); null when the PC/SC
// service or the reader is not there.
std::unique_ptr<Transport> openPcscTransport(const DeviceName& device);

}  // namespace zendor::marlix

// The reader half of the library: which transport a device name opens (tests put their own in
// its place), over the one session of session.h.
#pragma once

#include <functional>
#include <memory>

#include "marlix/device_name.h"
#include "marlix/session.h"
#include "marlix/transport.h"

namespace zendor::marlix {

// The transport for a device; null when none could be opened (after printing why, where the
// reason is ours to know). Tests replace it to watch or fake the exchange; an empty function
// restores the real one.
using TransportFactory = std::function<std::unique_ptr<Transport>(const DeviceName&)>;
void setTransportFactory(TransportFactory factory);
std::unique_ptr<Transport> openDefaultTransport(const DeviceName& device);

}  // namespace zendor::marlix

#include "marlix/pcsc_transport.h"

namespace zendor::marlix {

// PC/SC readers come with the PC/SC transport; until then no such reader can be opened.
std::unique_ptr<Transport> openPcscTransport(const DeviceName& /*device*/) {
    return nullptr;
}

}  // namespace zendor::marlix

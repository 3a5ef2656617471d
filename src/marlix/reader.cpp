// The reader half of the maker-library interface, over whichever transport the device name
// selects.
#include "marlix/reader.h"

#include <algorithm>

#include "card/marlix.h"
#include "card/marlix_desfire.h"
#include "marlix/c_boundary.h"
#include "marlix/pcsc_transport.h"
#include "marlix/sim_transport.h"
#include "marlix/status.h"

namespace zendor::marlix {
namespace {

TransportFactory& factoryOverride() {
    static TransportFactory factory;
    return factory;
}

// The card in the field, if any, is deselected, and nothing of its session is kept.
void leaveCard(ReaderSession& session) {
    if (session.cardActive) {
        session.transport->deselect();
    }
    session.cardActive = false;
    session.secure = SecureSession{};
}

}  // namespace

void setTransportFactory(TransportFactory factory) {
    factoryOverride() = std::move(factory);
}

std::unique_ptr<Transport> openDefaultTransport(const DeviceName& device) {
    switch (device.kind) {
        case DeviceName::Kind::VirtualCard:
            return openSimTransport(device.target);
        case DeviceName::Kind::PcscReader:
        case DeviceName::Kind::PcscAnyReader:
            return openPcscTransport(device);
    }
    return nullptr;
}

}  // namespace zendor::marlix

using zendor::marlix::guarded;
using zendor::marlix::kBadArgument;
using zendor::marlix::kNoReader;
using zendor::marlix::kOk;
using zendor::marlix::readerSession;
using zendor::marlix::ReaderSession;

extern "C" int16_t MARLIX_ReaderOpen(const char* deviceName) {
    return guarded([&]() -> int16_t {
        ReaderSession& session = readerSession();
        MARLIX_ReaderClose();
        std::optional<zendor::marlix::DeviceName> device =
            zendor::marlix::parseDeviceName(deviceName);
        if (!device) {
            return kNoReader;
        }
        auto& override = zendor::marlix::factoryOverride();
        session.transport =
            override ? override(*device) : zendor::marlix::openDefaultTransport(*device);
        return session.transport ? kOk : kNoReader;
    });
}

extern "C" int16_t MARLIX_TclA_ActivateAny(uint8_t* atqa, uint8_t* uid, uint8_t* uidLength,
                                           uint8_t* sak) {
    return guarded([&]() -> int16_t {
        ReaderSession& session = readerSession();
        if (!session.transport) {
            return kNoReader;
        }
        if (atqa == nullptr || uid == nullptr || uidLength == nullptr || sak == nullptr) {
            return kBadArgument;
        }
        zendor::marlix::leaveCard(session);
        zendor::marlix::Activation activation;
        int16_t result = session.transport->activate(activation);
        if (result != kOk) {
            return result;
        }
        std::copy(activation.atqa.begin(), activation.atqa.end(), atqa);
        uint8_t copied = std::min(*uidLength, activation.uidLength);
        std::copy_n(activation.uid.begin(), copied, uid);
        *uidLength = activation.uidLength;
        *sak = activation.sak;
        session.cardActive = true;
        return kOk;
    });
}

// One card at a time: the CID of T=CL chooses nothing here.
extern "C" int16_t MARLIX_TclA_GetAts(uint8_t /*cid*/, uint8_t* ats, uint8_t* atsLength) {
    return guarded([&]() -> int16_t {
        ReaderSession& session = readerSession();
        if (!session.transport || !session.cardActive) {
            return kNoReader;
        }
        if (ats == nullptr || atsLength == nullptr) {
            return kBadArgument;
        }
        return session.transport->requestAts(std::span(ats, *atsLength), *atsLength);
    });
}

extern "C" int16_t MARLIX_TclA_Deselect(uint8_t /*cid*/) {
    return guarded([&]() -> int16_t {
        ReaderSession& session = readerSession();
        if (!session.transport) {
            return kNoReader;
        }
        zendor::marlix::leaveCard(session);
        return kOk;
    });
}

extern "C" int16_t MARLIX_ReaderClose(void) {
    return guarded([&]() -> int16_t {
        ReaderSession& session = readerSession();
        if (!session.transport) {
            return kOk;
        }
        zendor::marlix::leaveCard(session);
        session.transport.reset();
        return kOk;
    });
}

extern "C" int16_t MARLIX_ReaderGetFile(uint8_t index, uint8_t* role, char* path,
                                        uint16_t* pathLength) {
    return guarded([&]() -> int16_t {
        ReaderSession& session = readerSession();
        if (!session.transport) {
            return kNoReader;
        }
        if (role == nullptr || path == nullptr || pathLength == nullptr) {
            return kBadArgument;
        }
        std::vector<zendor::marlix::KeptFile> files = session.transport->keptFiles();
        if (index >= files.size()) {
            *role = 0;
            *pathLength = 0;
            return kOk;
        }
        const zendor::marlix::KeptFile& file = files[index];
        if (file.path.size() >= *pathLength) {
            return kBadArgument;
        }
        std::copy(file.path.begin(), file.path.end(), path);
        path[file.path.size()] = '\0';
        *role = file.role;
        *pathLength = static_cast<uint16_t>(file.path.size());
        return kOk;
    });
}

extern "C" int16_t DesFireCard_SelectCid(uint8_t /*cid*/) {
    return guarded([&]() -> int16_t {
        const ReaderSession& session = readerSession();
        if (!session.transport || !session.cardActive) {
            return kNoReader;
        }
        return kOk;
    });
}

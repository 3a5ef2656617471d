// Watches the exchange between the library and a real transport: counts every call, so tests can
// tell how often the reader was opened, the card activated, deselected and the reader closed.
#pragma once

#include <memory>

#include "marlix/reader.h"
#include "marlix/transport.h"

namespace zendor::test {

struct TransportCounts {
    int opened = 0;
    int activations = 0;
    int atsRequests = 0;
    int transmits = 0;
    int deselects = 0;
    int closed = 0;  // transports destroyed: the reader closed
};

class CountingTransport final : public marlix::Transport {
  public:
    CountingTransport(std::unique_ptr<marlix::Transport> inner, TransportCounts& counts)
        : inner_(std::move(inner)), counts_(counts) {
        ++counts_.opened;
    }
    ~CountingTransport() override { ++counts_.closed; }

    int16_t activate(marlix::Activation& out) override {
        ++counts_.activations;
        return inner_->activate(out);
    }
    int16_t requestAts(std::span<uint8_t> ats, uint8_t& length) override {
        ++counts_.atsRequests;
        return inner_->requestAts(ats, length);
    }
    int16_t transmit(std::span<const uint8_t> command, std::vector<uint8_t>& response) override {
        ++counts_.transmits;
        return inner_->transmit(command, response);
    }
    void deselect() override {
        ++counts_.deselects;
        inner_->deselect();
    }

  private:
    std::unique_ptr<marlix::Transport> inner_;
    TransportCounts& counts_;
};

// Wraps every transport the library opens while it lives; devices that name no reader stay
// unopened, as without it.
class CountingTransports {
  public:
    CountingTransports() {
        marlix::setTransportFactory([this](const marlix::DeviceName& device) {
            std::unique_ptr<marlix::Transport> inner = marlix::openDefaultTransport(device);
            if (!inner) {
                return std::unique_ptr<marlix::Transport>();
            }
            return std::unique_ptr<marlix::Transport>(
                std::make_unique<CountingTransport>(std::move(inner), counts));
        });
    }
    ~CountingTransports() { marlix::setTransportFactory({}); }
    CountingTransports(const CountingTransports&) = delete;
    CountingTransports& operator=(const CountingTransports&) = delete;

    TransportCounts counts;
};

}  // namespace zendor::test

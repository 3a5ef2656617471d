#include "marlix/sim_transport.h"

#include <algorithm>
#include <cstdio>

#include "card/marlix.h"
#include "marlix/status.h"
#include "platform/file_identity.h"
#include "platform/file_system.h"
#include "platform/path_names.h"
#include "vcard/card_connection.h"

namespace zendor::marlix {
namespace {

// ATS of a DESFire EV1: TL 06, T0 75, TA 77, TB 81, TC 02, historical byte 80.
constexpr std::array<uint8_t, 6> kDesfireAts{0x06, 0x75, 0x77, 0x81, 0x02, 0x80};

void printInvalid(const std::string& path, const std::string& reason) {
    std::printf("Virtual card file '%s' is not valid: %s\n", path.c_str(), reason.c_str());
}

}  // namespace

class SimTransport final : public Transport {
  public:
    explicit SimTransport(std::string path) : path_(std::move(path)) {}

    int16_t activate(Activation& out) override {
        connection_.reset();
        vcard::CardConnection::OpenResult opened = vcard::CardConnection::open(path_);
        switch (opened.status) {
            case vcard::CardConnection::OpenStatus::Ok:
                break;
            case vcard::CardConnection::OpenStatus::Busy:
                return kCardBusy;
            case vcard::CardConnection::OpenStatus::Invalid:
                printInvalid(path_, opened.error);
                return kCardFileError;
            case vcard::CardConnection::OpenStatus::IoError:
            case vcard::CardConnection::OpenStatus::Unreadable:
                std::printf("Virtual card file '%s' cannot be used: %s\n", path_.c_str(),
                            opened.error.c_str());
                return kCardFileError;
        }
        connection_ = std::move(opened.connection);
        const vcard::CardState& card = connection_->card();
        out.atqa = card.atqa;
        std::copy(card.uid.begin(), card.uid.end(), out.uid.begin());
        out.uidLength = static_cast<uint8_t>(card.uid.size());
        out.sak = card.sak;
        return kOk;
    }

    int16_t requestAts(std::span<uint8_t> ats, uint8_t& length) override {
        if (!connection_) {
            return kNoCard;
        }
        size_t n = std::min(ats.size(), kDesfireAts.size());
        std::copy_n(kDesfireAts.begin(), n, ats.begin());
        length = static_cast<uint8_t>(n);
        return kOk;
    }

    int16_t transmit(std::span<const uint8_t> command, std::vector<uint8_t>& response) override {
        if (!connection_) {
            return kNoCard;
        }
        switch (connection_->transmit(command, response)) {
            case vcard::CardConnection::TransmitStatus::Ok:
                return response.size() >= 2 ? kOk : kBadAnswer;
            case vcard::CardConnection::TransmitStatus::NoAnswer:
                return kNoAnswer;
            case vcard::CardConnection::TransmitStatus::SaveFailed:
                std::printf("Virtual card file '%s' cannot be saved: %s\n", path_.c_str(),
                            connection_->lastError().c_str());
                return kCardFileError;
        }
        return kReaderError;
    }

    void deselect() override { connection_.reset(); }

    // The card file as it was named, and the lock file while the card is held: a reading that
    // wrote into either would lose the card, or lose what it wrote when the lock goes.
    std::vector<KeptFile> keptFiles() const override {
        std::vector<KeptFile> files{{MARLIX_FILE_CARD, path_}};
        if (connection_ && !connection_->lockPath().empty()) {
            files.push_back({MARLIX_FILE_LOCK, connection_->lockPath()});
        }
        return files;
    }

    vcard::CardConnection* connection() { return connection_.get(); }

  private:
    std::string path_;
    std::unique_ptr<vcard::CardConnection> connection_;
};

std::unique_ptr<Transport> openSimTransport(const std::string& path) {
    // NUL or /dev/null would pass for an empty folder entry or an unreadable file.
    if (platform::isDevice(path)) {
        std::printf("Virtual card file '%s' is a device, not a card file\n", path.c_str());
        return nullptr;
    }
    vcard::ReadResult read = vcard::readCardFile(path);
    switch (read.status) {
        case vcard::ReadStatus::Ok:
            break;
        case vcard::ReadStatus::Missing: {
            // A link to a missing file stands for that file: it is made in the link's target
            // folder.
            std::string target, error;
            if (vcard::resolveCardPath(path, target, error)) {
                error = platform::mayWrite(platform::folderOf(target)).text;
            }
            if (!error.empty()) {
                std::printf("Virtual card file '%s' cannot be created: %s\n", path.c_str(),
                            error.c_str());
                return nullptr;
            }
            break;
        }
        case vcard::ReadStatus::Invalid:
            printInvalid(path, read.error);
            return nullptr;
        case vcard::ReadStatus::Unreadable:
            std::printf("Virtual card file '%s' cannot be read: %s\n", path.c_str(),
                        read.error.c_str());
            return nullptr;
    }
    return std::make_unique<SimTransport>(path);
}

vcard::CardConnection* simConnection(Transport* transport) {
    auto* sim = dynamic_cast<SimTransport*>(transport);
    return sim ? sim->connection() : nullptr;
}

}  // namespace zendor::marlix

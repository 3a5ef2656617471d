// Helpers shared by the virtual card's command handlers.
#include "card_session.h"

#include <algorithm>

namespace zendor::vcard {

void CardSession::forgetAuthentication() {
    authKeyNo.reset();
    sessionKey.fill(0);
}

Reply statusOnly(uint8_t status) {
    return Reply{status, {}, false};
}

Application* findApplication(CardState& card, uint32_t aid) {
    auto it = std::find_if(card.applications.begin(), card.applications.end(),
                           [aid](const Application& app) { return app.aid == aid; });
    return it == card.applications.end() ? nullptr : &*it;
}

Application* selectedApplication(CardContext& ctx) {
    if (ctx.session.selectedAid == 0) {
        return nullptr;
    }
    return findApplication(ctx.card, ctx.session.selectedAid);
}

DataFile* findFile(Application& app, uint8_t fileNo) {
    auto it = std::find_if(app.files.begin(), app.files.end(),
                           [fileNo](const DataFile& file) { return file.fileNo == fileNo; });
    return it == app.files.end() ? nullptr : &*it;
}

uint8_t keyVersion(const Key& key) {
    uint8_t version = 0;
    for (size_t i = 0; i < 8; ++i) {
        version = static_cast<uint8_t>(version << 1 | (key[i] & 1));
    }
    return version;
}

Reply sendInFrames(CardSession& session, std::vector<uint8_t> bytes, size_t frameSize) {
    if (bytes.size() <= frameSize) {
        return Reply{desfire::st::kOk, std::move(bytes), false};
    }
    OutgoingFrames rest;
    for (size_t at = frameSize; at < bytes.size(); at += frameSize) {
        size_t end = std::min(bytes.size(), at + frameSize);
        rest.frames.emplace_back(bytes.begin() + static_cast<ptrdiff_t>(at),
                                 bytes.begin() + static_cast<ptrdiff_t>(end));
    }
    bytes.resize(frameSize);
    session.chain = std::move(rest);
    return Reply{desfire::st::kAdditionalFrame, std::move(bytes), false};
}

}  // namespace zendor::vcard

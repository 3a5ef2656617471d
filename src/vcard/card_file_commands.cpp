// Data-file commands of the virtual card and backup-file transactions. Access-rights nibbles
// (R 15-12, W 11-8, RW 7-4, Change 3-0): 0-D a key, E free, F never. The file's communication
// setting applies only when the authenticated key grants the access; access granted as free is
// plain. Backup data files keep writes in the session until CommitTransaction.
#include <algorithm>

#include "card_commands.h"
#include "desfire/secure_messaging.h"

namespace zendor::vcard {

namespace {

namespace st = desfire::st;

constexpr uint8_t kRightFree = 0x0E;
constexpr uint8_t kRightNever = 0x0F;
constexpr size_t kHeaderSize = 7;  // FileNo Offset(3) Length(3)

struct Access {
    uint8_t status = st::kOk;
    uint8_t mode = kCommPlain;
};

// Access through either of two rights (R or RW for reading, W or RW for writing).
Access accessThrough(const DataFile& file, const CardSession& session, uint8_t right,
                     uint8_t readWrite) {
    if (session.authKeyNo && (right == *session.authKeyNo || readWrite == *session.authKeyNo)) {
        return {st::kOk, file.comm};
    }
    if (right == kRightFree || readWrite == kRightFree) {
        return {st::kOk, kCommPlain};
    }
    if (right == kRightNever && readWrite == kRightNever) {
        return {st::kPermissionDenied, kCommPlain};
    }
    return {st::kAuthenticationError, kCommPlain};
}

uint8_t nibble(uint16_t rights, int shift) {
    return static_cast<uint8_t>(rights >> shift & 0x0F);
}

Access readAccess(const DataFile& file, const CardSession& session) {
    return accessThrough(file, session, nibble(file.accessRights, 12),
                         nibble(file.accessRights, 4));
}

Access writeAccess(const DataFile& file, const CardSession& session) {
    return accessThrough(file, session, nibble(file.accessRights, 8), nibble(file.accessRights, 4));
}

// Listing and creating in the selected application: allowed by its key settings bit or after
// authentication with its master key. No application selected: the command does not apply.
uint8_t applicationAccess(CardContext& ctx, uint8_t freeBit, Application*& app) {
    app = selectedApplication(ctx);
    if (app == nullptr) {
        return st::kPermissionDenied;
    }
    if (!(app->keySettings & freeBit) && !ctx.session.authenticatedWith(0)) {
        return st::kAuthenticationError;
    }
    return st::kOk;
}

Reply createDataFile(CardContext& ctx, Data data, uint8_t type) {
    if (data.size() != 7) {
        return statusOnly(st::kLengthError);
    }
    Application* app = nullptr;
    if (uint8_t status = applicationAccess(ctx, kFreeCreateDelete, app); status != st::kOk) {
        return statusOnly(status);
    }
    uint8_t fileNo = data[0];
    uint8_t comm = data[1];
    uint32_t size = readLe24(data.subspan(4));
    if (fileNo > kMaxFileNo || !desfire::isCommSetting(comm) || size == 0) {
        return statusOnly(st::kParameterError);
    }
    if (findFile(*app, fileNo) != nullptr) {
        return statusOnly(st::kDuplicateError);
    }
    if (size > kMaxFileSize || fileMemory(size) > ctx.card.freeMemory) {
        return statusOnly(st::kOutOfEeprom);
    }
    DataFile file;
    file.fileNo = fileNo;
    file.type = type;
    file.comm = comm;
    file.accessRights = static_cast<uint16_t>(data[3] << 8 | data[2]);
    file.data.assign(size, 0);
    app->files.push_back(std::move(file));
    ctx.card.freeMemory -= fileMemory(size);
    Reply reply = statusOnly(st::kOk);
    reply.stateChanged = true;
    return reply;
}

struct Header {
    uint8_t fileNo;
    uint32_t offset;
    uint32_t length;
};

Header headerOf(Data data) {
    return Header{data[0], readLe24(data.subspan(1)), readLe24(data.subspan(4))};
}

// The file a read or write names, with the access it gets: F0, 9D or AE when refused.
DataFile* fileFor(CardContext& ctx, uint8_t fileNo, bool write, Access& access) {
    Application* app = selectedApplication(ctx);
    if (app == nullptr) {
        access.status = st::kPermissionDenied;
        return nullptr;
    }
    DataFile* file = findFile(*app, fileNo);
    if (file == nullptr) {
        access.status = st::kFileNotFound;
        return nullptr;
    }
    access = write ? writeAccess(*file, ctx.session) : readAccess(*file, ctx.session);
    return access.status == st::kOk ? file : nullptr;
}

Reply finishWrite(CardContext& ctx, const IncomingWrite& write) {
    std::optional<std::vector<uint8_t>> data =
        desfire::check(desfire::Direction::ToCard, write.mode, ctx.session.sessionKey,
                       write.received, write.length);
    if (!data) {
        return statusOnly(st::kIntegrityError);
    }
    // Nothing ran between the frames of the write, so the file is still there.
    DataFile* file = findFile(*selectedApplication(ctx), write.fileNo);
    auto at = static_cast<ptrdiff_t>(write.offset);
    Reply reply = statusOnly(st::kOk);
    if (file->type == kBackupDataFile) {
        auto [pending, fresh] = ctx.session.pendingBackup.try_emplace(write.fileNo, file->data);
        std::copy(data->begin(), data->end(), pending->second.begin() + at);
        return reply;
    }
    reply.stateChanged = !std::equal(data->begin(), data->end(), file->data.begin() + at);
    std::copy(data->begin(), data->end(), file->data.begin() + at);
    return reply;
}

}  // namespace

Reply createStdDataFile(CardContext& ctx, Data data) {
    return createDataFile(ctx, data, kStandardDataFile);
}

Reply createBackupDataFile(CardContext& ctx, Data data) {
    return createDataFile(ctx, data, kBackupDataFile);
}

// The memory is given back at once, which keeps FormatPICC's accounting exact.
Reply deleteFile(CardContext& ctx, Data data) {
    if (data.size() != 1) {
        return statusOnly(st::kLengthError);
    }
    Application* app = nullptr;
    if (uint8_t status = applicationAccess(ctx, kFreeCreateDelete, app); status != st::kOk) {
        return statusOnly(status);
    }
    DataFile* file = findFile(*app, data[0]);
    if (file == nullptr) {
        return statusOnly(st::kFileNotFound);
    }
    releaseMemory(ctx.card, fileMemory(file->data.size()));
    uint8_t fileNo = data[0];
    std::erase_if(app->files, [fileNo](const DataFile& f) { return f.fileNo == fileNo; });
    ctx.session.pendingBackup.erase(fileNo);
    Reply reply = statusOnly(st::kOk);
    reply.stateChanged = true;
    return reply;
}

Reply getFileIds(CardContext& ctx, Data data) {
    if (!data.empty()) {
        return statusOnly(st::kLengthError);
    }
    Application* app = nullptr;
    if (uint8_t status = applicationAccess(ctx, kFreeListing, app); status != st::kOk) {
        return statusOnly(status);
    }
    Reply reply = statusOnly(st::kOk);
    for (const DataFile& file : app->files) {
        reply.data.push_back(file.fileNo);
    }
    return reply;
}

// Type Comm AccessRights(2, least significant first) Size(3).
Reply getFileSettings(CardContext& ctx, Data data) {
    if (data.size() != 1) {
        return statusOnly(st::kLengthError);
    }
    Application* app = nullptr;
    if (uint8_t status = applicationAccess(ctx, kFreeListing, app); status != st::kOk) {
        return statusOnly(status);
    }
    const DataFile* file = findFile(*app, data[0]);
    if (file == nullptr) {
        return statusOnly(st::kFileNotFound);
    }
    Reply reply = statusOnly(st::kOk);
    reply.data = {file->type, file->comm, static_cast<uint8_t>(file->accessRights),
                  static_cast<uint8_t>(file->accessRights >> 8)};
    appendLe24(reply.data, static_cast<uint32_t>(file->data.size()));
    return reply;
}

// Reads the committed content; length 0 reads to the end of the file.
Reply readData(CardContext& ctx, Data data) {
    if (data.size() != kHeaderSize) {
        return statusOnly(st::kLengthError);
    }
    Header header = headerOf(data);
    Access access;
    const DataFile* file = fileFor(ctx, header.fileNo, false, access);
    if (file == nullptr) {
        return statusOnly(access.status);
    }
    size_t size = file->data.size();
    size_t length =
        header.length == 0 ? size - std::min<size_t>(header.offset, size) : header.length;
    if (header.offset >= size || length == 0 || length > size - header.offset) {
        return statusOnly(st::kBoundaryError);
    }
    auto first = file->data.begin() + header.offset;
    std::vector<uint8_t> plain(first, first + static_cast<ptrdiff_t>(length));
    std::vector<uint8_t> out =
        desfire::protect(desfire::Direction::ToHost, access.mode, ctx.session.sessionKey, plain);
    return sendInFrames(ctx.session, std::move(out), desfire::kMaxResponseData);
}

// Everything the header decides is checked on the first frame; the data is checked and stored
// only when the last frame has arrived.
Reply writeData(CardContext& ctx, Data data) {
    if (data.size() < kHeaderSize) {
        return statusOnly(st::kLengthError);
    }
    Header header = headerOf(data);
    Access access;
    const DataFile* file = fileFor(ctx, header.fileNo, true, access);
    if (file == nullptr) {
        return statusOnly(access.status);
    }
    if (header.length == 0) {
        return statusOnly(st::kLengthError);
    }
    if (header.offset >= file->data.size() || header.length > file->data.size() - header.offset) {
        return statusOnly(st::kBoundaryError);
    }
    IncomingWrite write;
    write.fileNo = header.fileNo;
    write.offset = header.offset;
    write.length = header.length;
    write.mode = access.mode;
    write.expected = desfire::transferLength(access.mode, header.length);
    return continueWrite(ctx, std::move(write), data.subspan(kHeaderSize));
}

Reply continueWrite(CardContext& ctx, IncomingWrite write, Data data) {
    if (write.received.size() + data.size() > write.expected) {
        return statusOnly(st::kLengthError);
    }
    write.received.insert(write.received.end(), data.begin(), data.end());
    if (write.received.size() < write.expected) {
        ctx.session.chain = std::move(write);
        return statusOnly(st::kAdditionalFrame);
    }
    return finishWrite(ctx, write);
}

Reply commitTransaction(CardContext& ctx, Data data) {
    if (!data.empty()) {
        return statusOnly(st::kLengthError);
    }
    if (ctx.session.pendingBackup.empty()) {
        return statusOnly(st::kNoChanges);
    }
    Reply reply = statusOnly(st::kOk);
    Application* app = selectedApplication(ctx);
    for (auto& [fileNo, content] : ctx.session.pendingBackup) {
        DataFile* file = app == nullptr ? nullptr : findFile(*app, fileNo);
        if (file != nullptr && file->data != content) {
            file->data = std::move(content);
            reply.stateChanged = true;
        }
    }
    ctx.session.pendingBackup.clear();
    return reply;
}

Reply abortTransaction(CardContext& ctx, Data data) {
    if (!data.empty()) {
        return statusOnly(st::kLengthError);
    }
    if (ctx.session.pendingBackup.empty()) {
        return statusOnly(st::kNoChanges);
    }
    ctx.session.pendingBackup.clear();
    return statusOnly(st::kOk);
}

}  // namespace zendor::vcard

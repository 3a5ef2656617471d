#include "bench/frame_log.h"

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

#include "desfire/protocol.h"
#include "marlix/reader.h"
#include "marlix/transport.h"

namespace zendor::bench {
namespace {

namespace ins = desfire::ins;

constexpr std::array<std::pair<uint8_t, std::string_view>, 20> kCommandNames{{
    {ins::kAuthenticate, "Authenticate"},
    {ins::kChangeKeySettings, "ChangeKeySettings"},
    {ins::kGetKeySettings, "GetKeySettings"},
    {ins::kChangeKey, "ChangeKey"},
    {ins::kGetKeyVersion, "GetKeyVersion"},
    {ins::kCreateApplication, "CreateApplication"},
    {ins::kDeleteApplication, "DeleteApplication"},
    {ins::kGetApplicationIds, "GetApplicationIDs"},
    {ins::kSelectApplication, "SelectApplication"},
    {ins::kFormatPicc, "FormatPICC"},
    {ins::kGetVersion, "GetVersion"},
    {ins::kGetFileIds, "GetFileIDs"},
    {ins::kGetFileSettings, "GetFileSettings"},
    {ins::kCreateStdDataFile, "CreateStdDataFile"},
    {ins::kCreateBackupDataFile, "CreateBackupDataFile"},
    {ins::kDeleteFile, "DeleteFile"},
    {ins::kReadData, "ReadData"},
    {ins::kWriteData, "WriteData"},
    {ins::kCommitTransaction, "CommitTransaction"},
    {ins::kAbortTransaction, "AbortTransaction"},
}};

std::string_view commandName(uint8_t code) {
    for (const auto& [known, name] : kCommandNames) {
        if (known == code) {
            return name;
        }
    }
    return "other command";
}

// A wrapped command is 90 INS 00 00 [Lc data] 00: its data follow the Lc byte.
size_t commandDataOf(const std::vector<uint8_t>& command) {
    return command.size() > 5 ? command[4] : 0;
}

size_t responseDataOf(const std::vector<uint8_t>& response) {
    return response.size() >= 2 ? response.size() - 2 : 0;
}

bool asksForMore(const std::vector<uint8_t>& response) {
    return response.size() >= 2 && response[response.size() - 2] == desfire::kSw1Desfire &&
           response.back() == desfire::st::kAdditionalFrame;
}

size_t ceilDiv(size_t a, size_t b) {
    return (a + b - 1) / b;
}

void add(FrameFigures& sum, const FrameFigures& part) {
    sum.frames += part.frames;
    sum.commandBytes += part.commandBytes;
    sum.responseBytes += part.responseBytes;
}

class LoggingTransport final : public marlix::Transport {
  public:
    LoggingTransport(std::unique_ptr<marlix::Transport> inner, std::vector<Frame>& frames)
        : inner_(std::move(inner)), frames_(frames) {}

    int16_t activate(marlix::Activation& out) override { return inner_->activate(out); }
    int16_t requestAts(std::span<uint8_t> ats, uint8_t& length) override {
        return inner_->requestAts(ats, length);
    }
    int16_t transmit(std::span<const uint8_t> command, std::vector<uint8_t>& response) override {
        int16_t status = inner_->transmit(command, response);
        frames_.push_back(
            {{command.begin(), command.end()}, status == 0 ? response : std::vector<uint8_t>()});
        return status;
    }
    void deselect() override { inner_->deselect(); }

  private:
    std::unique_ptr<marlix::Transport> inner_;
    std::vector<Frame>& frames_;
};

}  // namespace

std::vector<Transfer> splitTransfers(std::span<const Frame> frames) {
    std::vector<Transfer> transfers;
    const Frame* previous = nullptr;
    for (const Frame& frame : frames) {
        uint8_t code = frame.command.size() > 1 ? frame.command[1] : 0;
        size_t sent = commandDataOf(frame.command);
        bool continues = previous != nullptr && asksForMore(previous->response) &&
                         code == ins::kAdditionalFrame &&
                         !(sent > 0 && responseDataOf(previous->response) > 0);
        if (!continues) {
            std::string_view name = commandName(code);
            if (code == ins::kAdditionalFrame && !transfers.empty()) {
                name = transfers.back().name == "Authenticate" ? "Authenticate, step 2" : name;
            }
            transfers.push_back({name, 0, 0, {}});
        }
        Transfer& transfer = transfers.back();
        transfer.commandData += sent;
        transfer.responseData += responseDataOf(frame.response);
        add(transfer.used, {1, frame.command.size(), frame.response.size()});
        previous = &frame;
    }
    return transfers;
}

FrameFigures minimumFigures(size_t commandData, size_t responseData) {
    size_t sending = std::max<size_t>(1, ceilDiv(commandData, desfire::kMaxCommandData));
    size_t receiving = std::max<size_t>(1, ceilDiv(responseData, desfire::kMaxResponseData));
    FrameFigures least;
    least.frames = sending + receiving - 1;
    // 90 INS 00 00 Lc ... 00 with data, 90 INS 00 00 00 without; 91 st after every answer.
    least.commandBytes = (commandData > 0 ? commandData + 6 * sending : 5) + 5 * (receiving - 1);
    least.responseBytes = responseData + 2 * least.frames;
    return least;
}

std::vector<CommandTotals> totalsByCommand(std::span<const Transfer> transfers) {
    std::vector<CommandTotals> totals;
    for (const Transfer& transfer : transfers) {
        auto found = std::find_if(totals.begin(), totals.end(),
                                  [&](const CommandTotals& t) { return t.name == transfer.name; });
        if (found == totals.end()) {
            totals.push_back({transfer.name, 0, 0, 0, {}, {}});
            found = totals.end() - 1;
        }
        ++found->count;
        found->commandData += transfer.commandData;
        found->responseData += transfer.responseData;
        add(found->used, transfer.used);
        add(found->minimum, minimumFigures(transfer.commandData, transfer.responseData));
    }
    return totals;
}

CommandTotals overallTotals(std::span<const CommandTotals> commands) {
    CommandTotals all{"all", 0, 0, 0, {}, {}};
    for (const CommandTotals& command : commands) {
        all.count += command.count;
        all.commandData += command.commandData;
        all.responseData += command.responseData;
        add(all.used, command.used);
        add(all.minimum, command.minimum);
    }
    return all;
}

FrameLog::FrameLog() {
    marlix::setTransportFactory([this](const marlix::DeviceName& device) {
        std::unique_ptr<marlix::Transport> inner = marlix::openDefaultTransport(device);
        if (!inner) {
            return std::unique_ptr<marlix::Transport>();
        }
        return std::unique_ptr<marlix::Transport>(
            std::make_unique<LoggingTransport>(std::move(inner), frames));
    });
}

FrameLog::~FrameLog() {
    marlix::setTransportFactory({});
}

}  // namespace zendor::bench

// Names of the statuses, for diagnostics and documentation.
#include "marlix/status.h"

#include <array>
#include <utility>

namespace zendor::marlix {
namespace {

constexpr std::array<std::pair<int16_t, std::string_view>, 17> kNames{{
    {kOk, "ok"},
    {kNoCard, "no card"},
    {kNoReader, "no reader or no card activated"},
    {kNoAnswer, "no answer from the card"},
    {kCardRemoved, "card removed"},
    {kBadAnswer, "malformed answer"},
    {kIsoStatus, "ISO status word other than 91xx"},
    {kCryptogramCheck, "cryptogram check failed"},
    {kCardBusy, "card file held by another connection"},
    {kCardFileError, "card file cannot be used"},
    {kNotAuthenticated, "not authenticated"},
    {kBadArgument, "bad argument"},
    {kUnsupportedComm, "unsupported communication setting"},
    {kReaderError, "reader error"},
    {kInternalError, "internal error of the card library"},
    {kReaderBusy, "card held by another program"},
    {kNotDesfire, "not a DESFire card"},
}};

// Ours never repeat and never fall in the band of the card's status bytes.
constexpr bool statusesApart() {
    for (size_t i = 0; i < kNames.size(); ++i) {
        const int16_t code = kNames[i].first;
        if (code <= cardStatus(0x00) && code >= cardStatus(0xFF)) {
            return false;
        }
        for (size_t j = i + 1; j < kNames.size(); ++j) {
            if (kNames[j].first == code) {
                return false;
            }
        }
    }
    return true;
}
static_assert(statusesApart());

}  // namespace

std::string_view statusName(int16_t status) {
    for (const auto& [code, name] : kNames) {
        if (code == status) {
            return name;
        }
    }
    if (status <= cardStatus(0x00) && status >= cardStatus(0xFF)) {
        return "card status";
    }
    return "unknown status";
}

}  // namespace zendor::marlix

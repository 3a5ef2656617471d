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

}  // namespace

std::string_view statusName(int16_t status) {
    for (const auto& [code, name] : kNames) {
        if (code == status) {
            return name;
        }
    }
    if (status <= -1000 && status >= -1255) {
        return "card status";
    }
    return "unknown status";
}

}  // namespace zendor::marlix

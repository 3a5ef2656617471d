// Why PC/SC stopped a run, in one line a user can act on: the service refusing this user or the
// card, a service gone, the kernel's NFC driver holding a reader; any other failure named as
// both pcsc-lite and WinSCard name it, with its code, so that it can be looked up.
#pragma once

#include <string>

#include "marlix/pcsc_api.h"

namespace zendor::marlix::pcsc {

// "SCARD_E_NO_MEMORY (0x80100006)"; a code neither API names shows as its number alone.
std::string failureName(LONG result);

// The line for a failed SCardEstablishContext: the service refuses this user, there is none, or
// the failure by its name.
void explainEstablishFailure(LONG result);

// The line for a failed SCardListReaders: the service went away, or the failure by its name.
void explainListFailure(LONG result);

// The line for an SCardConnect failure that no status tells by itself: the service refuses this
// user the card on reader, the service went away, or the failure by its name.
void explainConnectFailure(LONG result, const std::string& reader);

// After a reader was not found: the line that names the USB readers the kernel's own NFC
// drivers hold, if any (sysRoot: where sysfs is mounted). pcscd lists no reader it could not
// claim, so nothing else would tell the user why theirs is missing.
void explainMissingReader(const std::string& sysRoot);

}  // namespace zendor::marlix::pcsc

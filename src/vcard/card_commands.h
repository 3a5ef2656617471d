// The virtual card's native command handlers. Each gets the data after INS (at most one frame),
// checks everything before it changes anything, and answers one frame; a handler that needs more
// frames leaves its progress in CardSession::chain. Private to vcard.
#pragma once

#include <span>

#include "vcard/card_session.h"

namespace zendor::vcard {

using Data = std::span<const uint8_t>;

// Card level and applications (card_picc_commands.cpp).
Reply getVersion(CardContext& ctx, Data data);
Reply getFreeMemory(CardContext& ctx, Data data);
Reply selectApplication(CardContext& ctx, Data data);
Reply formatPicc(CardContext& ctx, Data data);
Reply createApplication(CardContext& ctx, Data data);
Reply deleteApplication(CardContext& ctx, Data data);
Reply getApplicationIds(CardContext& ctx, Data data);

// Keys (card_key_commands.cpp).
Reply authenticate(CardContext& ctx, Data data);
Reply continueAuthenticate(CardContext& ctx, const AwaitingToken& waiting, Data data);
Reply changeKey(CardContext& ctx, Data data);
Reply changeKeySettings(CardContext& ctx, Data data);
Reply getKeySettings(CardContext& ctx, Data data);
Reply getKeyVersion(CardContext& ctx, Data data);

// Files and transactions (card_file_commands.cpp).
Reply createStdDataFile(CardContext& ctx, Data data);
Reply createBackupDataFile(CardContext& ctx, Data data);
Reply deleteFile(CardContext& ctx, Data data);
Reply getFileIds(CardContext& ctx, Data data);
Reply getFileSettings(CardContext& ctx, Data data);
Reply readData(CardContext& ctx, Data data);
Reply writeData(CardContext& ctx, Data data);
Reply continueWrite(CardContext& ctx, IncomingWrite write, Data data);
Reply commitTransaction(CardContext& ctx, Data data);
Reply abortTransaction(CardContext& ctx, Data data);

}  // namespace zendor::vcard

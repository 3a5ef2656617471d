// Command line of zendor-vcard: "new" and "serve", their options and their messages.
#include "vpcd/vcard_tool.h"

#include <charconv>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "platform/file_system.h"
#include "text/hex.h"
#include "vcard/card_file.h"
#include "vpcd/vpcd_server.h"

namespace zendor::vpcd {

using vcard::CardConnection;
using vcard::CardLock;
using vcard::CardState;
using vcard::factoryFreshCard;
using vcard::kFactoryFreeMemory;
using vcard::kFactoryPiccKeySettings;
using vcard::kUidSize;
using vcard::resolveCardPath;
using vcard::Uid;
using vcard::writeCardFile;
namespace {

constexpr uint16_t kDefaultPort = 35963;  // vpcd's first slot, reader "Virtual PCD 00 00"
constexpr unsigned kDefaultWaitSeconds = 30;

// A printf format: the UID length and the free memory come from the card's own rules.
constexpr const char* kUsage =
    "zendor-vcard: a virtual MIFARE DESFire EV1 card (legacy mode) for PC/SC programs\n"
    "\n"
    "zendor-vcard new CARD.json [--uid HEX] [--force]\n"
    "  Writes a factory-fresh card file: UID HEX (%zu hexadecimal digits, %zu bytes) or a random\n"
    "  one that begins with 04, card master key all zero (DES), key settings %02X, %u bytes\n"
    "  free (an 8 KB card), no application. An existing file is kept unless --force is given.\n"
    "\n"
    "zendor-vcard serve CARD.json [--host ADDRESS] [--port N] [--wait SECONDS] [--verbose]\n"
    "                             [--not-desfire]\n"
    "  Puts the card on a reader of pcscd through the vpcd driver (Debian package\n"
    "  vsmartcard-vpcd): connects to vpcd at ADDRESS:N (default 127.0.0.1:35963, the reader\n"
    "  \"Virtual PCD 00 00\"; port 35964 is \"Virtual PCD 00 01\") and keeps trying for\n"
    "  SECONDS (default 30) while vpcd is not there yet. The card answers with the ATR\n"
    "  3B 81 80 01 80 80 and DESFire commands; power off, power on and reset end its session.\n"
    "  The card file stays locked while serving and is saved after every command that\n"
    "  changes the card.\n"
    "  \"removeAfterFrames\": N in the card file pulls the card away: N commands after a\n"
    "  power-on or reset are answered, and when one more arrives the connection is closed\n"
    "  without answering it, the card leaves the reader and serving ends.\n"
    "  Serving ends on SIGINT or SIGTERM, or when pcscd closes the connection.\n"
    "  --verbose      print every command and answer in hexadecimal\n"
    "  --not-desfire  test aid: answer GetVersion with 91 1C (illegal command), as a card\n"
    "                 that is not a DESFire does\n"
    "\n"
    "Messages go to standard output, one line each. Exit status: 0 when the command did its\n"
    "work, 1 on an error.\n";

int usageError(const std::string& reason) {
    std::printf("zendor-vcard: %s\nTry 'zendor-vcard --help' for help.\n", reason.c_str());
    return 1;
}

std::optional<Uid> parseUid(std::string_view text) {
    Uid uid{};
    if (!text::parseHex(text, uid)) {
        return std::nullopt;
    }
    return uid;
}

template <typename Number>
bool parseNumber(std::string_view text, Number low, Number high, Number& out) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && out >= low && out <= high;
}

struct Options {
    std::string card;
    std::optional<std::string> uid;
    bool force = false;
    std::string host = "127.0.0.1";
    uint16_t port = kDefaultPort;
    unsigned waitSeconds = kDefaultWaitSeconds;
    bool verbose = false;
    bool notDesfire = false;
};

// Options after the command word, in any order; the one word without "--" is the card file.
// Returns the error text, empty when all was understood.
std::string parseOptions(bool serve, std::span<const std::string_view> args, Options& options) {
    for (size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        bool hasValue = i + 1 < args.size();
        std::string_view value = hasValue ? args[i + 1] : std::string_view();
        if (arg == "--force" && !serve) {
            options.force = true;
        } else if (arg == "--verbose" && serve) {
            options.verbose = true;
        } else if (arg == "--not-desfire" && serve) {
            options.notDesfire = true;
        } else if (arg == "--uid" && !serve && hasValue) {
            options.uid = std::string(value);
            ++i;
        } else if (arg == "--host" && serve && hasValue && !value.empty()) {
            options.host = std::string(value);
            ++i;
        } else if (arg == "--port" && serve && hasValue) {
            if (!parseNumber<uint16_t>(value, 1, 65535, options.port)) {
                return "--port needs a number from 1 to 65535";
            }
            ++i;
        } else if (arg == "--wait" && serve && hasValue) {
            if (!parseNumber<unsigned>(value, 0, 86400, options.waitSeconds)) {
                return "--wait needs a number of seconds from 0 to 86400";
            }
            ++i;
        } else if (!arg.empty() && !arg.starts_with("--") && options.card.empty()) {
            options.card = std::string(arg);
        } else {
            return "unexpected argument '" + std::string(arg) + "'";
        }
    }
    return options.card.empty() ? "the card file is missing" : "";
}

void printBusy(const std::string& path) {
    std::printf("Card file '%s' is in use by another program\n", path.c_str());
}

void printLockFailure(const std::string& path, const std::string& error) {
    std::printf("Card file '%s' cannot be locked: %s\n", path.c_str(), error.c_str());
}

std::optional<CardLock> lockCard(const std::string& path) {
    bool busy = false;
    std::string error;
    std::optional<CardLock> lock = CardLock::acquire(path, busy, error);
    if (!lock) {
        busy ? printBusy(path) : printLockFailure(path, error);
    }
    return lock;
}

int newCard(const Options& options) {
    CardState card = factoryFreshCard();
    if (options.uid) {
        std::optional<Uid> uid = parseUid(*options.uid);
        if (!uid) {
            return usageError("--uid needs " + std::to_string(2 * kUidSize) +
                              " hexadecimal digits (" + std::to_string(kUidSize) + " bytes)");
        }
        card.uid = *uid;
    }
    std::optional<CardLock> lock = lockCard(options.card);
    if (!lock) {
        return 1;
    }
    std::string target, error;
    platform::FileInfo info;
    if (resolveCardPath(options.card, target, error)) {
        error = platform::inspect(target, info).text;
    }
    if (error.empty() && !options.force && info.kind != platform::EntryKind::Missing) {
        std::printf("Card file '%s' exists already; --force replaces it\n", options.card.c_str());
        return 1;
    }
    if (!error.empty() || !writeCardFile(options.card, card, error)) {
        std::printf("Card file '%s' cannot be written: %s\n", options.card.c_str(), error.c_str());
        return 1;
    }
    std::printf("Card file '%s' written: factory-fresh card, UID %s\n", options.card.c_str(),
                text::toHex(card.uid).c_str());
    return 0;
}

// The card locked for as long as it is served; its state and the text a save compares against
// come from one read, so an edit made after it is another program's change, never overwritten
// unseen. A missing file is not made here: serving needs a card that exists.
std::unique_ptr<CardConnection> openServedCard(const std::string& path) {
    CardConnection::OpenResult opened = CardConnection::open(path, CardConnection::FrameLog::None);
    switch (opened.status) {
        case CardConnection::OpenStatus::Ok:
            if (opened.connection->hasFile()) {
                return std::move(opened.connection);
            }
            std::printf("Card file '%s' does not exist; zendor-vcard new makes one\n",
                        path.c_str());
            break;
        case CardConnection::OpenStatus::Busy:
            printBusy(path);
            break;
        case CardConnection::OpenStatus::IoError:
            printLockFailure(path, opened.error);
            break;
        case CardConnection::OpenStatus::Invalid:
            std::printf("Card file '%s' is not valid: %s\n", path.c_str(), opened.error.c_str());
            break;
        case CardConnection::OpenStatus::Unreadable:
            std::printf("Card file '%s' cannot be read: %s\n", path.c_str(), opened.error.c_str());
            break;
    }
    return nullptr;
}

int serveCard(const Options& options, const std::atomic<bool>& stop) {
    std::unique_ptr<CardConnection> card = openServedCard(options.card);
    if (!card) {
        return 1;
    }
    int fd =
        connectToVpcd(options.host, options.port, std::chrono::seconds(options.waitSeconds), stop);
    if (fd < 0) {
        return stop ? 0 : 1;
    }
    std::printf("Serving card %s from '%s' on vpcd at %s:%u\n",
                text::toHex(card->card().uid).c_str(), options.card.c_str(), options.host.c_str(),
                options.port);
    const ServeOptions serve{options.card, options.notDesfire, options.verbose};
    switch (serveVpcd(fd, *card, serve, stop)) {
        case ServeEnd::PeerClosed:
        case ServeEnd::CardRemoved:
            return 0;
        case ServeEnd::Stopped:
            std::printf("Stopped\n");
            return 0;
        case ServeEnd::Failed:
            break;
    }
    return 1;
}

}  // namespace

int runVcardTool(std::span<const std::string_view> args, const std::atomic<bool>& stop) {
    for (std::string_view arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::printf(kUsage, 2 * kUidSize, kUidSize, unsigned{kFactoryPiccKeySettings},
                        unsigned{kFactoryFreeMemory});
            return 0;
        }
    }
    if (args.empty()) {
        return usageError("a command is missing (new or serve)");
    }
    bool serve = args[0] == "serve";
    if (!serve && args[0] != "new") {
        return usageError("unknown command '" + std::string(args[0]) + "'");
    }
    Options options;
    std::string error = parseOptions(serve, args.subspan(1), options);
    if (!error.empty()) {
        return usageError(error);
    }
    return serve ? serveCard(options, stop) : newCard(options);
}

}  // namespace zendor::vpcd

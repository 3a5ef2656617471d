// The names of the PC/SC return codes, taken from the API's own header so that each has the
// value the system gives it. Only the names pcsc-lite and WinSCard share, with one value:
// SCARD_E_UNSUPPORTED_FEATURE is left out, pcsc-lite gives it SCARD_E_UNEXPECTED's code.
#include "marlix/pcsc_failure.h"

#include <array>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "platform/usb_bindings.h"

namespace zendor::marlix::pcsc {
namespace {

struct Named {
    LONG code;
    std::string_view name;
};

#define ZENDOR_SCARD(code) \
    Named {                \
        code, #code        \
    }

constexpr std::array kNames{
    ZENDOR_SCARD(SCARD_F_INTERNAL_ERROR),
    ZENDOR_SCARD(SCARD_E_CANCELLED),
    ZENDOR_SCARD(SCARD_E_INVALID_HANDLE),
    ZENDOR_SCARD(SCARD_E_INVALID_PARAMETER),
    ZENDOR_SCARD(SCARD_E_INVALID_TARGET),
    ZENDOR_SCARD(SCARD_E_NO_MEMORY),
    ZENDOR_SCARD(SCARD_F_WAITED_TOO_LONG),
    ZENDOR_SCARD(SCARD_E_INSUFFICIENT_BUFFER),
    ZENDOR_SCARD(SCARD_E_UNKNOWN_READER),
    ZENDOR_SCARD(SCARD_E_TIMEOUT),
    ZENDOR_SCARD(SCARD_E_SHARING_VIOLATION),
    ZENDOR_SCARD(SCARD_E_NO_SMARTCARD),
    ZENDOR_SCARD(SCARD_E_UNKNOWN_CARD),
    ZENDOR_SCARD(SCARD_E_CANT_DISPOSE),
    ZENDOR_SCARD(SCARD_E_PROTO_MISMATCH),
    ZENDOR_SCARD(SCARD_E_NOT_READY),
    ZENDOR_SCARD(SCARD_E_INVALID_VALUE),
    ZENDOR_SCARD(SCARD_E_SYSTEM_CANCELLED),
    ZENDOR_SCARD(SCARD_F_COMM_ERROR),
    ZENDOR_SCARD(SCARD_F_UNKNOWN_ERROR),
    ZENDOR_SCARD(SCARD_E_INVALID_ATR),
    ZENDOR_SCARD(SCARD_E_NOT_TRANSACTED),
    ZENDOR_SCARD(SCARD_E_READER_UNAVAILABLE),
    ZENDOR_SCARD(SCARD_P_SHUTDOWN),
    ZENDOR_SCARD(SCARD_E_PCI_TOO_SMALL),
    ZENDOR_SCARD(SCARD_E_READER_UNSUPPORTED),
    ZENDOR_SCARD(SCARD_E_DUPLICATE_READER),
    ZENDOR_SCARD(SCARD_E_CARD_UNSUPPORTED),
    ZENDOR_SCARD(SCARD_E_NO_SERVICE),
    ZENDOR_SCARD(SCARD_E_SERVICE_STOPPED),
    ZENDOR_SCARD(SCARD_E_UNEXPECTED),
    ZENDOR_SCARD(SCARD_E_ICC_INSTALLATION),
    ZENDOR_SCARD(SCARD_E_ICC_CREATEORDER),
    ZENDOR_SCARD(SCARD_E_DIR_NOT_FOUND),
    ZENDOR_SCARD(SCARD_E_FILE_NOT_FOUND),
    ZENDOR_SCARD(SCARD_E_NO_DIR),
    ZENDOR_SCARD(SCARD_E_NO_FILE),
    ZENDOR_SCARD(SCARD_E_NO_ACCESS),
    ZENDOR_SCARD(SCARD_E_WRITE_TOO_MANY),
    ZENDOR_SCARD(SCARD_E_BAD_SEEK),
    ZENDOR_SCARD(SCARD_E_INVALID_CHV),
    ZENDOR_SCARD(SCARD_E_UNKNOWN_RES_MNG),
    ZENDOR_SCARD(SCARD_E_NO_SUCH_CERTIFICATE),
    ZENDOR_SCARD(SCARD_E_CERTIFICATE_UNAVAILABLE),
    ZENDOR_SCARD(SCARD_E_NO_READERS_AVAILABLE),
    ZENDOR_SCARD(SCARD_E_COMM_DATA_LOST),
    ZENDOR_SCARD(SCARD_E_NO_KEY_CONTAINER),
    ZENDOR_SCARD(SCARD_E_SERVER_TOO_BUSY),
    ZENDOR_SCARD(SCARD_W_UNSUPPORTED_CARD),
    ZENDOR_SCARD(SCARD_W_UNRESPONSIVE_CARD),
    ZENDOR_SCARD(SCARD_W_UNPOWERED_CARD),
    ZENDOR_SCARD(SCARD_W_RESET_CARD),
    ZENDOR_SCARD(SCARD_W_REMOVED_CARD),
    ZENDOR_SCARD(SCARD_W_SECURITY_VIOLATION),
    ZENDOR_SCARD(SCARD_W_WRONG_CHV),
    ZENDOR_SCARD(SCARD_W_CHV_BLOCKED),
    ZENDOR_SCARD(SCARD_W_EOF),
    ZENDOR_SCARD(SCARD_W_CANCELLED_BY_USER),
    ZENDOR_SCARD(SCARD_W_CARD_NOT_AUTHENTICATED),
};

#undef ZENDOR_SCARD

// The kernel's own NFC drivers for USB readers that a PC/SC driver also serves: pn533_usb takes
// the ACR122U (which libccid serves) and the other PN533-based readers before pcscd can. Its
// kin port100 (Sony RC-S380) and nfcmrvl_usb (Marvell) take no reader that pcsc-lite has a
// driver for, so naming them would send a user after the wrong cause.
constexpr std::array<std::string_view, 1> kNfcDrivers{"pn533_usb"};

// A service that answered once and no longer does: pcscd stopped (or its socket-started
// instance ended), or Windows stopped the Smart Card service.
bool serviceGone(LONG result) {
    return result == SCARD_E_NO_SERVICE || result == SCARD_E_SERVICE_STOPPED;
}

void printServiceGone() {
    std::printf("The PC/SC service stopped while in use (%s)\n", kServiceHint);
}

void printFailure(const char* call, LONG result) {
    std::printf("PC/SC failure: %s answered %s\n", call, failureName(result).c_str());
}

}  // namespace

std::string failureName(LONG result) {
    // Both APIs' codes are 32-bit; pcsc-lite holds them in a long, WinSCard in a signed 32-bit.
    std::array<char, 16> number{};
    std::snprintf(number.data(), number.size(), "0x%08" PRIX32, static_cast<uint32_t>(result));
    for (const Named& named : kNames) {
        if (named.code == result) {
            return std::string(named.name) + " (" + number.data() + ")";
        }
    }
    return number.data();
}

void explainEstablishFailure(LONG result) {
    if (result == SCARD_W_SECURITY_VIOLATION) {
        std::printf("%s PC/SC to this user (%s)\n", kRefuser, kRefusalHint);
    } else if (serviceGone(result)) {
        std::printf("No PC/SC service (%s)\n", kServiceHint);
    } else {
        printFailure("SCardEstablishContext", result);
    }
}

void explainListFailure(LONG result) {
    if (serviceGone(result)) {
        printServiceGone();
    } else {
        printFailure("SCardListReaders", result);
    }
}

void explainConnectFailure(LONG result, const std::string& reader) {
    if (result == SCARD_W_SECURITY_VIOLATION) {
        std::printf("%s this user the card on reader '%s' (%s)\n", kRefuser, reader.c_str(),
                    kRefusalHint);
    } else if (serviceGone(result)) {
        printServiceGone();
    } else {
        std::printf("PC/SC failure on reader '%s': SCardConnect answered %s\n", reader.c_str(),
                    failureName(result).c_str());
    }
}

void explainMissingReader(const std::string& sysRoot) {
    std::string devices;
    size_t count = 0;
    for (const platform::UsbBinding& binding :
         platform::usbInterfacesBoundTo(sysRoot, kNfcDrivers)) {
        devices += (count++ == 0 ? "" : ", ") +
                   (binding.device.empty() ? "at " + binding.usbInterface : binding.device) + " (" +
                   binding.driver + ")";
    }
    if (count > 0) {
        std::printf(
            "The kernel's NFC driver holds the USB reader%s %s, so pcscd cannot use %s "
            "(see man zendorcfg, DIAGNOSTICS)\n",
            count == 1 ? "" : "s", devices.c_str(), count == 1 ? "it" : "them");
    }
}

}  // namespace zendor::marlix::pcsc

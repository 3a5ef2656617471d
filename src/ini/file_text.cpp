// Reading a file whole, opened through the platform seam, and making its bytes the text the line
// rules read.
#include "ini/file_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "platform/file_stream.h"

namespace zendor::ini {

namespace {

// The stream read to its end through the seam, which caps it at the limit.
FileStatus readToEnd(std::FILE* stream, std::string& bytes, std::string& reason) {
    const platform::Outcome read = platform::readStreamToEnd(stream, kMaxFileSize, bytes);
    if (read) {
        return FileStatus::Read;
    }
    if (read.fault == platform::Fault::TooLarge) {
        return FileStatus::TooLarge;
    }
    reason = read.text;
    return FileStatus::Unreadable;
}

constexpr std::string_view kLittleEndianMark{"\xFF\xFE", 2};
constexpr std::string_view kBigEndianMark{"\xFE\xFF", 2};
constexpr char32_t kReplacement = 0xFFFD;

char32_t unitAt(std::string_view units, size_t at, bool bigEndian) {
    const auto first = static_cast<unsigned char>(units[at]);
    const auto second = static_cast<unsigned char>(units[at + 1]);
    return bigEndian ? char32_t(first << 8 | second) : char32_t(second << 8 | first);
}

constexpr bool isHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

constexpr bool isLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// 8-bit text (ASCII, a Windows or DOS code page, UTF-8) holds no NUL and no C0 control but
// TAB, LF and CR.
constexpr bool isEightBitTextByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 || c == '\t' || c == '\n' || c == '\r';
}

constexpr bool isAsciiTextByte(char c) {
    return isEightBitTextByte(c) && static_cast<unsigned char>(c) < 0x80;
}

// Where the last unit below U+0080 ends. 8-bit text has no NUL byte, so none of its byte pairs
// is such a unit: text appended to UTF-16 lies wholly after this point.
size_t afterLastAsciiUnit(std::string_view units, bool bigEndian) {
    size_t end = 0;
    for (size_t at = 0; at + 1 < units.size(); at += 2) {
        if (unitAt(units, at, bigEndian) < 0x80) {
            end = at + 2;
        }
    }
    return end;
}

// A run of one script (Gurmukhi or Gujarati ends in a byte 0x0A, like an 8-bit line) has one
// high byte in all its units; pairs of ASCII letters do not.
bool sharesOneHighByte(std::string_view units, bool bigEndian) {
    const size_t high = bigEndian ? 0 : 1;
    for (size_t at = 2; at + 1 < units.size(); at += 2) {
        if (units[at + high] != units[high]) {
            return false;
        }
    }
    return true;
}

// Whether tail, the bytes after the last unit below U+0080, is 8-bit text rather than the end of
// a line in some script. Real UTF-16 comes in pairs, never forms the bytes of CR LF (only
// unassigned U+0A0D, or a Malayalam or Sinhala letter before a unit ending in 0x0A), and its
// lines hold ASCII units (line ends, ';', '[', '='): lines without one (wholeText: no unit below
// U+0080 at all) hold no setting either. A single odd byte is taken for a unit cut in two.
bool isEightBitTail(std::string_view tail, bool bigEndian, bool wholeText) {
    if (tail.empty() || !std::ranges::all_of(tail, isEightBitTextByte)) {
        return false;
    }
    if (tail.size() % 2 != 0) {
        return tail.size() > 1;
    }
    const bool lines = tail.find('\n') != std::string_view::npos;
    if ((wholeText && lines) || tail.find("\r\n") != std::string_view::npos) {
        return true;
    }
    return tail.back() == '\n' && std::ranges::all_of(tail, isAsciiTextByte) &&
           !sharesOneHighByte(tail, bigEndian);
}

// A batch file appends to a UTF-16 file with `echo ... >>`, which writes 8-bit text.
bool endsInEightBitText(std::string_view units, bool bigEndian) {
    const size_t end = afterLastAsciiUnit(units, bigEndian);
    return isEightBitTail(units.substr(end), bigEndian, end == 0);
}

// The code point that starts at unit `at`; `at` is moved past it. A surrogate without its
// partner is U+FFFD.
char32_t nextCodePoint(std::string_view units, size_t& at, bool bigEndian) {
    const char32_t unit = unitAt(units, at, bigEndian);
    at += 2;
    if (isHighSurrogate(unit) && at < units.size()) {
        const char32_t low = unitAt(units, at, bigEndian);
        if (isLowSurrogate(low)) {
            at += 2;
            return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
    }
    return isHighSurrogate(unit) || isLowSurrogate(unit) ? kReplacement : unit;
}

// The UTF-8 bytes of a code point below U+110000 (no surrogate): 1 to 4 of utf8.
size_t encodeUtf8(char32_t c, std::array<char, 4>& utf8) {
    const auto byte = [](char32_t bits) { return static_cast<char>(bits); };
    if (c < 0x80) {
        utf8[0] = byte(c);
        return 1;
    }
    if (c < 0x800) {
        utf8 = {byte(0xC0 | c >> 6), byte(0x80 | (c & 0x3F))};
        return 2;
    }
    if (c < 0x10000) {
        utf8 = {byte(0xE0 | c >> 12), byte(0x80 | (c >> 6 & 0x3F)), byte(0x80 | (c & 0x3F))};
        return 3;
    }
    utf8 = {byte(0xF0 | c >> 18), byte(0x80 | (c >> 12 & 0x3F)), byte(0x80 | (c >> 6 & 0x3F)),
            byte(0x80 | (c & 0x3F))};
    return 4;
}

// A unit of 2 bytes can take 3 in UTF-8, so the text is bounded on its own: a file within the
// limit must not grow past it in memory.
FileStatus utf16ToUtf8(std::string_view units, bool bigEndian, std::string& text) {
    if (units.size() % 2 != 0) {
        return FileStatus::NotText;  // cut short: its last character is lost
    }
    text.reserve(std::min(units.size() / 2, kMaxFileSize));
    size_t at = 0;
    while (at < units.size()) {
        const char32_t c = nextCodePoint(units, at, bigEndian);
        if (c == 0) {
            return FileStatus::NotText;
        }
        std::array<char, 4> utf8{};
        const size_t length = encodeUtf8(c, utf8);
        if (length > kMaxFileSize - text.size()) {
            return FileStatus::TooLarge;
        }
        text.append(utf8.data(), length);
    }
    return FileStatus::Read;
}

}  // namespace

FileStatus decodeConfigText(std::string& bytes) {
    const std::string_view raw = bytes;
    const bool littleEndian = raw.starts_with(kLittleEndianMark);
    if (!littleEndian && !raw.starts_with(kBigEndianMark)) {
        return raw.find('\0') == std::string_view::npos ? FileStatus::Read : FileStatus::NotText;
    }
    const std::string_view units = raw.substr(2);
    if (endsInEightBitText(units, !littleEndian)) {
        return FileStatus::Mixed;
    }
    std::string text;
    const FileStatus status = utf16ToUtf8(units, !littleEndian, text);
    if (status == FileStatus::Read) {
        bytes.swap(text);
    }
    return status;
}

FileText readFileText(const char* fileName) {
    FileText file;
    std::FILE* stream = nullptr;
    if (fileName == nullptr) {
        return file;
    }
    // A file another program holds open is waited for by the seam; one still refused after
    // that, or refused by its rights, is there all the same and says why.
    if (platform::Outcome opened = platform::openStream(fileName, "rb", stream); !opened) {
        file.reason = opened.fault == platform::Fault::Missing ? "" : opened.text;
        return file;
    }
    file.status = readToEnd(stream, file.bytes, file.reason);
    std::fclose(stream);
    if (file.status == FileStatus::Read) {
        file.status = decodeConfigText(file.bytes);
    }
    if (file.status != FileStatus::Read) {
        file.bytes = std::string();
    }
    return file;
}

bool usableAsText(const FileText& file, const char* fileName) {
    if (file.status == FileStatus::TooLarge) {
        std::printf("Failed to read file '%s' : larger than %u MiB\n", fileName,
                    static_cast<unsigned>(kMaxFileSize >> 20));
        return false;
    }
    if (file.status == FileStatus::NotText) {
        std::printf("Failed to read file '%s' : not a text file\n", fileName);
        return false;
    }
    if (file.status == FileStatus::Unreadable && !file.reason.empty()) {
        std::printf("Failed to read file '%s' : %s\n", fileName, file.reason.c_str());
        return false;
    }
    if (file.status == FileStatus::Mixed) {
        std::printf(
            "Failed to read file '%s' : mixes two encodings (UTF-16, then 8-bit text); "
            "save it as UTF-8 before appending to it\n",
            fileName);
        return false;
    }
    return true;
}

}  // namespace zendor::ini

#include <windows.h>

#include <algorithm>

#include "platform/wide_path.h"

namespace zendor::platform {
namespace {

bool isVerbatimOrDevice(const std::wstring& path) {
    return path.starts_with(L"\\\\?\\") || path.starts_with(L"\\\\.\\");
}

// An absolute path in the form that the system takes as it is, whatever its length.
std::wstring verbatimOfFull(const std::wstring& full) {
    if (isVerbatimOrDevice(full)) {
        return full;
    }
    if (full.starts_with(L"\\\\")) {
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    return L"\\\\?\\" + full;
}

}  // namespace

std::wstring wideText(std::string_view utf8) {
    if (utf8.empty()) {
        return {};
    }
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(std::max(length, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(),
                        length);
    return text;
}

std::string utf8Text(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(std::max(length, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                        length, nullptr, nullptr);
    return bytes;
}

std::wstring fullPath(const std::wstring& path) {
    if (path.empty()) {
        return path;
    }
    std::wstring full(MAX_PATH, L'\0');
    DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length >= full.size()) {
        full.resize(length);
        length =
            GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    if (length == 0 || length >= full.size()) {
        return path;
    }
    full.resize(length);
    return full;
}

std::wstring verbatimPath(const std::string& path) {
    std::wstring typed = wideText(path);
    return isVerbatimOrDevice(typed) ? typed : verbatimOfFull(fullPath(typed));
}

std::wstring systemPath(const std::string& path) {
    std::wstring typed = wideText(path);
    if (isVerbatimOrDevice(typed)) {
        return typed;
    }
    std::wstring full = fullPath(typed);
    return full.size() < kLongestPlainPath ? typed : verbatimOfFull(full);
}

}  // namespace zendor::platform

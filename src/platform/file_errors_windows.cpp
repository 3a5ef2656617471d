#include "platform/file_errors.h"
#include "platform/wide_path.h"

namespace zendor::platform {

std::string errorText(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer != nullptr ? buffer : L"", length);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.' ||
                             text.back() == L' ')) {
        text.pop_back();
    }
    return text.empty() ? "error " + std::to_string(error) : utf8Text(text);
}

Outcome failure(DWORD error) {
    Fault fault = Fault::Other;
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            fault = Fault::Missing;
            break;
        case ERROR_LOCK_VIOLATION:
            fault = Fault::Busy;
            break;
        case ERROR_SHARING_VIOLATION:
            return {Fault::HeldOpen, std::string(kHeldOpenText)};
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
            fault = Fault::Denied;
            break;
        default:
            break;
    }
    return {fault, errorText(error)};
}

}  // namespace zendor::platform

// Plays the program that opens a file just written (a virus scanner, a sync client, the indexer):
// opens PATH for reading, sharing only what SHARE names, and holds it for MILLISECONDS.
// With --when-changed SECONDS it watches PATH instead, and holds it each time it changes (a new
// write time, size or creation), for SECONDS at most or until PATH.stop appears; it then prints
// how often it held it. PATH.watching appears once it watches (Wine takes a while to start);
// without it, PATH.holding exists while it holds PATH.
// SHARE: "none", or letters r (reading), w (writing) and d (deletion), e.g. "rw".
// Usage: hold_file PATH SHARE MILLISECONDS [--when-changed SECONDS]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

bool shareModeOf(std::string_view letters, DWORD& share) {
    share = 0;
    if (letters == "none") {
        return true;
    }
    for (char letter : letters) {
        switch (letter) {
            case 'r':
                share |= FILE_SHARE_READ;
                break;
            case 'w':
                share |= FILE_SHARE_WRITE;
                break;
            case 'd':
                share |= FILE_SHARE_DELETE;
                break;
            default:
                return false;
        }
    }
    return !letters.empty();
}

std::wstring wide(const char* utf8) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring text(static_cast<size_t>(length > 0 ? length : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, text.data(), length);
    text.resize(std::wcslen(text.c_str()));
    return text;
}

// Holds path; marker, when given, exists while it does (made once the file is held), so that a
// test can start what meets the holder at the right moment.
bool hold(const std::wstring& path, DWORD share, DWORD milliseconds,
          const std::wstring& marker = {}) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    if (!marker.empty()) {
        CloseHandle(CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    Sleep(milliseconds);
    CloseHandle(file);
    if (!marker.empty()) {
        DeleteFileW(marker.c_str());
    }
    return true;
}

// What tells one version of the file from the next; all zero while there is none.
struct Version {
    FILETIME created{};
    FILETIME written{};
    DWORD sizeLow = 0;

    bool operator==(const Version& other) const {
        return std::memcmp(this, &other, sizeof other) == 0;
    }
};

Version versionOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    Version version;
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        version = {data.ftCreationTime, data.ftLastWriteTime, data.nFileSizeLow};
    }
    return version;
}

int watch(const std::wstring& path, DWORD share, DWORD milliseconds, DWORD seconds) {
    const ULONGLONG end = GetTickCount64() + seconds * 1000ULL;
    const std::wstring stop = path + L".stop";
    Version seen = versionOf(path);
    HANDLE ready = CreateFileW((path + L".watching").c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready == INVALID_HANDLE_VALUE) {
        std::printf("cannot say it watches: error %lu\n", GetLastError());
        return 1;
    }
    CloseHandle(ready);
    int holds = 0;
    while (GetTickCount64() < end && GetFileAttributesW(stop.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const Version now = versionOf(path);
        const bool changed = !(now == seen) && !(now == Version{});
        if (!changed) {
            seen = now;
        } else if (hold(path, share, milliseconds)) {
            ++holds;
            seen = now;
        }  // else the writer still has it open without sharing: tried again next time
        Sleep(1);
    }
    std::printf("held %d times\n", holds);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    DWORD share = 0;
    const bool watching = argc == 6 && std::string_view(argv[4]) == "--when-changed";
    if ((argc != 4 && !watching) || !shareModeOf(argv[2], share)) {
        std::printf("usage: hold_file PATH SHARE MILLISECONDS [--when-changed SECONDS]\n");
        return 2;
    }
    const std::wstring path = wide(argv[1]);
    const DWORD milliseconds = static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10));
    if (watching) {
        return watch(path, share, milliseconds,
                     static_cast<DWORD>(std::strtoul(argv[5], nullptr, 10)));
    }
    if (!hold(path, share, milliseconds, path + L".holding")) {
        std::printf("cannot open the file: error %lu\n", GetLastError());
        return 1;
    }
    return 0;
}

// Plays a run killed in the middle of a save, between the two renames of a replace: it holds the
// card's lock as a run does, writes another card under a temporary name, moves the card file to
// the spare name the replace passes it through, and is killed there, as Task Manager or a power
// cut would kill it (TerminateProcess: no destructor runs, the lock is let go by the system).
// Usage: kill_in_save CARD.json
#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>

#include "platform/file_system.h"
#include "platform/path_names.h"
#include "platform/wide_path.h"
#include "vcard/card_file.h"
#include "vcard/card_json.h"

namespace {

using namespace zendor;

bool writeOtherCard(const std::string& target, std::string& temporary) {
    vcard::ReadResult read = vcard::readCardFile(target);
    if (read.status != vcard::ReadStatus::Ok) {
        std::printf("cannot read the card: %s\n", read.error.c_str());
        return false;
    }
    read.card->piccKey.fill(0x77);
    platform::FileHandle file;
    const std::string prefix = platform::nameOf(vcard::temporaryPrefixOf(target));
    return platform::createTemporaryFile(platform::folderOf(target), prefix, file, temporary) &&
           platform::writeAll(file, vcard::formatCardJson(*read.card)) && file.close();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::printf("usage: kill_in_save CARD.json\n");
        return 2;
    }
    std::string target;
    std::string error;
    bool busy = false;
    std::optional<vcard::CardLock> lock;
    if (vcard::resolveCardPath(argv[1], target, error)) {
        lock = vcard::CardLock::acquire(target, busy, error);
    }
    std::string temporary;
    if (!lock || !writeOtherCard(target, temporary)) {
        std::printf("cannot start the save: %s\n", error.c_str());
        return 1;
    }
    const std::wstring spare = platform::systemPath(platform::spareNameOf(temporary));
    if (!MoveFileExW(platform::systemPath(target).c_str(), spare.c_str(), 0)) {
        std::printf("cannot move the card file away: error %lu\n", GetLastError());
        return 1;
    }
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 9);
    return 0;
}

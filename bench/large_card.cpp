#include "bench/large_card.h"

#include <cstdio>
#include <filesystem>
#include <vector>

#include "bench/timing.h"
#include "vcard/card_file.h"

namespace zendor::bench {
namespace {

// Every application a card can hold, each with every key and every file at the card's size.
vcard::CardState largestCard() {
    vcard::CardState card = vcard::factoryFreshCard();
    for (uint32_t aid = 1; card.applications.size() < vcard::kMaxApplications; ++aid) {
        vcard::Application app{
            aid, 0x0F, std::vector<vcard::Key>(vcard::kMaxKeysPerApplication), {}};
        for (uint8_t no = 0; no <= vcard::kMaxFileNo; ++no) {
            app.files.push_back({no, vcard::kStandardDataFile, vcard::kCommPlain, 0xEEEE,
                                 std::vector<uint8_t>(vcard::kMaxFileSize, 0xA5)});
        }
        card.applications.push_back(std::move(app));
    }
    return card;
}

}  // namespace

bool printLargeCard(const std::string& dir, int runs) {
    const std::string path = dir + "/largest.json";
    std::string error;
    if (!vcard::writeCardFile(path, largestCard(), error)) {
        std::printf("Cannot write %s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    std::vector<double> wall;
    std::vector<double> cpu;
    bool loaded = true;
    for (int i = 0; i < runs && loaded; ++i) {
        const Timing timing =
            timeCall([&] { loaded = vcard::readCardFile(path).status == vcard::ReadStatus::Ok; });
        wall.push_back(timing.wallMs);
        cpu.push_back(timing.cpuMs);
    }
    if (!loaded) {
        std::printf("Cannot load %s\n", path.c_str());
        return false;
    }
    std::printf("Largest card file: %.1f MiB, load median %.0f ms wall, %.0f ms CPU (%d runs)\n",
                static_cast<double>(std::filesystem::file_size(path)) / (1 << 20),
                summarize(wall).median, summarize(cpu).median, runs);
    return true;
}

}  // namespace zendor::bench

// Writes the seeds that are recorded rather than written by hand: sessions of the card library
// with the virtual card (its answers for the host-protocol target, the operations for the
// virtual-card target), the card files of the starting cards, and the images of the example
// configurations. Run it again when the protocol changes:
//   zendor-fuzz-seeds fuzz/corpus examples/*.ini
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/checked_card.h"
#include "fuzz/host_operations.h"
#include "settings/config_loading.h"
#include "settings/settings_image.h"
#include "vcard/card_json.h"

namespace zendor::fuzz {
namespace {

using Bytes = std::vector<uint8_t>;

struct Step {
    HostCall call;
    uint8_t p;
    uint8_t q;
};

struct Session {
    const char* name;
    uint8_t start;  // the virtual-card target's start byte: card, then who is authenticated
    std::vector<Step> steps;
};

// The tool's reading of a Master Card.
const Session kReadMasterCard{"read-master-card",
                              1,
                              {{kSelectApplication, 1, 0},
                               {kAuthenticate, 0, 1},
                               {kGetFileSettings, 1, 0},
                               {kGetFileSettings, 2, 0},
                               {kReadData, 2, 4},
                               {kReadData, 1, 0}}};

// The tool's creation on a fresh card: format, application, key, files, writes, commit.
const Session kCreateOnFreshCard{"create-on-fresh-card",
                                 0,
                                 {{kSelectApplication, 1, 0},
                                  {kSelectApplication, 0, 0},
                                  {kAuthenticate, 0, 0},
                                  {kFormatPicc, 0, 0},
                                  {kCreateApplication, 1, 0},
                                  {kSelectApplication, 1, 0},
                                  {kAuthenticate, 0, 0},
                                  {kChangeKey, 0, 1},
                                  {kSelectApplication, 1, 0},
                                  {kAuthenticate, 0, 1},
                                  {kCreateStdDataFile, 1, 0},
                                  {kCreateStdDataFile, 2, 8},
                                  {kWriteData, 2, 4},
                                  {kWriteData, 1, 0},
                                  {kCommitTransaction, 0, 0}}};

// Every kind of file: free, key 1 and key 0 access; plain, MACed, enciphered; backup files with
// their commit.
const Session kEveryFileKind{"every-file-kind",
                             3,
                             {{kSelectApplication, 2, 0},
                              {kAuthenticate, 1, 1},
                              {kReadData, 3, 9},
                              {kWriteData, 3, 8},
                              {kReadData, 4, 9},
                              {kWriteData, 4, 9},
                              {kCommitTransaction, 0, 0},
                              {kReadData, 5, 8},
                              {kWriteData, 5, 12},
                              {kCommitTransaction, 0, 0},
                              {kSelectApplication, 2, 0},
                              {kAuthenticate, 0, 0},
                              {kReadData, 1, 8},
                              {kReadData, 2, 10},
                              {kWriteData, 2, 14},
                              {kGetFileSettings, 5, 0}}};

// Refusals: wrong keys, reads beyond a file, a missing file, a card taken away and back.
const Session kRefusals{"refusals",
                        2,
                        {{kSelectApplication, 0, 0},
                         {kAuthenticate, 0, 0},
                         {kAuthenticate, 0, 3},
                         {kGetFileSettings, 1, 0},
                         {kSelectApplication, 1, 0},
                         {kAuthenticate, 0, 2},
                         {kReadData, 1, 0},
                         {kReactivate, 0, 0},
                         {kSelectApplication, 1, 0},
                         {kAuthenticate, 0, 1},
                         {kReadData, 1, 16},
                         {kReadData, 5, 0},
                         {kSelectApplication, 1, 0},
                         {kAuthenticate, 0, 1},
                         {kChangeKey, 1, 0x81},
                         {kReadData, 1, 20}}};

// Raw frames for the virtual-card target: chained answers, the reader's GET DATA, wrapping
// errors, chains cut by another command, an authentication with a wrong token.
struct RawSeed {
    const char* name;
    Bytes bytes;
};

const RawSeed kRawSeeds[] = {
    {"get-version-chain", {0x00, 5,    0x90, 0x60, 0x00, 0x00, 0x00, 5,    0x90, 0xAF, 0x00,
                           0x00, 0x00, 5,    0x90, 0xAF, 0x00, 0x00, 0x00, 5,    0xFF, 0xCA,
                           0x00, 0x00, 0x00, 5,    0x90, 0x6A, 0x00, 0x00, 0x00}},
    {"wrapping-errors", {0x01, 3,    0x90, 0x60, 0x00, 6,    0x90, 0x5A, 0x00, 0x00, 0x03, 0x00,
                         5,    0x00, 0xA4, 0x04, 0x00, 0x00, 5,    0x90, 0x60, 0x01, 0x00, 0x00,
                         9,    0x90, 0x5A, 0x00, 0x00, 0x03, 0x43, 0x4D, 0x5A, 0x00}},
    {"chains-cut-short",
     {0x09, 12,   0x90, 0x3D, 0x00, 0x00, 0x07, 0x01, 0x00, 0x00, 0x00, 0x00, 0x02,
      0x00, 5,    0x90, 0x60, 0x00, 0x00, 0x00, 7,    0x90, 0x0A, 0x00, 0x00, 0x01,
      0x00, 0x00, 22,   0x90, 0xAF, 0x00, 0x00, 0x10, 0x01, 0x02, 0x03, 0x04, 0x05,
      0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x00}},
};

void writeSeed(const std::filesystem::path& folder, const std::string& name, const Bytes& bytes) {
    std::filesystem::create_directories(folder);
    writeWholeFile((folder / name).string(), bytes);
}

// Runs the session on its start card and writes both seeds; prints the statuses to look at.
void recordSession(const std::filesystem::path& corpus, const Session& session) {
    CheckedCard checked(startCard(session.start));
    Bytes answers;
    checked.recordInto(&answers);
    Bytes hostAnswers{static_cast<uint8_t>(session.steps.size())};
    Bytes cardCommands{static_cast<uint8_t>(session.start & 3)};
    std::printf("%s:", session.name);
    openFuzzReader([&checked] { return checkedCardTransport(checked); });
    for (const Step& step : session.steps) {
        const uint8_t first = operation(step.call, step.p);
        hostAnswers.insert(hostAnswers.end(), {first, step.q});
        cardCommands.insert(cardCommands.end(), {static_cast<uint8_t>(0x80 + first), step.q});
        std::printf(" %d", runHostOperation(first, step.q));
    }
    closeFuzzReader();
    std::printf("\n");
    hostAnswers.insert(hostAnswers.end(), answers.begin(), answers.end());
    writeSeed(corpus / "host_answers", session.name, hostAnswers);
    writeSeed(corpus / "card_commands", session.name, cardCommands);
}

Bytes textBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

}  // namespace
}  // namespace zendor::fuzz

int main(int argc, char** argv) {
    using namespace zendor;
    using namespace zendor::fuzz;
    if (argc < 2) {
        std::printf("usage: %s CORPUS_FOLDER [CONFIG.ini...]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path corpus = argv[1];
    for (const Session* session :
         {&kReadMasterCard, &kCreateOnFreshCard, &kEveryFileKind, &kRefusals}) {
        recordSession(corpus, *session);
    }
    for (const RawSeed& seed : kRawSeeds) {
        writeSeed(corpus / "card_commands", seed.name, seed.bytes);
    }
    writeSeed(corpus / "card_json", "factory", textBytes(vcard::formatCardJson(factoryCard())));
    writeSeed(corpus / "card_json", "master", textBytes(vcard::formatCardJson(masterCard(3))));
    writeSeed(corpus / "card_json", "applications",
              textBytes(vcard::formatCardJson(applicationsCard())));
    for (int i = 2; i < argc; ++i) {
        settings::SettingsTable table{};
        table.clearFlag = i % 2;
        settings::SettingsImage image{};
        if (settings::loadConfigFile(table, argv[i]) &&
            settings::buildSettingsImage(&table, &image)) {
            writeSeed(corpus / "settings_image",
                      std::filesystem::path(argv[i]).stem().string() + ".img",
                      Bytes(image.begin(), image.end()));
        }
    }
    return 0;
}

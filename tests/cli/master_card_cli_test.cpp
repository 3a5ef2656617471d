// The built zendorcfg against virtual card files: whole output, exit status, and the card after.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "card/master_layout.h"
#include "crypto/signature.h"
#include "support/card_files.h"
#include "support/run_tool.h"
#include "support/temp_dir.h"
#include "support/text_mode.h"

namespace zendor {
namespace {

using test::TempDir;
using test::ToolRun;
using vcard::CardState;

// opt = 01, odl = 0A and the clear flag: the image FF 00 60 01 01 61 01 0A, then zeros.
const std::string kConfig =
    "[general]\n"
    "opt = 01\n"
    "odl = 10|d ; decimal\n"
    "[master]\n"
    "clear = 1\n";
const std::string kDump = "60=01\n61=0A\n";

std::vector<uint8_t> expectedImage() {
    std::vector<uint8_t> image(512, 0);
    const uint8_t entries[] = {0xFF, 0x00, 0x60, 0x01, 0x01, 0x61, 0x01, 0x0A};
    std::copy(std::begin(entries), std::end(entries), image.begin());
    return image;
}

card::MasterCardLayout defaultLayout() {
    card::MasterCardLayout layout;
    card::setDefaultLayout(&layout);
    return layout;
}

vcard::Key applicationKeyFor(const CardState& card, const card::MasterCardLayout& layout) {
    vcard::Key key{};
    crypto::diversifyKey(key, card::applicationKey(layout), card.uid);
    return key;
}

std::vector<uint8_t> signatureOf(const std::vector<uint8_t>& image, const CardState& card) {
    std::vector<uint8_t> signature(16);
    crypto::computeSignature(signature, image, card::signatureKey(defaultLayout()), card.uid);
    return signature;
}

const vcard::Key kRootKey{0x6B, 0x21, 0xC9, 0x50, 0x8E, 0x3F, 0xD7, 0x14,
                          0xA2, 0x95, 0x0C, 0x6E, 0xF8, 0x33, 0xB1, 0x4A};
const std::string kRootLine = "root = 6B21C9508E3FD714A2950C6EF833B14A\n";

class MasterCardCli : public ::testing::Test {
  protected:
    MasterCardCli() {
        test::writeFile(config(), kConfig);
        test::writeCard(cardPath(), test::knownDesfire());
    }

    std::string cardPath() const { return dir.file("card.json"); }
    std::string config() const { return dir.file("zendor.ini"); }

    ToolRun zendorcfg(std::vector<std::string> args) {
        args.insert(args.begin(), {"-d", "sim:" + cardPath()});
        return test::runTool(ZENDORCFG_PATH, args);
    }

    CardState card() const {
        std::string error;
        std::optional<CardState> state = vcard::parseCardJson(test::readFile(cardPath()), error);
        EXPECT_TRUE(state) << error;
        return state.value_or(CardState{});
    }

    void changeCard(const std::function<void(CardState&)>& change) {
        CardState state = card();
        change(state);
        test::writeCard(cardPath(), state);
    }

    // A blank card made into a Master Card with kConfig.
    void makeMasterCard() { ASSERT_EQ(zendorcfg({"-c", config()}).status, 0); }

    vcard::DataFile& file(CardState& state, uint8_t fileNo) {
        return *std::find_if(state.applications[0].files.begin(), state.applications[0].files.end(),
                             [&](const vcard::DataFile& f) { return f.fileNo == fileNo; });
    }

    TempDir dir;
};

TEST_F(MasterCardCli, CreatesAMasterCardOnAFactoryFreshCard) {
    ToolRun run = zendorcfg({"-c", config()});
    EXPECT_EQ(run.output, kDump +
                              "Application 5A4D43 not found in the card\n"
                              "Trying to format the card...\n"
                              "Writing the new Master Card...\n"
                              "OK !\n");
    EXPECT_EQ(run.status, 0);
    // Console lines end as the system's text does: CRLF on Windows.
    EXPECT_EQ(run.rawOutput, test::textModeBytes(run.output));

    CardState after = card();
    EXPECT_EQ(after.piccKey, vcard::Key{});
    ASSERT_EQ(after.applications.size(), 1u);
    const vcard::Application& app = after.applications[0];
    EXPECT_EQ(app.aid, 0x5A4D43u);
    EXPECT_EQ(app.keySettings, 0xEF);
    ASSERT_EQ(app.keys.size(), 1u);
    EXPECT_EQ(app.keys[0], applicationKeyFor(after, defaultLayout()));
    ASSERT_EQ(app.files.size(), 2u);
    for (const vcard::DataFile& f : app.files) {
        EXPECT_EQ(f.type, vcard::kStandardDataFile);
        EXPECT_EQ(f.comm, 3);
        EXPECT_EQ(f.accessRights, 0xFF0F);
    }
    EXPECT_EQ(file(after, 1).data, expectedImage());
    EXPECT_EQ(file(after, 2).data, signatureOf(expectedImage(), after));
    EXPECT_EQ(after.freeMemory, 7936u - 64 - 512 - 32);
}

TEST_F(MasterCardCli, RewritesAMasterCardWithoutFormattingIt) {
    makeMasterCard();
    test::writeFile(config(), "[general]\nopt=02\n");
    ToolRun run = zendorcfg({"-c", config()});
    EXPECT_EQ(run.output, "60=02\nWriting the new Master Card...\nOK !\n");
    EXPECT_EQ(run.status, 0);
    CardState after = card();
    std::vector<uint8_t> image(512, 0);
    image[0] = 0x60, image[1] = 0x01, image[2] = 0x02;
    EXPECT_EQ(file(after, 1).data, image);
    EXPECT_EQ(file(after, 2).data, signatureOf(image, after));
}

TEST_F(MasterCardCli, CommitsFilesOfTheBackupType) {
    makeMasterCard();
    changeCard([&](CardState& state) {
        for (vcard::DataFile& f : state.applications[0].files) {
            f.type = vcard::kBackupDataFile;
        }
    });
    test::writeFile(config(), "[general]\nopt=02\n");
    ToolRun run = zendorcfg({"-c", config()});
    EXPECT_EQ(run.output, "60=02\nWriting the new Master Card...\nOK !\n");
    CardState after = card();
    EXPECT_EQ(file(after, 1).data[2], 0x02) << "the new settings are committed";
    EXPECT_EQ(zendorcfg({"-r", config()}).status, 0);
}

TEST_F(MasterCardCli, RootKeys) {
    struct Case {
        const char* name;
        vcard::Key cardKey;
        std::string rootLine;
        std::string output;
        int status;
        vcard::Key keyAfter;
    };
    const std::string created =
        "Application 5A4D43 not found in the card\n"
        "Trying to format the card...\n"
        "Writing the new Master Card...\n"
        "OK !\n";
    vcard::Key otherKey;
    otherKey.fill(0x77);
    const Case cases[] = {
        {"root configured, card still all-zero", {}, kRootLine, kDump + created, 0, kRootKey},
        {"card master key already the root key", kRootKey, kRootLine, kDump + created, 0, kRootKey},
        {"card master key unknown", otherKey, kRootLine,
         kDump + "Application 5A4D43 not found in the card\nTrying to format the card...\n"
                 "Card master key is unknown\nFailed to erase the card !\n",
         1, otherKey},
        {"all-zero root, card has another key", otherKey, "",
         kDump + "Application 5A4D43 not found in the card\nTrying to format the card...\n"
                 "Card master key is unknown\nFailed to erase the card !\n",
         1, otherKey},
    };
    for (const Case& c : cases) {
        CardState fresh = test::knownDesfire();
        fresh.piccKey = c.cardKey;
        test::writeCard(cardPath(), fresh);
        test::writeFile(config(), kConfig + c.rootLine);
        std::string before = test::readFile(cardPath());
        ToolRun run = zendorcfg({"-c", config()});
        EXPECT_EQ(run.output, c.output) << c.name;
        EXPECT_EQ(run.status, c.status) << c.name;
        EXPECT_EQ(card().piccKey, c.keyAfter) << c.name;
        if (c.status != 0) {
            EXPECT_EQ(test::readFile(cardPath()), before) << c.name << ": card unchanged";
        } else {
            EXPECT_EQ(zendorcfg({"-r", config()}).status, 0) << c.name;
        }
    }
}

TEST_F(MasterCardCli, RebuildsAnApplicationThatHasAnotherKey) {
    changeCard([](CardState& state) {
        vcard::Application app;
        app.aid = 0x5A4D43;
        app.keySettings = 0x0F;
        app.keys = {vcard::Key{9, 9, 9}};
        state.applications = {app};
        state.freeMemory -= 64;
    });
    ToolRun run = zendorcfg({"-c", config()});
    EXPECT_EQ(run.output, kDump +
                              "Application 5A4D43 authentication error (-1174)\n"
                              "Trying to format the card...\n"
                              "Writing the new Master Card...\n"
                              "OK !\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(card().applications[0].keySettings, 0xEF);
}

TEST_F(MasterCardCli, ACardOutOfMemoryKeepsItsFormat) {
    changeCard([](CardState& state) { state.freeMemory = 600; });
    ToolRun run = zendorcfg({"-c", config()});
    EXPECT_EQ(run.output, kDump +
                              "Application 5A4D43 not found in the card\n"
                              "Trying to format the card...\n"
                              "Card is out of memory\n"
                              "Failed to create mapping !\n");
    EXPECT_EQ(run.status, 1);
}

const std::string kExport =
    "[general]\n"
    "opt=01 ; Main options bits\n"
    "odl=0A ; Delay between 2 outputs (* 100 ms)\n"
    ";rdl= is absent ; Delay between 2 identical outputs (* 100 ms)\n"
    ";cld= is absent ; LEDs control bits\n"
    ";cbz= is absent ; Buzzer control bits\n"
    ";wgd= is absent ; Wiegand mode bits\n"
    ";dtc= is absent ; DataClock mode bits\n"
    ";ser= is absent ; Serial mode bits\n"
    ";shd= is absent ; RS-485 mode bits\n"
    ";pin= is absent ; Pin code\n"
    ";rc= is absent ; 4-byte value in RC's EEPROM\n"
    "\n"
    "[tpl1]\n; Template is absent\n\n"
    "[tpl2]\n; Template is absent\n\n"
    "[tpl3]\n; Template is absent\n\n"
    "[tpl4]\n; Template is absent\n\n";

TEST_F(MasterCardCli, ReadsAMasterCardToTheConsoleOrAFile) {
    makeMasterCard();
    ToolRun run = zendorcfg({"-r", config()});
    EXPECT_EQ(run.output, "Reading the Master Card...\n" + kDump +
                              "Here's the settings read from the card:\n\n" + kExport + "OK !\n");
    EXPECT_EQ(run.status, 0);

    std::string out = dir.file("out.ini");
    run = zendorcfg({"-r", config(), "-o", out});
    EXPECT_EQ(run.output,
              "Reading the Master Card...\n" + kDump + "Exporting to '" + out + "'\nOK !\n");
    EXPECT_EQ(test::readFile(out), test::textModeBytes(kExport));

    // Fed back, the export gives the same image (the clear flag lives in [master]).
    std::string before = test::readFile(cardPath());
    test::writeFile(config(), test::readFile(out) + "[master]\nclear=1\n");
    run = zendorcfg({"-c", config()});
    EXPECT_EQ(run.output, kDump + "Writing the new Master Card...\nOK !\n");
    EXPECT_EQ(file(*std::make_unique<CardState>(card()), 1).data, expectedImage());
}

TEST_F(MasterCardCli, AForgedImageIsShownButNotExported) {
    makeMasterCard();
    changeCard([&](CardState& state) { file(state, 1).data[4] = 0x07; });
    std::string out = dir.file("out.ini");
    ToolRun run = zendorcfg({"-r", config(), "-o", out});
    EXPECT_EQ(run.output,
              "Reading the Master Card...\n60=07\n61=0A\n"
              "Invalid signature, maybe card has been forged\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(MasterCardCli, ACopyOnAnotherCardDoesNotVerify) {
    makeMasterCard();
    changeCard([](CardState& state) { state.uid[6] ^= 0x01; });
    ToolRun run = zendorcfg({"-r", config()});
    // The application key is diversified with the UID too: the copy does not even open.
    EXPECT_EQ(run.output,
              "Application 5A4D43 authentication error (-1174)\nThis is not a Master Card\n");
    EXPECT_EQ(run.status, 1);
}

TEST_F(MasterCardCli, RefusesCardsThatAreNotMasterCards) {
    struct Case {
        const char* name;
        std::function<void(CardState&)> change;
        std::string reason;
    };
    const Case cases[] = {
        {"blank card", [](CardState& s) { s.applications.clear(); },
         "Application 5A4D43 not found in the card\n"},
        {"data file missing",
         [](CardState& s) { s.applications[0].files.erase(s.applications[0].files.begin()); },
         "File 5A4D43.01 not found in the card\n"},
        {"data file of another size", [&](CardState& s) { file(s, 1).data.resize(256); },
         "Wrong size for file 5A4D43.01\n"},
        {"signature file of another size", [&](CardState& s) { file(s, 2).data.resize(32); },
         "Wrong size for file 5A4D43.02\n"},
        {"plain data file", [&](CardState& s) { file(s, 1).comm = 0; },
         "Wrong comm. mode for file 5A4D43.01\n"},
        {"signature file readable by all", [&](CardState& s) { file(s, 2).accessRights = 0xEF0F; },
         "Wrong security settings for file 5A4D43.02\n"},
    };
    for (const Case& c : cases) {
        test::writeCard(cardPath(), test::knownDesfire());
        makeMasterCard();
        changeCard(c.change);
        std::string before = test::readFile(cardPath());
        ToolRun run = zendorcfg({"-r", config()});
        EXPECT_EQ(run.output, c.reason + "This is not a Master Card\n") << c.name;
        EXPECT_EQ(run.status, 1) << c.name;
        EXPECT_EQ(test::readFile(cardPath()), before) << c.name << ": reading changes nothing";
    }
}

TEST_F(MasterCardCli, FilesOfTheBackupTypePassTheCheck) {
    makeMasterCard();
    changeCard([](CardState& s) {
        for (vcard::DataFile& f : s.applications[0].files) {
            f.type = vcard::kBackupDataFile;
        }
    });
    EXPECT_EQ(zendorcfg({"-r", config()}).status, 0);
}

TEST_F(MasterCardCli, OtherMasterKeysDoNotOpenTheCard) {
    makeMasterCard();
    const struct {
        std::string line;
        std::string output;
    } cases[] = {
        {"aut = E0 00112233445566778899AABBCCDDEEFF\n",
         "Application 5A4D43 authentication error (-1174)\nThis is not a Master Card\n"},
        {"loc = 5A4D44 01 02\n",
         "Application 5A4D44 not found in the card\nThis is not a Master Card\n"},
        {"sgn = 20 00112233445566778899AABBCCDDEEFF\n",
         "Reading the Master Card...\n" + kDump +
             "Invalid signature, maybe card has been forged\n"},
    };
    for (const auto& c : cases) {
        test::writeFile(config(), "[master]\n" + c.line);
        ToolRun run = zendorcfg({"-r", config()});
        EXPECT_EQ(run.output, c.output) << c.line;
        EXPECT_EQ(run.status, 1);
    }
}

TEST_F(MasterCardCli, AnOutputFileInAMissingFolder) {
    makeMasterCard();
    std::string out = dir.file("missing/out.ini");
    ToolRun run = zendorcfg({"-r", config(), "-o", out});
    EXPECT_EQ(run.output, "Reading the Master Card...\n" + kDump + "Exporting to '" + out +
                              "'\nFailed to create file '" + out + "'\nFailed !\n");
    EXPECT_EQ(run.status, 1);
}

TEST_F(MasterCardCli, ABadMasterValueStopsBeforeTheCardIsTouched) {
    test::writeFile(config(), kConfig + "loc = 5A4D4301\n");
    std::string before = test::readFile(cardPath());
    ToolRun run = zendorcfg({"-c", config()});
    EXPECT_EQ(run.output, "Value '5A4D4301' : size < 5\nInvalid value for entry 'master.loc'\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(test::readFile(cardPath()), before);
}

TEST_F(MasterCardCli, EveryExampleMakesAMasterCardThatReadsBack) {
    for (const char* example : {"zendor.ini", "minimal.ini", "apdu-template.ini"}) {
        std::string path = std::string(ZENDOR_SOURCE_DIR) + "/examples/" + example;
        test::writeCard(cardPath(), test::knownDesfire());
        ToolRun created = test::runTool(ZENDORCFG_PATH, {"-d", "sim:" + cardPath(), "-c", path});
        EXPECT_TRUE(created.output.ends_with("Writing the new Master Card...\nOK !\n"))
            << example << ":\n"
            << created.output;
        EXPECT_EQ(created.output.find("Invalid entry"), std::string::npos) << created.output;
        ToolRun read = test::runTool(ZENDORCFG_PATH, {"-d", "sim:" + cardPath(), "-r", path});
        EXPECT_EQ(read.status, 0) << example << ":\n" << read.output;
    }
}

}  // namespace
}  // namespace zendor

// The status table against what else names or explains a status: the interface headers, the
// manual page and docs/readers.md. An added status, a renumbered one or a reworded text shows here.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "marlix/status.h"

namespace zendor::marlix {
namespace {

std::vector<std::string> linesOf(const std::string& relativePath) {
    std::ifstream file(std::string(ZENDOR_SOURCE_DIR) + "/" + relativePath);
    EXPECT_TRUE(file) << relativePath;
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The lines after the first one equal to heading, up to the next one that begins with stop.
std::vector<std::string> section(const std::vector<std::string>& lines, const std::string& heading,
                                 const std::string& stop) {
    auto first = std::find(lines.begin(), lines.end(), heading);
    EXPECT_NE(first, lines.end()) << heading;
    if (first == lines.end()) {
        return {};
    }
    auto last = std::find_if(first + 1, lines.end(),
                             [&](const std::string& line) { return line.starts_with(stop); });
    return {first + 1, last};
}

// The text after lead up to the first of the characters in end (all of it without end), or nothing
// when text does not begin with lead. Plain parsing: GCC 12 warns inside <regex> when sanitized.
std::optional<std::string> after(std::string_view text, std::string_view lead,
                                 std::string_view end = {}) {
    if (!text.starts_with(lead)) {
        return std::nullopt;
    }
    text.remove_prefix(lead.size());
    return std::string(text.substr(0, end.empty() ? text.npos : text.find_first_of(end)));
}

std::map<int, std::string> tableTexts() {
    std::map<int, std::string> texts;
    for (const StatusRow& row : statusTable()) {
        texts[row.status] = row.text;
    }
    return texts;
}

TEST(StatusTable, NamesEveryStatusOfTheInterfaceHeadersAsTheyDo) {
    // "    MARLIX_E_NO_CARD = -1,  // ..." in an enum of either header.
    std::map<std::string, int> declared;
    for (const char* header : {"src/card/marlix.h", "src/card/marlix_desfire.h"}) {
        for (std::string line : linesOf(header)) {
            line.erase(0, line.find_first_not_of(' '));
            const size_t equals = line.find(" = -");
            const bool named = line.starts_with("MARLIX_E_") || line.starts_with("DESFIRE_E_");
            if (named && equals != std::string::npos && line.find(',') != std::string::npos) {
                declared[line.substr(0, equals)] = std::stoi(line.substr(equals + 3));
            }
        }
    }
    std::map<std::string, int> tabled;
    for (const StatusRow& row : statusTable()) {
        tabled[std::string(row.name)] = row.status;
    }
    EXPECT_EQ(tabled, declared);
}

TEST(StatusTable, ManualPageExplainsEachStatusInTheTablesWords) {
    // ".B \\-120" and, on the next line, its text.
    const auto lines = section(linesOf("man/zendorcfg.1"), ".SH DIAGNOSTICS", ".SH");
    std::map<int, std::string> explained;
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        const std::optional<std::string> number = after(lines[i], ".B \\-");
        if (number && !number->empty() &&
            number->find_first_not_of("0123456789") == std::string::npos) {
            explained[-std::stoi(*number)] = lines[i + 1];
        }
    }
    EXPECT_EQ(explained, tableTexts());
}

TEST(StatusTable, DocsTableHoldsTheTablesWords) {
    // "| -120 | text |"
    const auto lines =
        section(linesOf("docs/readers.md"), "## Statuses of the card library", "## ");
    std::map<int, std::string> listed;
    for (const std::string& line : lines) {
        const std::optional<std::string> number = after(line, "| -", " ");
        if (number && line.ends_with(" |") && !number->empty() &&
            number->find_first_not_of("0123456789") == std::string::npos) {
            const size_t text = line.find(" | ", 2) + 3;
            listed[-std::stoi(*number)] = line.substr(text, line.size() - 2 - text);
        }
    }
    EXPECT_EQ(listed, tableTexts());
}

TEST(StatusTable, FindsRowsOfNamedStatusesOnly) {
    ASSERT_NE(findStatus(kReaderBusy), nullptr);
    EXPECT_EQ(findStatus(kReaderBusy)->name, "MARLIX_E_READER_BUSY");
    EXPECT_EQ(findStatus(cardStatus(0xBE))->name, "DESFIRE_E_BOUNDARY");
    EXPECT_EQ(findStatus(kOk), nullptr);
    EXPECT_EQ(findStatus(cardStatus(0x1C)),
              nullptr);  // a card status byte callers do not tell apart
    EXPECT_EQ(findStatus(-113), nullptr);
}

}  // namespace
}  // namespace zendor::marlix

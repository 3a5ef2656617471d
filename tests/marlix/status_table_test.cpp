// The status table against what else names or explains a status: the interface headers, the
// manual page and docs/readers.md. An added status, a renumbered one or a reworded text shows here.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <string>
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

std::map<int, std::string> tableTexts() {
    std::map<int, std::string> texts;
    for (const StatusRow& row : statusTable()) {
        texts[row.status] = row.text;
    }
    return texts;
}

TEST(StatusTable, NamesEveryStatusOfTheInterfaceHeadersAsTheyDo) {
    const std::regex enumerator(R"(^\s*((MARLIX|DESFIRE)_E_\w+) = (-\d+),)");
    std::map<std::string, int> declared;
    for (const char* header : {"src/card/marlix.h", "src/card/marlix_desfire.h"}) {
        for (const std::string& line : linesOf(header)) {
            std::smatch match;
            if (std::regex_search(line, match, enumerator)) {
                declared[match[1]] = std::stoi(match[3]);
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
    const auto lines = section(linesOf("man/zendorcfg.1"), ".SH DIAGNOSTICS", ".SH");
    const std::regex status(R"(^\.B \\-(\d+)$)");
    std::map<int, std::string> explained;
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        std::smatch match;
        if (std::regex_match(lines[i], match, status)) {
            explained[-std::stoi(match[1])] = lines[i + 1];
        }
    }
    EXPECT_EQ(explained, tableTexts());
}

TEST(StatusTable, DocsTableHoldsTheTablesWords) {
    const auto lines =
        section(linesOf("docs/readers.md"), "## Statuses of the card library", "## ");
    const std::regex row(R"(^\| (-\d+) \| (.*) \|$)");
    std::map<int, std::string> listed;
    for (const std::string& line : lines) {
        std::smatch match;
        if (std::regex_match(line, match, row)) {
            listed[std::stoi(match[1])] = match[2];
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

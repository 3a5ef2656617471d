// Reading validates the whole document before anything is used: a file that breaks the format is
// refused with the first problem found, never half-loaded and never rewritten.
#include "vcard/card_json.h"

#include <cstdio>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <set>
#include <vector>

#include "text/hex.h"

namespace zendor::vcard {
namespace {

using Json = nlohmann::json;
// Written in the documented member order, which a person reading the file expects.
using OrderedJson = nlohmann::ordered_json;

class Checker {
  public:
    explicit Checker(std::string& error) : error_(error) {}

    bool fail(const std::string& where, const std::string& what) {
        if (error_.empty()) {
            error_ = where + ": " + what;
        }
        return false;
    }

    // Exactly these members, no others.
    bool members(const Json& object, const std::string& where,
                 std::initializer_list<const char*> names) {
        if (!object.is_object()) {
            return fail(where, "must be an object");
        }
        for (const char* name : names) {
            if (!object.contains(name)) {
                return fail(where, std::string("member '") + name + "' is missing");
            }
        }
        for (const auto& item : object.items()) {
            bool known = false;
            for (const char* name : names) {
                known = known || item.key() == name;
            }
            if (!known) {
                return fail(where, "unknown member '" + item.key() + "'");
            }
        }
        return true;
    }

    bool bytes(const Json& value, const std::string& where, size_t length, std::span<uint8_t> out) {
        std::vector<uint8_t> parsed;
        if (!anyBytes(value, where, parsed)) {
            return false;
        }
        if (parsed.size() != length) {
            return fail(where, "must be " + std::to_string(length) + " bytes");
        }
        std::copy(parsed.begin(), parsed.end(), out.begin());
        return true;
    }

    bool anyBytes(const Json& value, const std::string& where, std::vector<uint8_t>& out) {
        if (!value.is_string()) {
            return fail(where, "must be a hexadecimal string");
        }
        const std::string& text = value.get_ref<const std::string&>();
        if (text.size() % 2 != 0) {
            return fail(where, "odd number of hexadecimal digits");
        }
        out.resize(text.size() / 2);
        if (!text::parseHex(text, out, text::HexLetters::UpperOnly)) {
            return fail(where, "not upper-case hexadecimal");
        }
        return true;
    }

    bool byte(const Json& value, const std::string& where, uint8_t& out) {
        std::array<uint8_t, 1> one{};
        if (!bytes(value, where, 1, one)) {
            return false;
        }
        out = one[0];
        return true;
    }

    bool number(const Json& value, const std::string& where, uint64_t max, uint64_t& out) {
        if (!value.is_number_unsigned() &&
            !(value.is_number_integer() && value.get<int64_t>() >= 0)) {
            return fail(where, "must be a non-negative integer");
        }
        out = value.get<uint64_t>();
        if (out > max) {
            return fail(where, "must be at most " + std::to_string(max));
        }
        return true;
    }

  private:
    std::string& error_;
};

bool parseFile(Checker& check, const Json& json, const std::string& where, DataFile& file) {
    if (!check.members(json, where, {"fileNo", "type", "comm", "accessRights", "size", "data"})) {
        return false;
    }
    uint64_t fileNo = 0, type = 0, comm = 0, size = 0;
    std::array<uint8_t, 2> rights{};
    if (!check.number(json["fileNo"], where + ".fileNo", kMaxFileNo, fileNo) ||
        !check.number(json["type"], where + ".type", 1, type) ||
        !check.number(json["comm"], where + ".comm", 3, comm) ||
        !check.bytes(json["accessRights"], where + ".accessRights", 2, rights) ||
        !check.number(json["size"], where + ".size", kMaxFileSize, size) ||
        !check.anyBytes(json["data"], where + ".data", file.data)) {
        return false;
    }
    if (comm == 2) {
        return check.fail(where + ".comm", "must be 0, 1 or 3");
    }
    if (file.data.size() != size) {
        return check.fail(where + ".data", "must be exactly 'size' bytes");
    }
    file.fileNo = static_cast<uint8_t>(fileNo);
    file.type = static_cast<uint8_t>(type);
    file.comm = static_cast<uint8_t>(comm);
    file.accessRights = static_cast<uint16_t>(rights[0] << 8 | rights[1]);
    return true;
}

bool parseApplication(Checker& check, const Json& json, const std::string& where,
                      Application& app) {
    if (!check.members(json, where, {"aid", "keySettings", "keys", "files"})) {
        return false;
    }
    std::array<uint8_t, 3> aid{};
    if (!check.bytes(json["aid"], where + ".aid", 3, aid) ||
        !check.byte(json["keySettings"], where + ".keySettings", app.keySettings)) {
        return false;
    }
    app.aid = static_cast<uint32_t>(aid[0] << 16 | aid[1] << 8 | aid[2]);
    if (app.aid == 0) {
        return check.fail(where + ".aid", "000000 is the card level, not an application");
    }
    const Json& keys = json["keys"];
    if (!keys.is_array() || keys.empty() || keys.size() > kMaxKeysPerApplication) {
        return check.fail(where + ".keys", "must be an array of 1 to " +
                                               std::to_string(kMaxKeysPerApplication) + " keys");
    }
    app.keys.resize(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        if (!check.bytes(keys[i], where + ".keys[" + std::to_string(i) + "]", 16, app.keys[i])) {
            return false;
        }
    }
    const Json& files = json["files"];
    if (!files.is_array()) {
        return check.fail(where + ".files", "must be an array");
    }
    std::set<uint8_t> numbers;
    app.files.resize(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        std::string fileWhere = where + ".files[" + std::to_string(i) + "]";
        if (!parseFile(check, files[i], fileWhere, app.files[i])) {
            return false;
        }
        if (!numbers.insert(app.files[i].fileNo).second) {
            return check.fail(fileWhere + ".fileNo", "repeats another file's number");
        }
    }
    return true;
}

bool parseCard(Checker& check, const Json& json, CardState& card) {
    if (!check.members(json, "card",
                       {"uid", "atqa", "sak", "piccKey", "piccKeySettings", "freeMemory",
                        "removeAfterFrames", "applications"})) {
        return false;
    }
    uint64_t freeMemory = 0;
    if (!check.bytes(json["uid"], "uid", card.uid.size(), card.uid) ||
        !check.bytes(json["atqa"], "atqa", 2, card.atqa) ||
        !check.byte(json["sak"], "sak", card.sak) ||
        !check.bytes(json["piccKey"], "piccKey", 16, card.piccKey) ||
        !check.byte(json["piccKeySettings"], "piccKeySettings", card.piccKeySettings) ||
        !check.number(json["freeMemory"], "freeMemory", kMaxFreeMemory, freeMemory)) {
        return false;
    }
    card.freeMemory = static_cast<uint32_t>(freeMemory);
    const Json& remove = json["removeAfterFrames"];
    if (!remove.is_null()) {
        uint64_t frames = 0;
        if (!check.number(remove, "removeAfterFrames", UINT32_MAX, frames)) {
            return false;
        }
        card.removeAfterFrames = static_cast<uint32_t>(frames);
    }
    const Json& apps = json["applications"];
    if (!apps.is_array() || apps.size() > kMaxApplications) {
        return check.fail("applications", "must be an array of at most " +
                                              std::to_string(kMaxApplications) + " applications");
    }
    std::set<uint32_t> aids;
    card.applications.resize(apps.size());
    for (size_t i = 0; i < apps.size(); ++i) {
        std::string where = "applications[" + std::to_string(i) + "]";
        if (!parseApplication(check, apps[i], where, card.applications[i])) {
            return false;
        }
        if (!aids.insert(card.applications[i].aid).second) {
            return check.fail(where + ".aid", "repeats another application's AID");
        }
    }
    return true;
}

// What the format can hold at most: a card object holding applications holding files (five
// levels), 32 entries in an array (files 0 to 31), and no string longer than the hexadecimal of
// the largest file a card can have. Objects may have twice the members the format has, so that
// the checks after name the unknown ones.
constexpr size_t kMaxDepth = 5;
constexpr size_t kMaxArrayLength = kMaxFileNo + 1;
constexpr size_t kMaxMembers = 16;
constexpr size_t kMaxStringLength = 2 * size_t{kMaxFileSize};
constexpr size_t kMaxMemberNameLength = 32;
constexpr size_t kMaxBareTokenLength = 24;  // numbers, true, false, null

// Strings and numbers of any length would be copied whole by the parser before any bound could
// look at them: one scan of the raw text refuses them first.
bool tokensBounded(std::string_view text, std::string& error) {
    size_t run = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (inString) {
            if (c == '"') {
                inString = false;
                run = 0;
                continue;
            }
            if (c == '\\') {
                ++i;
            }
            if (++run > kMaxStringLength) {
                error = "a string longer than any in a card file";
                return false;
            }
            continue;
        }
        bool bare = c != '"' && c != '{' && c != '}' && c != '[' && c != ']' && c != ',' &&
                    c != ':' && c != ' ' && c != '\n' && c != '\r' && c != '\t';
        run = bare ? run + 1 : 0;
        inString = c == '"';
        if (run > kMaxBareTokenLength) {
            error = "a number longer than any in a card file";
            return false;
        }
    }
    return true;
}

// A first pass over the text, keeping nothing, that refuses any document whose shape no card
// file has before a tree of it is built: whatever the file, loading it takes memory in
// proportion to what a card can hold, not to what the file says.
class ShapeBounds {
  public:
    explicit ShapeBounds(std::string& error) : error_(error) {}

    bool null() { return value(); }
    bool boolean(bool) { return value(); }
    bool number_integer(Json::number_integer_t) { return value(); }
    bool number_unsigned(Json::number_unsigned_t) { return value(); }
    bool number_float(Json::number_float_t, const Json::string_t&) { return value(); }
    bool string(Json::string_t& text) {
        return text.size() > kMaxStringLength ? fail("a string longer than any in a card file")
                                              : value();
    }
    bool binary(Json::binary_t&) { return fail("not valid JSON"); }
    bool start_object(size_t) { return open(false); }
    bool start_array(size_t) { return open(true); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }

    bool key(Json::string_t& name) {
        Level& level = levels_.back();
        if (name.size() > kMaxMemberNameLength) {
            return fail("a member name longer than any in a card file");
        }
        for (size_t i = 0; i < level.count; ++i) {
            if (level.names[i] == name) {
                return fail("member '" + name + "' appears twice");
            }
        }
        if (level.count == kMaxMembers) {
            return fail("an object with more members than any in a card file");
        }
        level.names[level.count++] = name;
        return true;
    }

    bool parse_error(size_t, const std::string&, const nlohmann::detail::exception&) {
        return fail("not valid JSON");
    }

  private:
    struct Level {
        bool array = false;
        size_t count = 0;
        std::array<std::string, kMaxMembers> names;  // objects: the members seen
    };

    bool fail(const std::string& what) {
        if (error_.empty()) {
            error_ = what;
        }
        return false;
    }

    bool value() {
        if (levels_.empty() || !levels_.back().array) {
            return true;
        }
        return ++levels_.back().count > kMaxArrayLength
                   ? fail("an array longer than any in a card file")
                   : true;
    }

    bool open(bool array) {
        if (!value()) {
            return false;
        }
        if (levels_.size() == kMaxDepth) {
            return fail("nested deeper than a card file");
        }
        levels_.push_back(Level{array, 0, {}});
        return true;
    }

    bool close() {
        levels_.pop_back();
        return true;
    }

    std::string& error_;
    std::vector<Level> levels_;
};

}  // namespace

std::optional<CardState> parseCardJson(std::string_view text, std::string& error) {
    error.clear();
    ShapeBounds bounds(error);
    if (!tokensBounded(text, error) || !Json::sax_parse(text, &bounds)) {
        if (error.empty()) {
            error = "not valid JSON";
        }
        return std::nullopt;
    }
    Json json = Json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (json.is_discarded()) {
        error = "not valid JSON";
        return std::nullopt;
    }
    CardState card;
    Checker check(error);
    if (!parseCard(check, json, card)) {
        return std::nullopt;
    }
    return card;
}

std::string formatCardJson(const CardState& card) {
    OrderedJson apps = OrderedJson::array();
    for (const Application& app : card.applications) {
        OrderedJson keys = OrderedJson::array();
        for (const Key& key : app.keys) {
            keys.push_back(text::toHex(key));
        }
        OrderedJson files = OrderedJson::array();
        for (const DataFile& file : app.files) {
            std::array<uint8_t, 2> rights{static_cast<uint8_t>(file.accessRights >> 8),
                                          static_cast<uint8_t>(file.accessRights)};
            files.push_back(OrderedJson{{"fileNo", file.fileNo},
                                        {"type", file.type},
                                        {"comm", file.comm},
                                        {"accessRights", text::toHex(rights)},
                                        {"size", file.data.size()},
                                        {"data", text::toHex(file.data)}});
        }
        std::array<uint8_t, 3> aid{static_cast<uint8_t>(app.aid >> 16),
                                   static_cast<uint8_t>(app.aid >> 8),
                                   static_cast<uint8_t>(app.aid)};
        apps.push_back(OrderedJson{{"aid", text::toHex(aid)},
                                   {"keySettings", text::toHex(std::span(&app.keySettings, 1))},
                                   {"keys", keys},
                                   {"files", files}});
    }
    OrderedJson out;
    out["uid"] = text::toHex(card.uid);
    out["atqa"] = text::toHex(card.atqa);
    out["sak"] = text::toHex(std::span(&card.sak, 1));
    out["piccKey"] = text::toHex(card.piccKey);
    out["piccKeySettings"] = text::toHex(std::span(&card.piccKeySettings, 1));
    out["freeMemory"] = card.freeMemory;
    out["removeAfterFrames"] =
        card.removeAfterFrames ? OrderedJson(*card.removeAfterFrames) : nullptr;
    out["applications"] = apps;
    return out.dump(2) + "\n";
}

}  // namespace zendor::vcard

// The tests' scratch files: a folder per test, or one file in a folder of its own, removed with
// everything in them when the test ends.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <string_view>

namespace zendor::test {

class TempDir {
  public:
    TempDir() {
#ifdef _WIN32
        // No mkdtemp there: a random name, taken only when this call made the folder.
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const auto candidate = std::filesystem::temp_directory_path() /
                                   ("zendor-test-" + std::to_string(random()));
            std::error_code error;
            if (std::filesystem::create_directory(candidate, error)) {
                path_ = candidate;
            }
        }
#else
        std::string pattern =
            (std::filesystem::temp_directory_path() / "zendor-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
#endif
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const {
        return path_;
    }
    std::string file(const std::string& name) const {
        return (path_ / name).string();
    }

  private:
    std::filesystem::path path_;
};

// One file holding text, alone in its folder, so that parallel tests never meet.
class FixtureFile {
  public:
    FixtureFile(std::string_view name, std::string_view text)
        : path_(dir_.file(std::string(name))) {
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << text;
    }

    const char* path() const { return path_.c_str(); }

    std::string text() const {
        std::ifstream in(path_, std::ios::binary);
        std::ostringstream all;
        all << in.rdbuf();
        return all.str();
    }

  private:
    TempDir dir_;
    std::string path_;
};

inline void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace zendor::test

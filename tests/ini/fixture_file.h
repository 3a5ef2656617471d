// A text file written for one test under the test temporary folder, removed when it goes.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

namespace zendor::testing {

class FixtureFile {
  public:
    // The name is made unique per process and test, so parallel test runs do not meet.
    FixtureFile(std::string_view name, std::string_view text) {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string unique = std::to_string(::getpid()) + "-" +
                             (test != nullptr ? test->name() : "none") + "-" + std::string(name);
        std::replace(unique.begin(), unique.end(), '/', '_');  // parameterised test names
        path_ = ::testing::TempDir() + "zendor-" + unique;
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out << text;
    }
    ~FixtureFile() { std::remove(path_.c_str()); }
    FixtureFile(const FixtureFile&) = delete;
    FixtureFile& operator=(const FixtureFile&) = delete;

    const char* path() const { return path_.c_str(); }

    std::string text() const {
        std::ifstream in(path_, std::ios::binary);
        std::ostringstream all;
        all << in.rdbuf();
        return all.str();
    }

  private:
    std::string path_;
};

}  // namespace zendor::testing

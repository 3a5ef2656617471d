// What the fuzz targets share: reading the input piece by piece, catching what the code prints
// on standard output, and stopping loudly when an invariant breaks.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

// The entry point every target defines; libFuzzer or replay_main.cpp calls it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace zendor::fuzz {

// An invariant of the code under test broke: say which, and abort so that libFuzzer keeps the
// input and a corpus replay fails.
inline void require(bool holds, std::string_view what) {
    if (!holds) {
        std::fprintf(stderr, "fuzz invariant broken: %.*s\n", static_cast<int>(what.size()),
                     what.data());
        std::abort();
    }
}

// The input, consumed from the front; reads past the end give zeros and empty spans.
class ByteReader {
  public:
    explicit ByteReader(std::span<const uint8_t> input) : rest_(input) {}

    bool empty() const { return rest_.empty(); }
    size_t size() const { return rest_.size(); }

    uint8_t byte() {
        if (rest_.empty()) {
            return 0;
        }
        const uint8_t b = rest_.front();
        rest_ = rest_.subspan(1);
        return b;
    }

    std::span<const uint8_t> bytes(size_t count) {
        const std::span<const uint8_t> taken = rest_.first(std::min(count, rest_.size()));
        rest_ = rest_.subspan(taken.size());
        return taken;
    }

    std::span<const uint8_t> rest() { return bytes(rest_.size()); }

  private:
    std::span<const uint8_t> rest_;
};

// Standard output goes to memory while it lives, so that targets can check what the code printed
// and a fuzzing run is not slowed down by the console. glibc lets stdout be reassigned.
class CapturedOutput {
  public:
    CapturedOutput() : saved_(stdout), memory_(open_memstream(&buffer_, &size_)) {
        require(memory_ != nullptr, "open_memstream");
        std::fflush(stdout);
        stdout = memory_;
    }
    ~CapturedOutput() {
        restore();
        std::free(buffer_);
    }
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;

    // Everything printed so far.
    std::string text() {
        std::fflush(memory_);
        return std::string(buffer_, size_);
    }

  private:
    void restore() {
        if (memory_ != nullptr) {
            std::fflush(memory_);
            stdout = saved_;
            std::fclose(memory_);
            memory_ = nullptr;
        }
    }

    std::FILE* saved_;
    char* buffer_ = nullptr;
    size_t size_ = 0;
    std::FILE* memory_;
};

// Complete lines only: nothing, or text that ends with a newline.
inline bool wholeLines(std::string_view text) {
    return text.empty() || text.back() == '\n';
}

inline size_t lineCount(std::string_view text) {
    size_t lines = 0;
    for (char c : text) {
        lines += c == '\n' ? 1 : 0;
    }
    return lines;
}

// A file of this process's own in the temporary folder, for code that reads files by name;
// removed when the process ends normally.
class ScratchFile {
  public:
    explicit ScratchFile(const char* name)
        : path_("/tmp/zendor-fuzz-" + std::to_string(::getpid()) + "-" + name) {}
    ~ScratchFile() { std::remove(path_.c_str()); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

inline void writeWholeFile(const std::string& path, std::span<const uint8_t> bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    require(file != nullptr, "scratch file cannot be created");
    require(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size(), "scratch write");
    require(std::fclose(file) == 0, "scratch close");
}

}  // namespace zendor::fuzz

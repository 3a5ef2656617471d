// Standard output sent into a pipe while a test runs code in another thread: the test waits for
// the line that marks an event (a card file read, a connection tried) instead of sleeping, then
// takes everything that was printed. POSIX only.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace zendor::test {

class StdoutPipe {
  public:
    StdoutPipe() {
        std::fflush(stdout);
        if (::pipe(ends_) == 0) {
            saved_ = ::dup(STDOUT_FILENO);
            ::dup2(ends_[1], STDOUT_FILENO);
        }
    }
    ~StdoutPipe() { finish(); }
    StdoutPipe(const StdoutPipe&) = delete;
    StdoutPipe& operator=(const StdoutPipe&) = delete;

    // Reads until a whole line equal to line has been printed. False when output ends first, or
    // after a minute without it: a guard that only keeps a broken test from hanging.
    bool waitForLine(std::string_view line) {
        const std::string wanted = std::string(line) + "\n";
        while (!containsLine(wanted)) {
            if (!readSome(60000)) {
                return false;
            }
        }
        return true;
    }

    // Gives standard output back and returns all that was printed. Call it once the code that
    // prints has finished.
    std::string finish() {
        if (saved_ >= 0) {
            std::fflush(stdout);
            ::dup2(saved_, STDOUT_FILENO);
            ::close(saved_);
            ::close(ends_[1]);
            saved_ = -1;
            while (readSome(60000)) {
            }
            ::close(ends_[0]);
        }
        return text_;
    }

  private:
    bool containsLine(const std::string& wanted) const {
        const size_t at = text_.find(wanted);
        return at != std::string::npos && (at == 0 || text_[at - 1] == '\n');
    }

    bool readSome(int timeoutMs) {
        pollfd waiting{ends_[0], POLLIN, 0};
        char buffer[4096];
        const ssize_t n =
            ::poll(&waiting, 1, timeoutMs) == 1 ? ::read(ends_[0], buffer, sizeof buffer) : -1;
        if (n <= 0) {
            return false;
        }
        text_.append(buffer, static_cast<size_t>(n));
        return true;
    }

    int ends_[2] = {-1, -1};
    int saved_ = -1;
    std::string text_;
};

}  // namespace zendor::test

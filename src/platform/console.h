// The console as the tool's UTF-8 text needs it.
#pragma once

namespace zendor::platform {

// While it lives, a Windows console shows UTF-8 output (a file name beyond ASCII) as such rather
// than in its OEM code page; the code page it had comes back when it goes. Nothing elsewhere.
class Utf8Console {
  public:
    Utf8Console();
    ~Utf8Console();
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

  private:
    [[maybe_unused]] unsigned int previous_ = 0;  // Windows only; 0: nothing to restore
};

}  // namespace zendor::platform

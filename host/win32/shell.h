// The run-time services beyond the kernel: the executable's folder, text files, the message
// box and the user's date and time formats.
#pragma once

#include "host/shell.h"

namespace tkw::win32 {

class Shell final : public host::Shell {
 public:
  std::string ExecutableFolder() override;
  std::unique_ptr<host::TextFile> OpenTextFile(const std::string& path,
                                               host::FileMode mode) override;
  void MessageBoxA(const std::string& text, const std::string& caption) override;
  std::string FormatShortDate(const host::LocalTime& time) override;
  std::string FormatLongTime(const host::LocalTime& time) override;
};

}  // namespace tkw::win32

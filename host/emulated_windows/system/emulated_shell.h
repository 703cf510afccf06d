// The run-time services of the emulated machine: the executable's folder, text files by
// Windows path, the message box (a line on standard error) and the en-US date and time.
#pragma once

#include <filesystem>
#include <iostream>

#include "host/emulated_windows/system/windows_paths.h"
#include "host/shell.h"

namespace tkw::emulated {

class EmulatedShell : public host::Shell {
 public:
  // Message boxes go to `messages`, one line each.
  explicit EmulatedShell(const std::filesystem::path& prefix, std::ostream& messages = std::cerr);

  std::string ExecutableFolder() override;

  // Files hold the bytes written, unconverted. A file or folder without any write permission
  // counts as read only even for root, so that it behaves alike in every account. Others may
  // read and write an open file, but not delete it (EmulatedKernel::DeleteFileA).
  std::unique_ptr<host::TextFile> OpenTextFile(const std::string& path,
                                               host::FileMode mode) override;

  // "MessageBox [<caption>] <text>", with line breaks turned into blanks; returns at once.
  void MessageBoxA(const std::string& text, const std::string& caption) override;

  std::string FormatShortDate(const host::LocalTime& time) override;  // "12/5/2026"
  std::string FormatLongTime(const host::LocalTime& time) override;   // "4:07:09 PM"

 private:
  WindowsPaths paths_;
  std::ostream& messages_;
};

}  // namespace tkw::emulated

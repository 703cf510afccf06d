// What the program's run-time gives it beyond the kernel: its own folder, text files,
// the message box and the locale's date and time formats.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "host/kernel.h"

namespace tkw::host {

enum class FileMode {
  kAppend,  // created when missing, written at its end
  kOutput,  // created anew, an existing file emptied first
};

// One open file. Every write reaches the file before Write returns, so a failure shows on
// the line that caused it. Destroying a file that is still open closes it quietly.
class TextFile {
 public:
  virtual ~TextFile() = default;
  virtual void Write(std::string_view bytes) = 0;  // throws RuntimeError
  virtual void Close() = 0;                        // throws RuntimeError
};

class Shell {
 public:
  virtual ~Shell() = default;

  // The folder of the running executable as a Windows path in the ANSI code page, with
  // backslashes and without a trailing one (except at a drive's root, "C:\").
  virtual std::string ExecutableFolder() = 0;

  // `path` is a Windows path in the ANSI code page. Throws RuntimeError ("Path not found",
  // "Permission denied", ...) when the file cannot be opened.
  virtual std::unique_ptr<TextFile> OpenTextFile(const std::string& path, FileMode mode) = 0;

  // A modal box with an OK button and no icon; returns when it is dismissed.
  virtual void MessageBoxA(const std::string& text, const std::string& caption) = 0;

  // The user's locale's short date and long time, e.g. "12/5/2026" and "4:07:09 PM".
  virtual std::string FormatShortDate(const LocalTime& time) = 0;
  virtual std::string FormatLongTime(const LocalTime& time) = 0;
};

}  // namespace tkw::host

#include "host/win32/shell.h"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "host/runtime_error.h"

namespace tkw::win32 {
namespace {

// The run-time's descriptions of the file errors that opening and writing meet.
host::RuntimeError FileError(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
      return host::RuntimeError::FileNotFound();
    case ERROR_PATH_NOT_FOUND:
      return host::RuntimeError::PathNotFound();
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return host::RuntimeError::PermissionDenied();
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return host::RuntimeError::DiskFull();
    default:
      return host::RuntimeError::PathFileAccessError();
  }
}

class TextFile final : public host::TextFile {
 public:
  explicit TextFile(HANDLE file) : file_(file) {}
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;
  ~TextFile() override {
    if (file_ != INVALID_HANDLE_VALUE)
      ::CloseHandle(file_);
  }

  void Write(std::string_view bytes) override {
    while (!bytes.empty()) {
      DWORD written = 0;
      if (!::WriteFile(file_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
        throw FileError(::GetLastError());
      }
      bytes.remove_prefix(written);
    }
  }

  void Close() override {
    if (!::CloseHandle(std::exchange(file_, INVALID_HANDLE_VALUE))) {
      throw FileError(::GetLastError());
    }
  }

 private:
  HANDLE file_;
};

SYSTEMTIME ToSystemTime(const host::LocalTime& time) {
  SYSTEMTIME result{};
  result.wYear = static_cast<WORD>(time.year);
  result.wMonth = static_cast<WORD>(time.month);
  result.wDay = static_cast<WORD>(time.day);
  result.wHour = static_cast<WORD>(time.hour);
  result.wMinute = static_cast<WORD>(time.minute);
  result.wSecond = static_cast<WORD>(time.second);
  return result;
}

// Calls one of the GetDateFormatA family twice: for the length, then for the text.
template <class Formatter>
std::string FormatWith(Formatter format) {
  const int length = format(nullptr, 0);
  if (length <= 0)
    return {};
  std::string text(static_cast<std::size_t>(length), '\0');
  text.resize(static_cast<std::size_t>(std::max(format(text.data(), length) - 1, 0)));
  return text;
}

}  // namespace

std::string Shell::ExecutableFolder() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  std::string folder = path.substr(0, path.find_last_of('\\'));
  if (folder.size() == 2 && folder[1] == ':')
    folder += '\\';
  return folder;
}

std::unique_ptr<host::TextFile> Shell::OpenTextFile(const std::string& path, host::FileMode mode) {
  const bool append = mode == host::FileMode::kAppend;
  // Appending asks for FILE_APPEND_DATA without FILE_WRITE_DATA: every write then lands at the
  // end as it is at that moment, so a second copy appending to the same log meanwhile neither
  // overwrites nor is overwritten. Others may read and write the file meanwhile, as the
  // run-time allows for its text files, but not delete it.
  const HANDLE file =
      ::CreateFileA(path.c_str(), append ? FILE_APPEND_DATA | SYNCHRONIZE : GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    throw FileError(::GetLastError());
  return std::make_unique<TextFile>(file);
}

void Shell::MessageBoxA(const std::string& text, const std::string& caption) {
  // Windowless and often started in the background as PowerPoint starts: without these the box
  // opens behind PowerPoint and the run waits for a click nobody sees. Still OK only, no icon.
  ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_SETFOREGROUND | MB_TOPMOST);
}

std::string Shell::FormatShortDate(const host::LocalTime& time) {
  const SYSTEMTIME date = ToSystemTime(time);
  return FormatWith([&](char* buffer, int size) {
    return ::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &date, nullptr, buffer, size);
  });
}

std::string Shell::FormatLongTime(const host::LocalTime& time) {
  const SYSTEMTIME clock = ToSystemTime(time);
  return FormatWith([&](char* buffer, int size) {
    return ::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &clock, nullptr, buffer, size);
  });
}

}  // namespace tkw::win32

#include "host/emulated_windows/system/emulated_shell.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "host/emulated_windows/system/file_descriptor.h"
#include "host/emulated_windows/system/open_files.h"
#include "host/formats/windows_1252.h"
#include "host/runtime_error.h"

namespace tkw::emulated {

using formats::AnsiToUtf8;
namespace {

host::RuntimeError BadFileNumber() {
  return {52, "Bad file name or number"};
}
host::RuntimeError DeviceError() {
  return {57, "Device I/O error"};
}

host::RuntimeError WriteError(int error) {
  return error == ENOSPC || error == EDQUOT ? host::RuntimeError::DiskFull() : DeviceError();
}

host::RuntimeError OpenError(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return host::RuntimeError::PathNotFound();
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
      return host::RuntimeError::PermissionDenied();
    default:
      return host::RuntimeError::PathFileAccessError();
  }
}

bool HasNoWritePermission(const std::filesystem::path& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 &&
         (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

class LinuxTextFile : public host::TextFile {
 public:
  explicit LinuxTextFile(FileDescriptor file) : file_(std::move(file)) {}

  void Write(std::string_view bytes) override {
    if (!file_)
      throw BadFileNumber();
    while (!bytes.empty()) {
      const ssize_t written = ::write(file_.get(), bytes.data(), bytes.size());
      if (written < 0) {
        if (errno == EINTR)
          continue;
        throw WriteError(errno);
      }
      bytes.remove_prefix(static_cast<std::size_t>(written));
    }
  }

  void Close() override {
    if (!file_)
      throw BadFileNumber();
    if (::close(file_.release()) != 0 && errno != EINTR)
      throw WriteError(errno);
  }

 private:
  FileDescriptor file_;
};

}  // namespace

EmulatedShell::EmulatedShell(const std::filesystem::path& prefix, std::ostream& messages)
    : paths_(prefix), messages_(messages) {}

std::string EmulatedShell::ExecutableFolder() {
  return emulated::ExecutableFolder();
}

std::unique_ptr<host::TextFile> EmulatedShell::OpenTextFile(const std::string& path,
                                                            host::FileMode mode) {
  const auto linuxPath = paths_.ToLinux(path);
  if (!linuxPath)
    throw host::RuntimeError::PathNotFound();
  std::error_code error;
  const bool exists = std::filesystem::exists(*linuxPath, error);
  if (HasNoWritePermission(exists ? *linuxPath : linuxPath->parent_path())) {
    throw std::filesystem::is_directory(*linuxPath, error)
        ? host::RuntimeError::PathFileAccessError()
        : host::RuntimeError::PermissionDenied();
  }
  // O_APPEND: every write lands at the end as it is then, as Windows writes through a handle
  // opened for appending only, whoever else writes to the file meanwhile.
  const int flags = O_WRONLY | O_CREAT | (mode == host::FileMode::kAppend ? O_APPEND : O_TRUNC);
  FileDescriptor file = OpenHeld(*linuxPath, flags);
  if (!file)
    throw OpenError(errno);
  return std::make_unique<LinuxTextFile>(std::move(file));
}

void EmulatedShell::MessageBoxA(const std::string& text, const std::string& caption) {
  std::string oneLine;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool crLf = text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
    if (crLf)
      ++i;
    oneLine += text[i] == '\r' || text[i] == '\n' ? ' ' : text[i];
  }
  messages_ << "MessageBox [" << AnsiToUtf8(caption) << "] " << AnsiToUtf8(oneLine) << '\n'
            << std::flush;
}

std::string EmulatedShell::FormatShortDate(const host::LocalTime& time) {
  return std::to_string(time.month) + '/' + std::to_string(time.day) + '/' +
         std::to_string(time.year);
}

std::string EmulatedShell::FormatLongTime(const host::LocalTime& time) {
  const int hour12 = time.hour % 12 == 0 ? 12 : time.hour % 12;
  char text[48];
  std::snprintf(text, sizeof text, "%d:%02d:%02d %s", hour12, time.minute, time.second,
                time.hour < 12 ? "AM" : "PM");
  return text;
}

}  // namespace tkw::emulated

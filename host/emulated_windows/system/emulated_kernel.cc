#include "host/emulated_windows/system/emulated_kernel.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <system_error>
#include <thread>

#include "host/emulated_windows/system/open_files.h"
#include "host/formats/windows_1252.h"

namespace tkw::emulated {
namespace {

constexpr std::uint32_t kErrorPathNotFound = 3;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorSharingViolation = 32;
constexpr std::uint32_t kErrorFilenameTooLong = 206;

// The Windows error for a file operation on `path` that failed with `error`.
std::uint32_t WindowsErrorOf(int error, const std::filesystem::path& path) {
  switch (error) {
    case ENOENT: {
      std::error_code ignored;
      return std::filesystem::is_directory(path.parent_path(), ignored) ? host::kErrorFileNotFound
                                                                        : kErrorPathNotFound;
    }
    case ENOTDIR:
      return kErrorPathNotFound;
    case ENAMETOOLONG:
      return kErrorFilenameTooLong;
    case EBUSY:
    case ETXTBSY:
      return kErrorSharingViolation;
    default:
      return kErrorAccessDenied;
  }
}

// Mutex names may hold any character but "\"; file names may not hold "/" and are better
// without control characters, so everything but letters, digits, '-', '_' and '.' is %XX.
std::string MutexFileName(const std::string& name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string file;
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') ||
        (byte >= 'a' && byte <= 'z') || byte == '-' || byte == '_' ||
        (byte == '.' && !file.empty())) {
      file += c;
    } else {
      file += '%';
      file += kHex[byte >> 4];
      file += kHex[byte & 0xF];
    }
  }
  return file;
}

}  // namespace

EmulatedKernel::EmulatedKernel(const std::filesystem::path& prefix)
    : mutexFolder_(prefix / "mutexes"), paths_(prefix) {}

bool EmulatedKernel::Fail(std::uint32_t error) {
  lastError_ = error;
  return false;
}

host::Handle EmulatedKernel::CreateMutexA(bool /*initialOwner*/, const std::string& name) {
  FileDescriptor lockFile;
  lastError_ = host::kErrorSuccess;
  if (!name.empty()) {
    std::error_code error;
    std::filesystem::create_directories(mutexFolder_, error);
    const std::filesystem::path path = mutexFolder_ / MutexFileName(name);
    lockFile = FileDescriptor(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
    if (!lockFile) {
      lastError_ = WindowsErrorOf(errno, path);
      return 0;
    }
    if (::flock(lockFile.get(), LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK) {
        lastError_ = kErrorAccessDenied;
        return 0;
      }
      lastError_ = host::kErrorAlreadyExists;
    }
  }
  const host::Handle handle = nextHandle_;
  nextHandle_ += 4;
  mutexes_.emplace(handle, std::move(lockFile));
  return handle;
}

void EmulatedKernel::WaitForMutex(const std::string& name) {
  const FileDescriptor lockFile(
      ::open((mutexFolder_ / MutexFileName(name)).c_str(), O_RDONLY | O_CLOEXEC));
  if (!lockFile)
    return;  // never created: no one owns it
  while (::flock(lockFile.get(), LOCK_SH) != 0 && errno == EINTR) {
  }
}

bool EmulatedKernel::CloseHandle(host::Handle handle) {
  if (mutexes_.erase(handle) == 0)
    return Fail(kErrorInvalidHandle);
  lastError_ = host::kErrorSuccess;
  return true;
}

bool EmulatedKernel::DeleteFileA(const std::string& path) {
  const auto linuxPath = paths_.ToLinux(path);
  if (!linuxPath)
    return Fail(kErrorPathNotFound);
  struct stat status {};
  if (::lstat(linuxPath->c_str(), &status) != 0)
    return Fail(WindowsErrorOf(errno, *linuxPath));
  const bool readOnly = (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  if (S_ISDIR(status.st_mode) || (readOnly && !S_ISLNK(status.st_mode))) {
    return Fail(kErrorAccessDenied);
  }
  if (const int error = DeleteUnlessHeld(*linuxPath); error != 0)
    return Fail(WindowsErrorOf(error, *linuxPath));
  lastError_ = host::kErrorSuccess;
  return true;
}

std::wstring EmulatedKernel::AnsiToWide(std::string_view ansi) {
  return formats::AnsiToWide(ansi);
}

std::string EmulatedKernel::WideToAnsi(std::wstring_view wide) {
  return formats::WideToAnsi(wide);
}

host::LocalTime EmulatedKernel::GetLocalTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
          local.tm_hour,        local.tm_min,     local.tm_sec};
}

void EmulatedKernel::Sleep(std::uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace tkw::emulated

// Kernel services of the emulated machine: named mutexes shared by every process that uses
// the same prefix, files by Windows path, the ANSI code page and the local clock.
#pragma once

#include <filesystem>
#include <unordered_map>

#include "host/emulated_windows/system/file_descriptor.h"
#include "host/emulated_windows/system/windows_paths.h"
#include "host/kernel.h"

namespace tkw::emulated {

class EmulatedKernel : public host::Kernel {
 public:
  explicit EmulatedKernel(const std::filesystem::path& prefix);

  // A named mutex is an exclusive lock on a file in <prefix>/mutexes/, so the system releases
  // it when its handle is closed or its process ends. Owning it is what makes a later create of
  // the same name, in any process, see it as existing; initial ownership is always taken.
  host::Handle CreateMutexA(bool initialOwner, const std::string& name) override;
  std::uint32_t GetLastError() override { return lastError_; }
  // Waits until no process owns the named mutex, as a wait for it and its release would.
  void WaitForMutex(const std::string& name);
  bool CloseHandle(host::Handle handle) override;

  // Fails on a folder and, as under Wine, on a file without write permission (read only);
  // with ERROR_SHARING_VIOLATION while any process of the machine holds the file open.
  bool DeleteFileA(const std::string& path) override;

  std::wstring AnsiToWide(std::string_view ansi) override;
  std::string WideToAnsi(std::wstring_view wide) override;

  host::LocalTime GetLocalTime() override;
  void Sleep(std::uint32_t milliseconds) override;

 private:
  bool Fail(std::uint32_t error);

  std::filesystem::path mutexFolder_;
  WindowsPaths paths_;
  // Every open handle is a mutex; an unnamed one has no file.
  std::unordered_map<host::Handle, FileDescriptor> mutexes_;
  host::Handle nextHandle_ = 4;
  std::uint32_t lastError_ = 0;
};

}  // namespace tkw::emulated

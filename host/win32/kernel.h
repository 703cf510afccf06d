// Kernel services and global memory blocks over Win32.
#pragma once

#include "host/kernel.h"

namespace tkw::win32 {

class Kernel final : public host::Kernel {
 public:
  host::Handle CreateMutexA(bool initialOwner, const std::string& name) override;
  // The code that the last call of this object left, read before anything else could change it.
  std::uint32_t GetLastError() override { return lastError_; }
  bool CloseHandle(host::Handle handle) override;
  bool DeleteFileA(const std::string& path) override;
  std::wstring AnsiToWide(std::string_view ansi) override;
  std::string WideToAnsi(std::wstring_view wide) override;
  host::LocalTime GetLocalTime() override;
  void Sleep(std::uint32_t milliseconds) override;

 private:
  std::uint32_t lastError_ = 0;
};

class GlobalMemory final : public host::GlobalMemory {
 public:
  host::Handle GlobalAlloc(std::uint32_t flags, std::size_t bytes) override;
  std::size_t GlobalSize(host::Handle block) override;
  void* GlobalLock(host::Handle block) override;
  bool GlobalUnlock(host::Handle block) override;
  host::Handle GlobalFree(host::Handle block) override;
};

}  // namespace tkw::win32

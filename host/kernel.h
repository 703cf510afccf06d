// Kernel services: the named mutex, files by path, the ANSI code page, the clock and a pause.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/handle.h"

namespace tkw::host {

struct LocalTime {
  int year = 0, month = 0, day = 0;  // month and day count from 1
  int hour = 0, minute = 0, second = 0;
};

class Kernel {
 public:
  virtual ~Kernel() = default;

  // No security attributes. Sets the calling thread's last-error code, 183 when the name
  // already existed (the handle is then still returned).
  virtual Handle CreateMutexA(bool initialOwner, const std::string& name) = 0;
  virtual std::uint32_t GetLastError() = 0;
  virtual bool CloseHandle(Handle handle) = 0;

  // `path` is a Windows path in the ANSI code page.
  virtual bool DeleteFileA(const std::string& path) = 0;

  // Conversions at the program's edges; unmappable characters become '?'.
  virtual std::wstring AnsiToWide(std::string_view ansi) = 0;
  virtual std::string WideToAnsi(std::wstring_view wide) = 0;

  virtual LocalTime GetLocalTime() = 0;

  // Suspends the calling thread for about `milliseconds`.
  virtual void Sleep(std::uint32_t milliseconds) = 0;
};

// Movable global memory blocks, the currency of the clipboard.
inline constexpr std::uint32_t kGmemMoveable = 0x0002;
inline constexpr std::uint32_t kGmemZeroinit = 0x0040;
inline constexpr std::uint32_t kGmemShare = 0x2000;

class GlobalMemory {
 public:
  virtual ~GlobalMemory() = default;

  virtual Handle GlobalAlloc(std::uint32_t flags, std::size_t bytes) = 0;
  // The allocated size, which may exceed what was asked for; 0 for a bad handle.
  virtual std::size_t GlobalSize(Handle block) = 0;
  virtual void* GlobalLock(Handle block) = 0;
  virtual bool GlobalUnlock(Handle block) = 0;
  // Returns 0 on success, the handle on failure.
  virtual Handle GlobalFree(Handle block) = 0;
};

}  // namespace tkw::host

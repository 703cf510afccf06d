// Win32 handles as the portable code carries them, and back.
#pragma once

#include <windows.h>

#include <cstdint>

#include "host/handle.h"

namespace tkw::win32 {

template <class T>
T FromHandle(host::Handle handle) {
  return reinterpret_cast<T>(handle);
}

inline host::Handle ToHandle(const void* handle) {
  return reinterpret_cast<host::Handle>(handle);
}

// A kernel object's handle (a file's, a mutex's, an event's), closed with the owner.
class KernelHandle {
 public:
  explicit KernelHandle(HANDLE handle = nullptr) : handle_(handle) {}
  KernelHandle(const KernelHandle&) = delete;
  KernelHandle& operator=(const KernelHandle&) = delete;
  ~KernelHandle() {
    if (*this)
      ::CloseHandle(handle_);
  }

  explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }
  // For a function that gives a handle through an out-argument; the object must be empty.
  HANDLE* put() { return &handle_; }

 private:
  HANDLE handle_;
};

// Writes a 32-bit DWORD result back into an optional std::uint32_t out-argument, which the
// portable interfaces use where Win32 has DWORD (unsigned long on Windows).
class DwordArgument {
 public:
  explicit DwordArgument(std::uint32_t* target)
      : target_(target), value_(target != nullptr ? *target : 0) {}
  DwordArgument(const DwordArgument&) = delete;
  DwordArgument& operator=(const DwordArgument&) = delete;
  ~DwordArgument() {
    if (target_ != nullptr)
      *target_ = value_;
  }

  DWORD* get() { return target_ != nullptr ? &value_ : nullptr; }

 private:
  std::uint32_t* target_;
  DWORD value_;
};

}  // namespace tkw::win32

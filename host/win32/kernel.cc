#include "host/win32/kernel.h"

#include <windows.h>

#include "host/win32/code_page.h"
#include "host/win32/handles.h"

namespace tkw::win32 {

host::Handle Kernel::CreateMutexA(bool initialOwner, const std::string& name) {
  const HANDLE mutex = ::CreateMutexA(nullptr, initialOwner, name.c_str());
  lastError_ = ::GetLastError();
  return ToHandle(mutex);
}

bool Kernel::CloseHandle(host::Handle handle) {
  const bool closed = ::CloseHandle(FromHandle<HANDLE>(handle));
  lastError_ = ::GetLastError();
  return closed;
}

bool Kernel::DeleteFileA(const std::string& path) {
  const bool deleted = ::DeleteFileA(path.c_str());
  lastError_ = ::GetLastError();
  return deleted;
}

std::wstring Kernel::AnsiToWide(std::string_view ansi) {
  return win32::AnsiToWide(ansi);
}

std::string Kernel::WideToAnsi(std::wstring_view wide) {
  return win32::WideToAnsi(wide);
}

host::LocalTime Kernel::GetLocalTime() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

void Kernel::Sleep(std::uint32_t milliseconds) {
  ::Sleep(milliseconds);
}

host::Handle GlobalMemory::GlobalAlloc(std::uint32_t flags, std::size_t bytes) {
  return ToHandle(::GlobalAlloc(flags, bytes));
}

std::size_t GlobalMemory::GlobalSize(host::Handle block) {
  return ::GlobalSize(FromHandle<HGLOBAL>(block));
}

void* GlobalMemory::GlobalLock(host::Handle block) {
  return ::GlobalLock(FromHandle<HGLOBAL>(block));
}

bool GlobalMemory::GlobalUnlock(host::Handle block) {
  return ::GlobalUnlock(FromHandle<HGLOBAL>(block));
}

host::Handle GlobalMemory::GlobalFree(host::Handle block) {
  return ToHandle(::GlobalFree(FromHandle<HGLOBAL>(block)));
}

}  // namespace tkw::win32

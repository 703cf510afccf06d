#include "host/win32/clipboard.h"

#include <windows.h>

#include "host/win32/handles.h"

namespace tkw::win32 {

bool Clipboard::OpenClipboard(host::Handle owner) {
  return ::OpenClipboard(FromHandle<HWND>(owner));
}

bool Clipboard::CloseClipboard() {
  return ::CloseClipboard();
}

bool Clipboard::EmptyClipboard() {
  return ::EmptyClipboard();
}

unsigned Clipboard::RegisterClipboardFormatA(const std::string& name) {
  return ::RegisterClipboardFormatA(name.c_str());
}

host::Handle Clipboard::GetClipboardData(unsigned format) {
  return ToHandle(::GetClipboardData(format));
}

host::Handle Clipboard::SetClipboardData(unsigned format, host::Handle block) {
  return ToHandle(::SetClipboardData(format, FromHandle<HANDLE>(block)));
}

}  // namespace tkw::win32

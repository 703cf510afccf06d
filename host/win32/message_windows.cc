#include "host/win32/message_windows.h"

#include <windows.h>

#include "host/win32/handles.h"

namespace tkw::win32 {

host::Handle MessageWindows::CreateMessageWindow() {
  // A system class, so that the program registers none of its own: the window only has to
  // exist, and what reaches it is handled as any static control handles it.
  return ToHandle(::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr));
}

bool MessageWindows::DestroyWindow(host::Handle window) {
  return ::DestroyWindow(FromHandle<HWND>(window));
}

}  // namespace tkw::win32

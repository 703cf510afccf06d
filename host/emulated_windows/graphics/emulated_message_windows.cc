#include "host/emulated_windows/graphics/emulated_message_windows.h"

namespace tkw::emulated {

host::Handle EmulatedMessageWindows::CreateMessageWindow() {
  const host::Handle window = next_;
  next_ += 2;
  live_.insert(window);
  return window;
}

bool EmulatedMessageWindows::DestroyWindow(host::Handle window) {
  return live_.erase(window) == 1;
}

}  // namespace tkw::emulated

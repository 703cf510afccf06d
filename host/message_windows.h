// Windows of the program's own that nobody sees. The program shows nothing, but the clipboard
// gives what is placed on it to the window that emptied it, and without one the system may
// refuse it.
#pragma once

#include "host/handle.h"

namespace tkw::host {

class MessageWindows {
 public:
  virtual ~MessageWindows() = default;

  // A message-only window (HWND_MESSAGE) of the calling thread: never shown, never on the
  // desktop, found by no enumeration; 0 when none can be made.
  virtual Handle CreateMessageWindow() = 0;
  virtual bool DestroyWindow(Handle window) = 0;
};

}  // namespace tkw::host

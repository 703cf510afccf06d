// Message-only windows over Win32.
#pragma once

#include "host/message_windows.h"

namespace tkw::win32 {

class MessageWindows final : public host::MessageWindows {
 public:
  host::Handle CreateMessageWindow() override;
  bool DestroyWindow(host::Handle window) override;
};

}  // namespace tkw::win32

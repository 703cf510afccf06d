// Every platform service of the program over the real Win32 calls.
#pragma once

#include "host/busy_server.h"
#include "host/host.h"
#include "host/win32/busy_server.h"
#include "host/win32/clipboard.h"
#include "host/win32/com.h"
#include "host/win32/gdi.h"
#include "host/win32/kernel.h"
#include "host/win32/message_windows.h"
#include "host/win32/ole.h"
#include "host/win32/registry.h"
#include "host/win32/shell.h"

namespace tkw::win32 {

// Made and used on the program's one thread, on which it holds OLE and the message filter for
// its life.
class Win32Host final : public host::Host {
 public:
  host::Registry& registry() override { return registry_; }
  host::Kernel& kernel() override { return kernel_; }
  host::GlobalMemory& memory() override { return memory_; }
  host::Shell& shell() override { return shell_; }
  host::Clipboard& clipboard() override { return clipboard_; }
  host::MessageWindows& windows() override { return windows_; }
  host::Gdi& gdi() override { return gdi_; }
  host::Ole& ole() override { return ole_; }

 private:
  // Declared first, so that OLE is ended after everything else is gone, the filter revoked
  // before it.
  ScopedOle ole32_;
  host::BusyServerPolicy busyServer_;
  ScopedMessageFilter filter_{busyServer_};
  Registry registry_;
  Kernel kernel_;
  GlobalMemory memory_;
  Shell shell_;
  Clipboard clipboard_;
  MessageWindows windows_;
  Gdi gdi_;
  Ole ole_{busyServer_};
};

}  // namespace tkw::win32

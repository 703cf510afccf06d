// Everything of the platform that the program reaches, behind one reference.
#pragma once

#include "host/clipboard.h"
#include "host/gdi.h"
#include "host/kernel.h"
#include "host/message_windows.h"
#include "host/ole.h"
#include "host/registry.h"
#include "host/shell.h"

namespace tkw::host {

class Host {
 public:
  virtual ~Host() = default;
  virtual Registry& registry() = 0;
  virtual Kernel& kernel() = 0;
  virtual GlobalMemory& memory() = 0;
  virtual Shell& shell() = 0;
  virtual Clipboard& clipboard() = 0;
  virtual MessageWindows& windows() = 0;
  virtual Gdi& gdi() = 0;
  virtual Ole& ole() = 0;
};

}  // namespace tkw::host

// The "AtlClipBoard.Clipboard" component, which saves the user's clipboard and puts it back.
#pragma once

#include "host/runtime/automation_object.h"

namespace tkw::host {

class ClipboardBackup : public AutomationObject {
 public:
  using AutomationObject::AutomationObject;

  bool Backup() const { return Call(L"Backup"); }
  bool Restore() const { return Call(L"Restore"); }
};

}  // namespace tkw::host

// "AtlClipBoard.Clipboard" over the real clipboard: Backup saves every format, Restore empties
// the clipboard and puts them back.
#pragma once

#include "host/automation.h"

namespace tkw::wine {

host::DispatchPtr CreateClipboardBackup();

}  // namespace tkw::wine

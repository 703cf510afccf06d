// "AtlClipBoard.Clipboard" over the real clipboard: Backup saves every format, Restore empties
// the clipboard and puts them back.
#pragma once

#include "host/automation.h"

namespace tkw::com_server {

host::DispatchPtr CreateClipboardBackup();

}  // namespace tkw::com_server

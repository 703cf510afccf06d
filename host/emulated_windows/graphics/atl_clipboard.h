// "AtlClipBoard.Clipboard": an automation object whose Backup saves every format of the
// clipboard and whose Restore puts them back.
#pragma once

#include "host/automation.h"
#include "host/emulated_windows/graphics/emulated_clipboard.h"

namespace tkw::emulated {

// The object keeps a reference to `clipboard`, which must outlive it.
host::DispatchPtr CreateAtlClipboard(EmulatedClipboard& clipboard);

}  // namespace tkw::emulated

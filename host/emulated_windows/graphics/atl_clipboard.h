// "AtlClipBoard.Clipboard": an automation object whose Backup saves every format of the
// clipboard and whose Restore puts them back. Clipboard history and its like read the clipboard
// right after every change (the Restore of one face right before the next face's Backup): a
// refused opening is tried again, ten times 100 ms apart, as careful clipboard programs do.
#pragma once

#include "host/automation.h"
#include "host/emulated_windows/graphics/emulated_clipboard.h"
#include "host/kernel.h"

namespace tkw::emulated {

// The object keeps references to `clipboard` and `kernel` (its pauses), which must outlive it.
host::DispatchPtr CreateAtlClipboard(EmulatedClipboard& clipboard, host::Kernel& kernel);

}  // namespace tkw::emulated

// The run-time's Clipboard object, as far as the program uses it: SetData of a bitmap picture.
#pragma once

#include "host/host.h"

namespace tkw::host {

// Clipboard.SetData(picture, format): empties the clipboard and leaves the picture's bitmap on
// it as a packed DIB (CF_DIB, 8) of 32 bits per pixel. Throws RuntimeError: 461 for another
// format or a picture that is not a bitmap, 521 when the clipboard cannot be opened, 7 when
// there is no memory for the DIB.
void ClipboardSetData(Host& host, Picture& picture, unsigned format);

}  // namespace tkw::host

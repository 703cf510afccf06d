// The run-time's Clipboard object, as far as the program uses it: SetData of a bitmap picture.
//
// The clipboard is shared. Clipboard history, remote desktop's clipboard sync and clipboard
// managers open it right after every change, and an opening meanwhile is refused; so the object
// opens it with a window of its own and tries again after a pause, and keeps what it places out
// of the user's clipboard history and cloud clipboard.
#pragma once

#include <cstdint>

#include "host/host.h"

namespace tkw::host {

// An opening is tried this often, with this pause (in milliseconds) before each further try:
// long enough for another program to read a change, short against a run.
inline constexpr int kClipboardOpenTries = 10;
inline constexpr std::uint32_t kClipboardRetryPause = 100;

// The clipboard held open for one scope by a message-only window made for it, so that what is
// placed after EmptyClipboard has an owner; a refused opening is tried again as above. The
// clipboard is closed and the window destroyed when the scope ends.
class ScopedOwnedClipboard {
 public:
  explicit ScopedOwnedClipboard(Host& host);
  ScopedOwnedClipboard(const ScopedOwnedClipboard&) = delete;
  ScopedOwnedClipboard& operator=(const ScopedOwnedClipboard&) = delete;
  ~ScopedOwnedClipboard();
  explicit operator bool() const { return open_; }

 private:
  Host& host_;
  Handle window_;
  bool open_ = false;
};

// Clipboard.SetData(picture, format): empties the clipboard and leaves the picture's bitmap on
// it as a packed DIB (CF_DIB, 8) of 32 bits per pixel, with the formats that keep the contents
// out of clipboard history and the cloud clipboard: "ExcludeClipboardContentFromMonitorProcessing",
// "CanIncludeInClipboardHistory" and "CanUploadToCloudClipboard", each a DWORD 0. Throws
// RuntimeError: 461 for another format or a picture that is not a bitmap, 521 when the clipboard
// cannot be opened, 7 when there is no memory for the DIB.
void ClipboardSetData(Host& host, Picture& picture, unsigned format);

}  // namespace tkw::host

// The clipboard's formats as global memory blocks, the way a backup saves them and the
// tests lay and read the desktop clipboard.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tkw::com_server {

struct ClipboardBlock {
  UINT format;
  std::vector<std::uint8_t> bytes;
};

// Every format whose data is a global memory block, in the clipboard's order; formats held as
// GDI objects (bitmaps, palettes, metafiles) or private handles are left out. Needs the
// clipboard open.
std::vector<ClipboardBlock> ReadClipboardBlocks();

// Copies `block` into a new movable block and gives it to the open clipboard; false when the
// clipboard refuses it.
bool WriteClipboardBlock(const ClipboardBlock& block);

// The number of a standard format, the registered name of any other.
std::string ClipboardFormatName(UINT format);
// The inverse; 0 when `name` is neither.
UINT ClipboardFormatOf(const std::string& name);

// OpenClipboard for the life of the object.
class OpenedClipboard {
 public:
  OpenedClipboard() : open_(::OpenClipboard(nullptr)) {}
  OpenedClipboard(const OpenedClipboard&) = delete;
  OpenedClipboard& operator=(const OpenedClipboard&) = delete;
  ~OpenedClipboard() {
    if (open_)
      ::CloseClipboard();
  }
  explicit operator bool() const { return open_; }

 private:
  bool open_;
};

}  // namespace tkw::com_server

#include "host/runtime/clipboard_object.h"

#include <cstring>
#include <limits>

#include "host/runtime/scoped_handles.h"
#include "host/runtime_error.h"

namespace tkw::host {

namespace {

RuntimeError FormatMismatch() {
  return {461, "Specified format doesn't match format of data"};
}

// A global block that is freed unless the clipboard took it.
class OwnedBlock {
 public:
  OwnedBlock(GlobalMemory& memory, std::size_t bytes)
      : memory_(memory), block_(memory.GlobalAlloc(kGmemMoveable | kGmemShare, bytes)) {}
  OwnedBlock(const OwnedBlock&) = delete;
  OwnedBlock& operator=(const OwnedBlock&) = delete;
  ~OwnedBlock() {
    if (block_ != 0)
      memory_.GlobalFree(block_);
  }
  Handle get() const { return block_; }
  void release() { block_ = 0; }

 private:
  GlobalMemory& memory_;
  Handle block_;
};

}  // namespace

void ClipboardSetData(Host& host, Picture& picture, unsigned format) {
  if (format != kCfDib || picture.type() != kPicTypeBitmap || picture.handle() == 0) {
    throw FormatMismatch();
  }
  Gdi& gdi = host.gdi();
  Bitmap bitmap{};
  if (gdi.GetObjectA(picture.handle(), sizeof bitmap, &bitmap) == 0 || bitmap.bmWidth < 1 ||
      bitmap.bmHeight < 1) {
    throw FormatMismatch();
  }

  // The packed DIB: a 40-byte header without colour table, then bottom-up rows of 32 bits.
  BitmapInfo info{};
  BitmapInfoHeader& header = info.bmiHeader;
  header.biSize = sizeof(BitmapInfoHeader);
  header.biWidth = bitmap.bmWidth;
  header.biHeight = bitmap.bmHeight;
  header.biPlanes = 1;
  header.biBitCount = 32;
  header.biCompression = kBiRgb;
  const std::uint64_t image_size = std::uint64_t{4} * static_cast<std::uint32_t>(bitmap.bmWidth) *
                                   static_cast<std::uint32_t>(bitmap.bmHeight);
  if (image_size > std::numeric_limits<std::uint32_t>::max() - sizeof header)
    throw RuntimeError::OutOfMemory();
  header.biSizeImage = static_cast<std::uint32_t>(image_size);

  GlobalMemory& memory = host.memory();
  OwnedBlock block(memory, sizeof header + static_cast<std::size_t>(image_size));
  if (block.get() == 0)
    throw RuntimeError::OutOfMemory();
  {
    const ScopedGlobalLock locked(memory, block.get());
    auto* data = static_cast<std::uint8_t*>(locked.data());
    if (data == nullptr)
      throw RuntimeError::OutOfMemory();
    const ScopedScreenDC screen(gdi);
    if (gdi.GetDIBits(screen.get(), picture.handle(), 0, static_cast<unsigned>(bitmap.bmHeight),
                      data + sizeof header, &info, kDibRgbColors) == 0) {
      throw FormatMismatch();
    }
    std::memcpy(data, &header, sizeof header);
  }

  Clipboard& clipboard = host.clipboard();
  const ScopedOpenClipboard opened(clipboard);
  if (!opened)
    throw RuntimeError::CannotOpenClipboard();
  clipboard.EmptyClipboard();
  if (clipboard.SetClipboardData(kCfDib, block.get()) != 0)
    block.release();
}

}  // namespace tkw::host

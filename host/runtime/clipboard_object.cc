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
  OwnedBlock(GlobalMemory& memory, std::size_t bytes, std::uint32_t moreFlags = 0)
      : memory_(memory),
        block_(memory.GlobalAlloc(kGmemMoveable | kGmemShare | moreFlags, bytes)) {}
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

// Registered formats that keep the clipboard's contents out of the user's clipboard history and
// cloud clipboard: the first by being there at all, the others by holding a DWORD 0. They hold
// for every format of the same contents, so the face and mask that the face procedure adds
// beside the picture afterwards stay out as well. Systems before Windows 10 1809 ignore them.
constexpr const char* kKeptFromClipboardHistory[] = {
    "ExcludeClipboardContentFromMonitorProcessing",
    "CanIncludeInClipboardHistory",
    "CanUploadToCloudClipboard",
};

// Needs the clipboard open; a format refused is left out, and the picture stays all the same.
void KeepOutOfClipboardHistory(Host& host) {
  Clipboard& clipboard = host.clipboard();
  for (const char* name : kKeptFromClipboardHistory) {
    const unsigned format = clipboard.RegisterClipboardFormatA(name);
    if (format == 0)
      continue;
    OwnedBlock zero(host.memory(), sizeof(std::uint32_t), kGmemZeroinit);
    if (zero.get() != 0 && clipboard.SetClipboardData(format, zero.get()) != 0)
      zero.release();
  }
}

}  // namespace

ScopedOwnedClipboard::ScopedOwnedClipboard(Host& host)
    : host_(host), window_(host.windows().CreateMessageWindow()) {
  // Without a window the opening is still tried: the picture may yet get onto the clipboard.
  for (int tries = 1;; ++tries) {
    open_ = host.clipboard().OpenClipboard(window_);
    if (open_ || tries == kClipboardOpenTries)
      break;
    host.kernel().Sleep(kClipboardRetryPause);
  }
}

ScopedOwnedClipboard::~ScopedOwnedClipboard() {
  if (open_)
    host_.clipboard().CloseClipboard();
  if (window_ != 0)
    host_.windows().DestroyWindow(window_);
}

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
  const ScopedOwnedClipboard opened(host);
  if (!opened)
    throw RuntimeError::CannotOpenClipboard();
  clipboard.EmptyClipboard();
  // First, so that a program that looks at the clipboard while it changes never finds the
  // picture without them.
  KeepOutOfClipboardHistory(host);
  if (clipboard.SetClipboardData(kCfDib, block.get()) != 0)
    block.release();
}

}  // namespace tkw::host

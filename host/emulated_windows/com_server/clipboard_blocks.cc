#include "host/emulated_windows/com_server/clipboard_blocks.h"

#include <cstring>

namespace tkw::com_server {
namespace {

constexpr UINT kFirstRegisteredFormat = 0xC000;

bool IsGlobalBlock(UINT format) {
  switch (format) {
    case CF_BITMAP:
    case CF_METAFILEPICT:
    case CF_PALETTE:
    case CF_ENHMETAFILE:
    case CF_OWNERDISPLAY:
    case CF_DSPBITMAP:
    case CF_DSPMETAFILEPICT:
    case CF_DSPENHMETAFILE:
      return false;
    default:
      return format < CF_PRIVATEFIRST || format > CF_GDIOBJLAST;
  }
}

class LockedBlock {
 public:
  explicit LockedBlock(HGLOBAL block) : block_(block), data_(::GlobalLock(block)) {}
  LockedBlock(const LockedBlock&) = delete;
  LockedBlock& operator=(const LockedBlock&) = delete;
  ~LockedBlock() {
    if (data_ != nullptr)
      ::GlobalUnlock(block_);
  }
  std::uint8_t* data() const { return static_cast<std::uint8_t*>(data_); }

 private:
  HGLOBAL block_;
  void* data_;
};

}  // namespace

std::vector<ClipboardBlock> ReadClipboardBlocks() {
  std::vector<ClipboardBlock> blocks;
  for (UINT format = ::EnumClipboardFormats(0); format != 0;
       format = ::EnumClipboardFormats(format)) {
    if (!IsGlobalBlock(format))
      continue;
    const HGLOBAL data = ::GetClipboardData(format);
    if (data == nullptr)
      continue;
    const LockedBlock locked(data);
    if (locked.data() == nullptr)
      continue;
    blocks.push_back({format, {locked.data(), locked.data() + ::GlobalSize(data)}});
  }
  return blocks;
}

bool WriteClipboardBlock(const ClipboardBlock& block) {
  HGLOBAL copy = ::GlobalAlloc(GMEM_MOVEABLE, block.bytes.size());
  if (copy == nullptr)
    return false;
  {
    const LockedBlock locked(copy);
    if (locked.data() != nullptr && !block.bytes.empty())
      std::memcpy(locked.data(), block.bytes.data(), block.bytes.size());
  }
  if (::SetClipboardData(block.format, copy) == nullptr) {
    ::GlobalFree(copy);
    return false;
  }
  return true;
}

std::string ClipboardFormatName(UINT format) {
  if (format < kFirstRegisteredFormat)
    return std::to_string(format);
  char name[256];
  const int length = ::GetClipboardFormatNameA(format, name, sizeof name);
  return length > 0 ? std::string(name, static_cast<std::size_t>(length)) : std::to_string(format);
}

UINT ClipboardFormatOf(const std::string& name) {
  if (!name.empty() && name.find_first_not_of("0123456789") == std::string::npos) {
    const unsigned long number = std::stoul(name);
    return number < kFirstRegisteredFormat ? static_cast<UINT>(number) : 0;
  }
  return ::RegisterClipboardFormatA(name.c_str());
}

}  // namespace tkw::com_server

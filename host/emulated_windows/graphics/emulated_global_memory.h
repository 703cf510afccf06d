// Movable global memory blocks as the clipboard hands them around, kept in process memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "host/kernel.h"

namespace tkw::emulated {

class EmulatedGlobalMemory final : public host::GlobalMemory {
 public:
  host::Handle GlobalAlloc(std::uint32_t flags, std::size_t bytes) override;
  // Exactly the size asked for at allocation.
  std::size_t GlobalSize(host::Handle block) override;
  void* GlobalLock(host::Handle block) override;
  // True while the block stays locked, false once unlocked (or for a bad handle).
  bool GlobalUnlock(host::Handle block) override;
  // Fails, returning the handle, for one that is not a live block (never allocated, or freed
  // already, by its owner or by the clipboard that took it), as Windows fails it with
  // ERROR_INVALID_HANDLE; each such call is counted.
  host::Handle GlobalFree(host::Handle block) override;

  bool IsBlock(host::Handle block) const { return blocks_.contains(block); }
  // Blocks allocated and not yet freed, so that tests can find leaks.
  std::size_t live_blocks() const { return blocks_.size(); }
  // GlobalFree calls that named no live block, so that tests can find double frees.
  std::size_t bad_frees() const { return bad_frees_; }

 private:
  struct Block {
    std::vector<std::uint8_t> bytes;
    unsigned locks = 0;
  };

  std::unordered_map<host::Handle, Block> blocks_;
  host::Handle next_handle_ = 0x10004;
  std::size_t bad_frees_ = 0;
};

}  // namespace tkw::emulated

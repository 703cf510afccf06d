#include "host/emulated_windows/graphics/emulated_global_memory.h"

#include <new>
#include <stdexcept>

namespace tkw::emulated {

namespace {
// A 32-bit process cannot hold a larger block; asking for more fails as it would there.
constexpr std::size_t kLargestBlock = 0x7FFFFFFF;
}  // namespace

host::Handle EmulatedGlobalMemory::GlobalAlloc(std::uint32_t flags, std::size_t bytes) {
  if (bytes > kLargestBlock)
    return 0;
  try {
    // Without GMEM_ZEROINIT Windows hands out whatever the heap held there before: a byte the
    // caller never writes differs from block to block, so nothing may come to rely on it.
    const host::Handle handle = next_handle_;
    const auto leftover =
        static_cast<std::uint8_t>((flags & host::kGmemZeroinit) != 0 ? 0 : 0xA5 ^ (handle >> 2));
    blocks_.emplace(handle, Block{std::vector<std::uint8_t>(bytes, leftover), 0});
    next_handle_ += 4;
    return handle;
  } catch (const std::bad_alloc&) {
    return 0;
  } catch (const std::length_error&) {
    return 0;
  }
}

std::size_t EmulatedGlobalMemory::GlobalSize(host::Handle block) {
  const auto found = blocks_.find(block);
  return found == blocks_.end() ? 0 : found->second.bytes.size();
}

void* EmulatedGlobalMemory::GlobalLock(host::Handle block) {
  const auto found = blocks_.find(block);
  if (found == blocks_.end() || found->second.bytes.empty())
    return nullptr;
  ++found->second.locks;
  return found->second.bytes.data();
}

bool EmulatedGlobalMemory::GlobalUnlock(host::Handle block) {
  const auto found = blocks_.find(block);
  if (found == blocks_.end() || found->second.locks == 0)
    return false;
  return --found->second.locks > 0;
}

host::Handle EmulatedGlobalMemory::GlobalFree(host::Handle block) {
  if (blocks_.erase(block) == 1)
    return 0;
  ++bad_frees_;
  return block;
}

}  // namespace tkw::emulated

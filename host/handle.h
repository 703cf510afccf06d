// Platform handles and result codes as the program's code sees them.
#pragma once

#include <cstdint>

namespace tkw::host {

// An opaque platform handle (HKEY, HANDLE, HDC, HBITMAP, HPALETTE, HGLOBAL); 0 is "none".
using Handle = std::uintptr_t;

// Win32 error codes the program compares against.
inline constexpr long kErrorSuccess = 0;
inline constexpr long kErrorFileNotFound = 2;
inline constexpr long kErrorMoreData = 234;
inline constexpr long kErrorNoMoreItems = 259;
inline constexpr std::uint32_t kErrorAlreadyExists = 183;

}  // namespace tkw::host

// Windows' sharing rule for the files that the emulated machine's processes open: a file that
// a process holds open without delete sharing, as every text file here is held, cannot be
// deleted. The holder keeps a shared lock on the file; the Linux kernel drops it when the
// descriptor is closed or its process dies, so a killed run leaves nothing held.
#pragma once

#include <filesystem>

#include "host/emulated_windows/system/file_descriptor.h"

namespace tkw::emulated {

// open(2) of `path` with `flags`, held against deletion while the descriptor is open. On
// failure the descriptor is empty and errno says why.
FileDescriptor OpenHeld(const std::filesystem::path& path, int flags);

// Unlinks `path` unless some process holds it open: 0 when deleted, EBUSY when held, or the
// errno of the failure.
int DeleteUnlessHeld(const std::filesystem::path& path);

}  // namespace tkw::emulated

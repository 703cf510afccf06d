// The host of the platform the program was built for: Win32 on Windows, the emulated
// Windows environment elsewhere.
#pragma once

#include <memory>

#include "host/host.h"

namespace tkw::host {

std::unique_ptr<Host> MakePlatformHost();

}  // namespace tkw::host

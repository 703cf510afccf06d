#include "host/win32/win32_host.h"

#include "host/platform_host.h"

namespace tkw::host {

std::unique_ptr<Host> MakePlatformHost() {
  return std::make_unique<win32::Win32Host>();
}

}  // namespace tkw::host

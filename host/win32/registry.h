// The narrow registry calls, forwarded one to one.
#pragma once

#include "host/registry.h"

namespace tkw::win32 {

class Registry final : public host::Registry {
 public:
  long RegOpenKeyExA(host::RegistryKey root, const std::string& subKey, std::uint32_t options,
                     std::uint32_t access, host::RegistryKey* result) override;
  long RegEnumValueA(host::RegistryKey key, std::uint32_t index, char* name,
                     std::uint32_t* nameLength, std::uint32_t* type, std::uint8_t* data,
                     std::uint32_t* dataSize) override;
  long RegQueryValueExA(host::RegistryKey key, const std::string& valueName, std::uint32_t* type,
                        std::uint8_t* data, std::uint32_t* dataSize) override;
  long RegCloseKey(host::RegistryKey key) override;
};

}  // namespace tkw::win32

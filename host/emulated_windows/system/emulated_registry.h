// The narrow registry calls over a regedit export file, with Windows's result codes and sizes.
#pragma once

#include <filesystem>
#include <iostream>
#include <unordered_map>

#include "host/formats/reg_file.h"
#include "host/registry.h"

namespace tkw::emulated {

// Read only, like the program's use of the registry. One thread.
class EmulatedRegistry : public host::Registry {
 public:
  explicit EmulatedRegistry(formats::RegFile file);
  // A missing file is an empty registry; malformed lines are reported on `diagnostics`.
  explicit EmulatedRegistry(const std::filesystem::path& regFile,
                            std::ostream& diagnostics = std::cerr);

  long RegOpenKeyExA(host::RegistryKey root, const std::string& subKey, std::uint32_t options,
                     std::uint32_t access, host::RegistryKey* result) override;
  long RegEnumValueA(host::RegistryKey key, std::uint32_t index, char* name,
                     std::uint32_t* nameLength, std::uint32_t* type, std::uint8_t* data,
                     std::uint32_t* dataSize) override;
  long RegQueryValueExA(host::RegistryKey key, const std::string& valueName, std::uint32_t* type,
                        std::uint8_t* data, std::uint32_t* dataSize) override;
  long RegCloseKey(host::RegistryKey key) override;

 private:
  const formats::RegistryKeyNode* Find(host::RegistryKey key) const;

  formats::RegFile file_;
  std::unordered_map<host::RegistryKey, const formats::RegistryKeyNode*> openKeys_;
  host::RegistryKey nextKey_ = 0x100;
};

}  // namespace tkw::emulated

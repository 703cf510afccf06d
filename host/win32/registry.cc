#include "host/win32/registry.h"

#include <windows.h>

#include "host/win32/handles.h"

namespace tkw::win32 {
namespace {

// The predefined keys are sign-extended 32-bit values in a 64-bit HKEY, while the portable
// constants carry them zero-extended.
HKEY ToHkey(host::RegistryKey key) {
  switch (key) {
    case host::kHkeyClassesRoot:
      return HKEY_CLASSES_ROOT;
    case host::kHkeyCurrentUser:
      return HKEY_CURRENT_USER;
    case host::kHkeyLocalMachine:
      return HKEY_LOCAL_MACHINE;
    default:
      return FromHandle<HKEY>(key);
  }
}

}  // namespace

long Registry::RegOpenKeyExA(host::RegistryKey root, const std::string& subKey,
                             std::uint32_t options, std::uint32_t access,
                             host::RegistryKey* result) {
  HKEY opened = nullptr;
  const LONG status = ::RegOpenKeyExA(ToHkey(root), subKey.c_str(), options, access, &opened);
  *result = ToHandle(opened);
  return status;
}

long Registry::RegEnumValueA(host::RegistryKey key, std::uint32_t index, char* name,
                             std::uint32_t* nameLength, std::uint32_t* type, std::uint8_t* data,
                             std::uint32_t* dataSize) {
  DwordArgument length(nameLength), valueType(type), size(dataSize);
  return ::RegEnumValueA(ToHkey(key), index, name, length.get(), nullptr, valueType.get(), data,
                         size.get());
}

long Registry::RegQueryValueExA(host::RegistryKey key, const std::string& valueName,
                                std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) {
  DwordArgument valueType(type), size(dataSize);
  return ::RegQueryValueExA(ToHkey(key), valueName.c_str(), nullptr, valueType.get(), data,
                            size.get());
}

long Registry::RegCloseKey(host::RegistryKey key) {
  return ::RegCloseKey(ToHkey(key));
}

}  // namespace tkw::win32

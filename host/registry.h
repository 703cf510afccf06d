// The narrow-character registry calls, with Win32's arguments and result codes.
#pragma once

#include <cstdint>
#include <string>

#include "host/handle.h"

namespace tkw::host {

using RegistryKey = Handle;

inline constexpr RegistryKey kHkeyClassesRoot = 0x80000000;
inline constexpr RegistryKey kHkeyCurrentUser = 0x80000001;
inline constexpr RegistryKey kHkeyLocalMachine = 0x80000002;
inline constexpr std::uint32_t kKeyRead = 0x20019;

class Registry {
 public:
  virtual ~Registry() = default;

  // Opens `subKey` below `root` into `*result`; returns 0 or a Win32 error code.
  virtual long RegOpenKeyExA(RegistryKey root, const std::string& subKey, std::uint32_t options,
                             std::uint32_t access, RegistryKey* result) = 0;

  // Names the value at `index`. `*nameLength` holds the buffer's size in characters on entry
  // and the name's length without its NUL on return. `type`, `data` and `dataSize` may each be
  // null. Returns 0, 234 when the name or data does not fit, 259 past the last value.
  virtual long RegEnumValueA(RegistryKey key, std::uint32_t index, char* name,
                             std::uint32_t* nameLength, std::uint32_t* type, std::uint8_t* data,
                             std::uint32_t* dataSize) = 0;

  // Reads a value's data. `*dataSize` holds the buffer's size in bytes on entry and the bytes
  // stored (with the NUL of string data) on return. Returns 0, 2 when there is no such value,
  // 234 when the data does not fit.
  virtual long RegQueryValueExA(RegistryKey key, const std::string& valueName, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t* dataSize) = 0;

  virtual long RegCloseKey(RegistryKey key) = 0;
};

// Closes a key on every path out of the scope that opened it.
class ScopedRegistryKey {
 public:
  explicit ScopedRegistryKey(Registry& registry) : registry_(registry) {}
  ScopedRegistryKey(const ScopedRegistryKey&) = delete;
  ScopedRegistryKey& operator=(const ScopedRegistryKey&) = delete;
  ~ScopedRegistryKey() { Close(); }

  long Open(RegistryKey root, const std::string& subKey) {
    return registry_.RegOpenKeyExA(root, subKey, 0, kKeyRead, &key_);
  }
  void Close() {
    if (key_ != 0)
      registry_.RegCloseKey(key_);
    key_ = 0;
  }
  RegistryKey get() const { return key_; }

 private:
  Registry& registry_;
  RegistryKey key_ = 0;
};

}  // namespace tkw::host

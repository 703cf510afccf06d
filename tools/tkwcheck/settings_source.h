// The program's settings as they lie in a registry: the key HKEY_LOCAL_MACHINE\SOFTWARE\Tarnwick
// with its values in enumeration order and its subkeys, from a regedit export or (on Windows)
// from the live registry, each value with the place a finding points at.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/formats/reg_file.h"

namespace tkw::check {

// Where a finding points: a file and line, or a key and value of the live registry.
struct Place {
  std::string file;   // a regedit export, or "" for the live registry
  int line = 0;       // 0 when the whole file is meant
  std::string key;    // the live registry's key, with its view
  std::string value;  // the live registry's value name

  // "FILE:LINE", "FILE", or "KEY [VALUE]".
  std::string Text() const;
};

struct SettingsValue {
  std::u16string name;  // "" is the key's default value
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;  // as stored: text UTF-16LE with its NUL, numbers little-endian
  Place place;
};

class SettingsKey {
 public:
  virtual ~SettingsKey() = default;
  // In the order in which the registry enumerates them.
  virtual const std::vector<SettingsValue>& values() const = 0;
  // The subkey of that name (letter case aside), or null.
  virtual std::unique_ptr<SettingsKey> Subkey(std::u16string_view name) const = 0;
  // Where the key itself is, for findings about it.
  virtual Place place() const = 0;

  const SettingsValue* Value(std::u16string_view name) const;
};

// SOFTWARE\Tarnwick below HKEY_LOCAL_MACHINE of a parsed export, or null when it has none.
std::unique_ptr<SettingsKey> SettingsOfRegFile(const formats::RegFile& file,
                                               const std::string& fileName);

}  // namespace tkw::check

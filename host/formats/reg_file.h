// The keys and values of a regedit export file ("Windows Registry Editor Version 5.00" or
// "REGEDIT4"): how the emulated machine keeps its registry, and what the tools check.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/registry.h"

namespace tkw::formats {

inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

inline constexpr host::RegistryKey kHkeyUsers = 0x80000003;
inline constexpr host::RegistryKey kHkeyCurrentConfig = 0x80000005;

// True for the types whose data is text, which the narrow calls convert to the ANSI code page.
inline bool IsStringType(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

struct RegistryValue {
  std::u16string name;  // "" is the key's default value
  std::uint32_t type = kRegNone;
  std::vector<std::uint8_t> data;  // native form: text as UTF-16LE, numbers little-endian
  int line = 0;                    // the line of the file that last set it
};

// One key: its subkeys by name and its values in the order they were first defined. Names
// match without regard to letter case.
class RegistryKeyNode {
 public:
  const RegistryKeyNode* FindSubkey(std::u16string_view name) const;
  RegistryKeyNode* FindSubkey(std::u16string_view name);
  // A key that is not there yet is made at `line`; one that is keeps the line that made it.
  RegistryKeyNode& CreateSubkey(std::u16string_view name, int line = 0);
  void DeleteSubkey(std::u16string_view name);

  // The line of the file that made the key (0 for a root). A key deleted and made again by a
  // later line is another key, as on Windows, where the handles of the first stay deleted.
  int line() const { return line_; }

  const std::vector<RegistryValue>& values() const { return values_; }
  const RegistryValue* FindValue(std::u16string_view name) const;
  // A value that already exists keeps its place and its name's spelling.
  void SetValue(RegistryValue value);
  void DeleteValue(std::u16string_view name);

 private:
  // Both keyed by the upper-case name.
  std::unordered_map<std::u16string, std::unique_ptr<RegistryKeyNode>> subkeys_;
  std::unordered_map<std::u16string, std::size_t> valuePositions_;
  std::vector<RegistryValue> values_;
  int line_ = 0;
};

class RegFile {
 public:
  // Reads an export held as UTF-16LE or UTF-8 with a byte-order mark, or else as Windows-1252.
  // Each malformed line is skipped with one message on `diagnostics`, "<fileName>:<line>: ...".
  static RegFile Parse(std::string_view bytes, const std::string& fileName,
                       std::ostream& diagnostics);
  // A missing file is an empty registry.
  static RegFile Load(const std::filesystem::path& path, std::ostream& diagnostics);

  // The key of a predefined root (HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, ...); null for any
  // other handle. HKEY_CLASSES_ROOT shows HKEY_LOCAL_MACHINE\SOFTWARE\Classes, as on Windows.
  const RegistryKeyNode* Root(host::RegistryKey root) const;

  // Whether the text began with a regedit header; without one nothing of it was read.
  bool isExport() const { return isExport_; }

 private:
  class Parser;

  // HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_CONFIG.
  static constexpr std::size_t kRootCount = 4;
  static std::size_t RootIndex(host::RegistryKey root);  // kRootCount for any other handle

  std::array<RegistryKeyNode, kRootCount> roots_;
  RegistryKeyNode emptyClassesRoot_;  // stands for a missing SOFTWARE\Classes
  bool isExport_ = false;
};

}  // namespace tkw::formats

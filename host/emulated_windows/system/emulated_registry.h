// The narrow registry calls over a regedit export file, with Windows's result codes and sizes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iostream>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "host/formats/reg_file.h"
#include "host/registry.h"

namespace tkw::emulated {

// Read only, like the program's use of the registry. One thread.
class EmulatedRegistry : public host::Registry {
 public:
  // `file` is the registry for good.
  explicit EmulatedRegistry(formats::RegFile file);
  // The registry kept in `regFile`. It is live, as Windows' is: a call that finds the file
  // changed since it was read (another process imported into it) reads it again first. A
  // missing file is an empty registry; each malformed line is reported on `diagnostics` once.
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
  // What stat tells of the file; any write or replacement changes some of it.
  struct FileStamp {
    int error = -1;  // stat's errno, 0 when the file is there; -1 before the first look
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t modified = 0, changed = 0;  // nanoseconds
    bool operator==(const FileStamp&) const = default;
  };

  // An open key by its place, so that it outlives a new reading of the file.
  struct OpenKey {
    host::RegistryKey root;
    std::vector<std::u16string> path;      // the names from the root down
    int line;                              // the line that made the key
    const formats::RegistryKeyNode* node;  // null once the key has been deleted
  };

  static FileStamp StampOf(const std::filesystem::path& path);
  void ReadAgainIfChanged();
  // The key a handle names, or null with the error a call on it gives.
  const formats::RegistryKeyNode* Find(host::RegistryKey key, long& error) const;

  std::filesystem::path path_;  // empty when there is no file to follow
  std::ostream* diagnostics_ = nullptr;
  std::unordered_set<std::string> reported_;  // the messages already on `diagnostics_`
  FileStamp stamp_;
  formats::RegFile file_;
  std::unordered_map<host::RegistryKey, OpenKey> openKeys_;
  host::RegistryKey nextKey_ = 0x100;
};

}  // namespace tkw::emulated

#include "host/emulated_windows/system/emulated_registry.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>

#include "host/formats/windows_1252.h"

namespace tkw::emulated {

using formats::AnsiToUtf16;
using formats::IsStringType;
using formats::RegFile;
using formats::RegistryKeyNode;
using formats::RegistryValue;
using formats::Utf16ToAnsi;
namespace {

constexpr long kErrorInvalidHandle = 6;
constexpr long kErrorInvalidParameter = 87;
constexpr long kErrorKeyDeleted = 1018;

// A value's data as the narrow calls hand it out: text in the ANSI code page, one byte per
// UTF-16 unit (an odd last byte cannot be a unit and is dropped); other data as stored.
std::vector<std::uint8_t> NarrowData(const RegistryValue& value) {
  if (!IsStringType(value.type))
    return value.data;
  std::u16string text;
  text.reserve(value.data.size() / 2);
  for (std::size_t i = 0; i + 1 < value.data.size(); i += 2) {
    text += static_cast<char16_t>(value.data[i] | (value.data[i + 1] << 8));
  }
  const std::string ansi = Utf16ToAnsi(text);
  return {ansi.begin(), ansi.end()};
}

// Hands `data` out through an optional buffer: a null buffer asks only for the size.
long CopyData(const std::vector<std::uint8_t>& data, std::uint8_t* buffer,
              std::uint32_t* bufferSize) {
  if (bufferSize == nullptr)
    return buffer == nullptr ? host::kErrorSuccess : kErrorInvalidParameter;
  const auto size = static_cast<std::uint32_t>(data.size());
  const bool fits = size <= *bufferSize;
  *bufferSize = size;
  if (buffer == nullptr)
    return host::kErrorSuccess;
  if (!fits)
    return host::kErrorMoreData;
  std::copy(data.begin(), data.end(), buffer);
  return host::kErrorSuccess;
}

}  // namespace

EmulatedRegistry::EmulatedRegistry(RegFile file) : file_(std::move(file)) {}

EmulatedRegistry::EmulatedRegistry(const std::filesystem::path& regFile, std::ostream& diagnostics)
    : path_(regFile), diagnostics_(&diagnostics) {
  ReadAgainIfChanged();
}

EmulatedRegistry::FileStamp EmulatedRegistry::StampOf(const std::filesystem::path& path) {
  FileStamp stamp;
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    stamp.error = errno;
    return stamp;
  }
  stamp.error = 0;
  stamp.device = status.st_dev;
  stamp.inode = status.st_ino;
  stamp.size = static_cast<std::uint64_t>(status.st_size);
  stamp.modified = status.st_mtim.tv_sec * 1'000'000'000LL + status.st_mtim.tv_nsec;
  stamp.changed = status.st_ctim.tv_sec * 1'000'000'000LL + status.st_ctim.tv_nsec;
  return stamp;
}

void EmulatedRegistry::ReadAgainIfChanged() {
  if (path_.empty())
    return;
  // Looked at before the reading, so that a write during it shows at the next call.
  const FileStamp stamp = StampOf(path_);
  if (stamp == stamp_)
    return;
  stamp_ = stamp;
  std::ostringstream messages;
  file_ = RegFile::Load(path_, messages);
  // A reading reports every malformed line of the file, most of them reported already.
  std::istringstream lines(messages.str());
  for (std::string line; std::getline(lines, line);) {
    if (reported_.insert(line).second)
      *diagnostics_ << line << '\n';
  }
  for (auto& [handle, key] : openKeys_) {
    if (key.node == nullptr)
      continue;  // a deleted key stays deleted, even when a key of its name is made again
    const RegistryKeyNode* node = file_.Root(key.root);
    for (const std::u16string& name : key.path) {
      if (node == nullptr)
        break;
      node = node->FindSubkey(name);
    }
    key.node = node != nullptr && node->line() == key.line ? node : nullptr;
  }
}

const RegistryKeyNode* EmulatedRegistry::Find(host::RegistryKey key, long& error) const {
  if (const RegistryKeyNode* root = file_.Root(key))
    return root;
  const auto open = openKeys_.find(key);
  if (open == openKeys_.end()) {
    error = kErrorInvalidHandle;
    return nullptr;
  }
  if (open->second.node == nullptr)
    error = kErrorKeyDeleted;
  return open->second.node;
}

long EmulatedRegistry::RegOpenKeyExA(host::RegistryKey root, const std::string& subKey,
                                     std::uint32_t /*options*/, std::uint32_t /*access*/,
                                     host::RegistryKey* result) {
  if (result == nullptr)
    return kErrorInvalidParameter;
  ReadAgainIfChanged();
  long error = 0;
  const RegistryKeyNode* key = Find(root, error);
  if (key == nullptr)
    return error;
  const bool predefined = file_.Root(root) != nullptr;
  // Windows hands back a predefined root itself when no subkey is named.
  if (subKey.empty() && predefined) {
    *result = root;
    return host::kErrorSuccess;
  }
  OpenKey opened{root, {}, 0, nullptr};
  if (!predefined) {
    const OpenKey& parent = openKeys_.at(root);
    opened.root = parent.root;
    opened.path = parent.path;
  }
  const std::u16string path = AnsiToUtf16(subKey);
  std::size_t start = 0;
  while (key != nullptr && start < path.size()) {
    const std::size_t end = std::min(path.find(u'\\', start), path.size());
    const std::u16string_view name = std::u16string_view(path).substr(start, end - start);
    // An empty name (a doubled or leading backslash) names no key.
    key = name.empty() ? nullptr : key->FindSubkey(name);
    opened.path.emplace_back(name);
    start = end + 1;
  }
  if (key == nullptr)
    return host::kErrorFileNotFound;
  opened.line = key->line();
  opened.node = key;
  *result = nextKey_++;
  openKeys_.emplace(*result, std::move(opened));
  return host::kErrorSuccess;
}

long EmulatedRegistry::RegEnumValueA(host::RegistryKey key, std::uint32_t index, char* name,
                                     std::uint32_t* nameLength, std::uint32_t* type,
                                     std::uint8_t* data, std::uint32_t* dataSize) {
  ReadAgainIfChanged();
  long error = 0;
  const RegistryKeyNode* node = Find(key, error);
  if (node == nullptr)
    return error;
  if (name == nullptr || nameLength == nullptr)
    return kErrorInvalidParameter;
  if (index >= node->values().size())
    return host::kErrorNoMoreItems;
  const RegistryValue& value = node->values()[index];

  const std::string narrowName = Utf16ToAnsi(value.name);
  // The name must fit with its NUL.
  if (narrowName.size() >= *nameLength)
    return host::kErrorMoreData;
  const long dataResult = CopyData(NarrowData(value), data, dataSize);
  if (dataResult != host::kErrorSuccess)
    return dataResult;
  std::memcpy(name, narrowName.c_str(), narrowName.size() + 1);
  *nameLength = static_cast<std::uint32_t>(narrowName.size());
  if (type != nullptr)
    *type = value.type;
  return host::kErrorSuccess;
}

long EmulatedRegistry::RegQueryValueExA(host::RegistryKey key, const std::string& valueName,
                                        std::uint32_t* type, std::uint8_t* data,
                                        std::uint32_t* dataSize) {
  ReadAgainIfChanged();
  long error = 0;
  const RegistryKeyNode* node = Find(key, error);
  if (node == nullptr)
    return error;
  const RegistryValue* value = node->FindValue(AnsiToUtf16(valueName));
  if (value == nullptr)
    return host::kErrorFileNotFound;
  if (type != nullptr)
    *type = value->type;
  return CopyData(NarrowData(*value), data, dataSize);
}

long EmulatedRegistry::RegCloseKey(host::RegistryKey key) {
  // Also a deleted key's handle, which Windows closes as any other.
  if (file_.Root(key) != nullptr)
    return host::kErrorSuccess;
  return openKeys_.erase(key) == 1 ? host::kErrorSuccess : kErrorInvalidHandle;
}

}  // namespace tkw::emulated

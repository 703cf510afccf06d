#include "host/emulated_windows/system/emulated_registry.h"

#include <algorithm>
#include <cstring>

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
    : file_(RegFile::Load(regFile, diagnostics)) {}

const RegistryKeyNode* EmulatedRegistry::Find(host::RegistryKey key) const {
  if (const RegistryKeyNode* root = file_.Root(key))
    return root;
  const auto open = openKeys_.find(key);
  return open == openKeys_.end() ? nullptr : open->second;
}

long EmulatedRegistry::RegOpenKeyExA(host::RegistryKey root, const std::string& subKey,
                                     std::uint32_t /*options*/, std::uint32_t /*access*/,
                                     host::RegistryKey* result) {
  if (result == nullptr)
    return kErrorInvalidParameter;
  const RegistryKeyNode* key = Find(root);
  if (key == nullptr)
    return kErrorInvalidHandle;
  // Windows hands back a predefined root itself when no subkey is named.
  if (subKey.empty() && file_.Root(root) != nullptr) {
    *result = root;
    return host::kErrorSuccess;
  }
  const std::u16string path = AnsiToUtf16(subKey);
  std::size_t start = 0;
  while (key != nullptr && start < path.size()) {
    const std::size_t end = std::min(path.find(u'\\', start), path.size());
    // An empty name (a doubled or leading backslash) names no key.
    key = end == start ? nullptr
                       : key->FindSubkey(std::u16string_view(path).substr(start, end - start));
    start = end + 1;
  }
  if (key == nullptr)
    return host::kErrorFileNotFound;
  *result = nextKey_++;
  openKeys_.emplace(*result, key);
  return host::kErrorSuccess;
}

long EmulatedRegistry::RegEnumValueA(host::RegistryKey key, std::uint32_t index, char* name,
                                     std::uint32_t* nameLength, std::uint32_t* type,
                                     std::uint8_t* data, std::uint32_t* dataSize) {
  const RegistryKeyNode* node = Find(key);
  if (node == nullptr)
    return kErrorInvalidHandle;
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
  const RegistryKeyNode* node = Find(key);
  if (node == nullptr)
    return kErrorInvalidHandle;
  const RegistryValue* value = node->FindValue(AnsiToUtf16(valueName));
  if (value == nullptr)
    return host::kErrorFileNotFound;
  if (type != nullptr)
    *type = value->type;
  return CopyData(NarrowData(*value), data, dataSize);
}

long EmulatedRegistry::RegCloseKey(host::RegistryKey key) {
  if (file_.Root(key) != nullptr)
    return host::kErrorSuccess;
  return openKeys_.erase(key) == 1 ? host::kErrorSuccess : kErrorInvalidHandle;
}

}  // namespace tkw::emulated

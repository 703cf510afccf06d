// A registry key of one view, opened for reading and closed with its owner, and what the
// system's own tools read from one: strings as they mean them, the names of its subkeys.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace tkw::win32 {

class OpenKey {
 public:
  // `view` is 0, KEY_WOW64_32KEY or KEY_WOW64_64KEY. A key that cannot be opened is empty.
  OpenKey(HKEY parent, const std::wstring& path, REGSAM view);
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  ~OpenKey();

  explicit operator bool() const { return key_ != nullptr; }
  HKEY get() const { return key_; }

  // A string value, environment variables expanded in an expandable one; nullopt when it is
  // missing or no string.
  std::optional<std::wstring> String(const wchar_t* name) const;
  std::vector<std::wstring> Subkeys() const;

 private:
  HKEY key_ = nullptr;
};

// Whether this program sees a registry view besides its own: on 64-bit Windows, for either
// build.
bool HasOtherRegistryView();

}  // namespace tkw::win32

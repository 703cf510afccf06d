#include "host/win32/open_key.h"

#include <algorithm>

namespace tkw::win32 {

OpenKey::OpenKey(HKEY parent, const std::wstring& path, REGSAM view) {
  if (::RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ | view, &key_) != ERROR_SUCCESS)
    key_ = nullptr;
}

OpenKey::~OpenKey() {
  if (key_ != nullptr)
    ::RegCloseKey(key_);
}

std::optional<std::wstring> OpenKey::String(const wchar_t* name) const {
  DWORD type = 0, size = 0;
  if (key_ == nullptr || ::RegQueryValueExW(key_, name, nullptr, &type, nullptr, &size) != 0 ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return std::nullopt;
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (::RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
      0)
    return std::nullopt;
  text.resize(std::min<std::size_t>(text.size(), size / sizeof(wchar_t)));
  while (!text.empty() && text.back() == L'\0')
    text.pop_back();
  if (type == REG_EXPAND_SZ) {
    const DWORD length = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    std::wstring expanded(length, L'\0');
    ::ExpandEnvironmentStringsW(text.c_str(), expanded.data(), length);
    expanded.resize(length > 0 ? length - 1 : 0);
    return expanded;
  }
  return text;
}

std::vector<std::wstring> OpenKey::Subkeys() const {
  std::vector<std::wstring> names;
  for (DWORD i = 0; key_ != nullptr; ++i) {
    wchar_t name[256];
    DWORD length = 256;
    if (::RegEnumKeyExW(key_, i, name, &length, nullptr, nullptr, nullptr, nullptr) != 0)
      break;
    names.emplace_back(name, length);
  }
  return names;
}

bool HasOtherRegistryView() {
#ifdef _WIN64
  return true;
#else
  BOOL wow64 = FALSE;
  return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
#endif
}

}  // namespace tkw::win32

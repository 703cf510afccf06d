#include "host/emulated_windows/com_server/registration.h"

#include <objbase.h>

namespace tkw::com_server {
namespace {

HRESULT SetDefault(const std::wstring& key, const std::wstring& value,
                   const wchar_t* name = nullptr) {
  HKEY opened = nullptr;
  LSTATUS status = ::RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                     nullptr, &opened, nullptr);
  if (status == ERROR_SUCCESS) {
    status = ::RegSetValueExW(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(opened);
  }
  return HRESULT_FROM_WIN32(status);
}

}  // namespace

HRESULT RegisterServerClass(const CLSID& clsid, const wchar_t* progId, const wchar_t* description,
                            ServerKind kind, const std::wstring& serverPath) {
  wchar_t text[39];
  ::StringFromGUID2(clsid, text, 39);
  const std::wstring classKey = std::wstring(L"CLSID\\") + text;
  HRESULT hr = SetDefault(classKey, description);
  if (SUCCEEDED(hr) && kind == ServerKind::kInProcess) {
    hr = SetDefault(classKey + L"\\InprocServer32", serverPath);
    if (SUCCEEDED(hr))
      hr = SetDefault(classKey + L"\\InprocServer32", L"Apartment", L"ThreadingModel");
  } else if (SUCCEEDED(hr)) {
    hr = SetDefault(classKey + L"\\LocalServer32", serverPath);
  }
  if (SUCCEEDED(hr))
    hr = SetDefault(classKey + L"\\ProgID", progId);
  if (SUCCEEDED(hr))
    hr = SetDefault(std::wstring(progId) + L"\\CLSID", text);
  return hr;
}

std::wstring ModulePath(HMODULE module) {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
  return std::wstring(path, length);
}

}  // namespace tkw::com_server

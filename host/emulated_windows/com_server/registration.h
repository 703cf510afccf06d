// The stand-in servers register themselves as COM servers do (tkw_powerpoint.exe /RegServer,
// regsvr32 tkw_atl_clipboard.dll), in the registry view of their own architecture: a 32-bit
// server's classes are seen by 32-bit clients.
#pragma once

#include <windows.h>

#include <string>

namespace tkw::com_server {

enum class ServerKind { kInProcess, kLocal };

// CLSID\{clsid} with its server and ProgID below HKEY_CLASSES_ROOT, and the ProgID's CLSID.
HRESULT RegisterServerClass(const CLSID& clsid, const wchar_t* progId, const wchar_t* description,
                            ServerKind kind, const std::wstring& serverPath);

// The full path of `module` (nullptr: the executable).
std::wstring ModulePath(HMODULE module);

}  // namespace tkw::com_server

// "AtlClipBoard.Clipboard" as the field has it: an in-process server, a DLL that a client of its
// own architecture loads, registered by regsvr32 of that architecture. When TKW_STAND_IN_REPORT
// names a file, each unload of the DLL appends the objects and server locks still alive, both 0
// when the client released every reference.
#include <windows.h>
// After windows.h, which they need.
#include <objbase.h>

#include <cstdio>

#include "host/emulated_windows/com_server/class_factory.h"
#include "host/emulated_windows/com_server/clipboard_backup.h"
#include "host/emulated_windows/com_server/live_objects.h"
#include "host/emulated_windows/com_server/registration.h"

namespace {

HMODULE g_module = nullptr;

// The class the registration file names.
constexpr CLSID kClsidClipboardBackup = {
    0x6C1B6E43, 0x2F7D, 0x4E43, {0x9A, 0x3E, 0x5C, 0x8E, 0x0F, 0x3A, 0x7D, 0x21}};

void ReportUsage() {
  using tkw::com_server::ServerUsage;
  char line[64];
  std::snprintf(line, sizeof line, "atl clipboard objects %ld locks %ld", ServerUsage::Objects(),
                ServerUsage::Locks());
  tkw::com_server::AppendToReport(line);
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    ::DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH)
    ReportUsage();
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  using tkw::com_server::ClassFactory;
  if (out == nullptr)
    return E_POINTER;
  *out = nullptr;
  if (clsid != kClsidClipboardBackup)
    return CLASS_E_CLASSNOTAVAILABLE;
  ClassFactory* factory =
      ClassFactory::Make(tkw::com_server::CreateClipboardBackup, ClassFactory::Usage::kCounted);
  if (factory == nullptr)
    return E_OUTOFMEMORY;
  const HRESULT hr = factory->QueryInterface(iid, out);
  factory->Release();
  return hr;
}

STDAPI DllRegisterServer() {
  return tkw::com_server::RegisterServerClass(
      kClsidClipboardBackup, L"AtlClipBoard.Clipboard", L"AtlClipBoard.Clipboard stand-in",
      tkw::com_server::ServerKind::kInProcess, tkw::com_server::ModulePath(g_module));
}

STDAPI DllCanUnloadNow() {
  return tkw::com_server::ServerUsage::Unused() ? S_OK : S_FALSE;
}

}  // extern "C"

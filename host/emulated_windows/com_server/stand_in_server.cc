// The in-process server of the test stand-ins for "PowerPoint.Application" and
// "AtlClipBoard.Clipboard". PowerPoint's command bars are the emulation's own model, kept in
// the file named by TKW_POWERPOINT_STATE (else commandbars.json beside this DLL). When
// TKW_STAND_IN_REPORT names a file, each unload of the DLL appends the objects and server
// locks still alive, so that a test can see that no reference leaked.
#include <windows.h>
// After windows.h, which they need.
#include <objbase.h>
#include <unknwn.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

#include "host/emulated_windows/com_server/clipboard_backup.h"
#include "host/emulated_windows/com_server/dispatch_adapter.h"
#include "host/emulated_windows/com_server/live_objects.h"
#include "host/emulated_windows/powerpoint/powerpoint_application.h"
#include "host/runtime_error.h"
#include "host/win32/clipboard.h"
#include "host/win32/kernel.h"

namespace tkw::com_server {
namespace {

// The classes the registration file names.
constexpr CLSID kClsidPowerPoint = {
    0x91493441, 0x5A91, 0x11CF, {0x87, 0x00, 0x00, 0xAA, 0x00, 0x60, 0x26, 0x3B}};
constexpr CLSID kClsidClipboardBackup = {
    0x6C1B6E43, 0x2F7D, 0x4E43, {0x9A, 0x3E, 0x5C, 0x8E, 0x0F, 0x3A, 0x7D, 0x21}};

HMODULE g_module = nullptr;

std::filesystem::path PowerPointStateFile() {
  if (const wchar_t* file = ::_wgetenv(L"TKW_POWERPOINT_STATE"); file != nullptr && *file != 0)
    return file;
  wchar_t module[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(g_module, module, MAX_PATH);
  return std::filesystem::path(std::wstring(module, length)).parent_path() / "commandbars.json";
}

host::DispatchPtr CreatePowerPoint() {
  // The face travels through the real clipboard, in real global memory blocks.
  static win32::Clipboard clipboard;
  static win32::GlobalMemory memory;
  return emulated::CreatePowerPointApplication(PowerPointStateFile(), clipboard, memory);
}

using Creator = host::DispatchPtr (*)();

class ClassFactory final : public IClassFactory, LiveObject {
 public:
  explicit ClassFactory(Creator create) : create_(create) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr)
      return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IClassFactory)
      return E_NOINTERFACE;
    AddRef();
    *out = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0)
      delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (out == nullptr)
      return E_POINTER;
    *out = nullptr;
    if (outer != nullptr)
      return CLASS_E_NOAGGREGATION;
    try {
      IDispatch* object = DispatchAdapter::Wrap(create_());
      const HRESULT hr = object->QueryInterface(iid, out);
      object->Release();
      return hr;
    } catch (const host::RuntimeError& error) {
      // The program only learns that the object cannot be created; say why.
      std::fprintf(stderr, "stand-in server: %s\n", error.what());
      return E_FAIL;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    ServerLocks::Lock(lock);
    return S_OK;
  }

 private:
  Creator create_;
  std::atomic<ULONG> references_{1};
};

void ReportLiveObjects() {
  const wchar_t* report = ::_wgetenv(L"TKW_STAND_IN_REPORT");
  if (report == nullptr || *report == 0)
    return;
  const HANDLE file = ::CreateFileW(report, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return;
  char line[64];
  const int length = std::snprintf(line, sizeof line, "objects %ld locks %ld\n",
                                   LiveObject::Count(), ServerLocks::Count());
  DWORD written = 0;
  ::WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
  ::CloseHandle(file);
}

}  // namespace
}  // namespace tkw::com_server

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    tkw::com_server::g_module = instance;
    ::DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    tkw::com_server::ReportLiveObjects();
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  using namespace tkw::com_server;
  if (out == nullptr)
    return E_POINTER;
  *out = nullptr;
  Creator create = nullptr;
  if (clsid == kClsidPowerPoint)
    create = CreatePowerPoint;
  else if (clsid == kClsidClipboardBackup)
    create = CreateClipboardBackup;
  else
    return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) ClassFactory(create);
  if (factory == nullptr)
    return E_OUTOFMEMORY;
  const HRESULT hr = factory->QueryInterface(iid, out);
  factory->Release();
  return hr;
}

STDAPI DllCanUnloadNow() {
  using namespace tkw::com_server;
  return LiveObject::Count() == 0 && ServerLocks::Count() == 0 ? S_OK : S_FALSE;
}

}  // extern "C"

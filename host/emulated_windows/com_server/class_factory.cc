#include "host/emulated_windows/com_server/class_factory.h"

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "host/emulated_windows/com_server/dispatch_adapter.h"
#include "host/emulated_windows/com_server/live_objects.h"
#include "host/runtime_error.h"

namespace tkw::com_server {

ClassFactory* ClassFactory::Make(Creator create, Usage usage) {
  return new (std::nothrow) ClassFactory(create, usage);
}

ClassFactory::ClassFactory(Creator create, Usage usage) : create_(create), usage_(usage) {
  if (usage_ == Usage::kCounted)
    ServerUsage::AddObject();
}

ClassFactory::~ClassFactory() {
  if (usage_ == Usage::kCounted)
    ServerUsage::ReleaseObject();
}

HRESULT ClassFactory::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr)
    return E_POINTER;
  *out = nullptr;
  if (iid != IID_IUnknown && iid != IID_IClassFactory)
    return E_NOINTERFACE;
  AddRef();
  *out = static_cast<IClassFactory*>(this);
  return S_OK;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (out == nullptr)
    return E_POINTER;
  *out = nullptr;
  if (outer != nullptr)
    return CLASS_E_NOAGGREGATION;
  HRESULT hr = E_FAIL;
  try {
    IDispatch* object = DispatchAdapter::Wrap(create_());
    hr = object->QueryInterface(iid, out);
    object->Release();
  } catch (const host::RuntimeError& error) {
    // The client only learns that the object cannot be created; say why.
    std::fprintf(stderr, "stand-in server: %s\n", error.what());
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  }
  // A local server started for this creation has nothing to serve when it failed.
  ServerUsage::NotifyIfUnused();
  return hr;
}

HRESULT ClassFactory::LockServer(BOOL lock) {
  ServerUsage::Lock(lock != FALSE);
  return S_OK;
}

void AppendToReport(const char* line) {
  const wchar_t* report = ::_wgetenv(L"TKW_STAND_IN_REPORT");
  if (report == nullptr || *report == 0)
    return;
  const HANDLE file = ::CreateFileW(report, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return;
  const std::string text = std::string(line) + "\n";
  DWORD written = 0;
  ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  ::CloseHandle(file);
}

}  // namespace tkw::com_server

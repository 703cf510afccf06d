#include "host/emulated_windows/com_server/office_type_library.h"

#include <oleauto.h>

#include <algorithm>
#include <iterator>

#include "host/office_interfaces.h"
#include "host/win32/com.h"

namespace tkw::com_server {
namespace {

using win32::ComPtr;

// {2C5EE8EE-16E4-44E1-B51E-F142FEF9A8A4}
constexpr GUID kLibraryId = {
    0x2C5EE8EE, 0x16E4, 0x44E1, {0xB5, 0x1E, 0xF1, 0x42, 0xFE, 0xF9, 0xA8, 0xA4}};
// stdole2.tlb, which describes IDispatch.
constexpr GUID kStdOleId = {
    0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct Interface {
  const wchar_t* name;
  const host::InterfaceId& id;
};
constexpr Interface kInterfaces[] = {
    {L"_Application", host::office::kIidApplication},
    {L"_CommandBars", host::office::kIidCommandBars},
    {L"CommandBar", host::office::kIidCommandBar},
    {L"CommandBarControls", host::office::kIidCommandBarControls},
    {L"CommandBarControl", host::office::kIidCommandBarControl},
    {L"CommandBarPopup", host::office::kIidCommandBarPopup},
    {L"CommandBarButton", host::office::kIidCommandBarButton},
};

GUID ToGuid(const host::InterfaceId& id) {
  GUID guid{id.data1, id.data2, id.data3, {}};
  std::copy(id.data4.begin(), id.data4.end(), std::begin(guid.Data4));
  return guid;
}

HRESULT AddDualInterface(ICreateTypeLib2& library, ITypeInfo& dispatch, const Interface& iface) {
  ComPtr<ICreateTypeInfo> info;
  HRESULT hr = library.CreateTypeInfo(const_cast<LPOLESTR>(iface.name), TKIND_INTERFACE,
                                      reinterpret_cast<ICreateTypeInfo**>(info.Receive()));
  if (SUCCEEDED(hr))
    hr = info->SetGuid(ToGuid(iface.id));
  if (SUCCEEDED(hr))
    hr = info->SetTypeFlags(TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION);
  // Some implementations derive a dual interface from IDispatch on their own; the others are
  // told to.
  const ComPtr<ITypeInfo> built = info.Query<ITypeInfo>(IID_ITypeInfo);
  TYPEATTR* attributes = nullptr;
  if (SUCCEEDED(hr) && built && SUCCEEDED(built->GetTypeAttr(&attributes))) {
    const bool derived = attributes->cImplTypes > 0;
    built->ReleaseTypeAttr(attributes);
    if (!derived) {
      HREFTYPE reference = 0;
      hr = info->AddRefTypeInfo(&dispatch, &reference);
      if (SUCCEEDED(hr))
        hr = info->AddImplType(0, reference);
    }
  }
  if (SUCCEEDED(hr))
    hr = info->LayOut();
  return hr;
}

}  // namespace

HRESULT RegisterOfficeTypeLibrary(const std::wstring& path) {
  ComPtr<ITypeLib> stdole;
  ComPtr<ITypeInfo> dispatch;
  HRESULT hr = ::LoadRegTypeLib(kStdOleId, 2, 0, LANG_NEUTRAL,
                                reinterpret_cast<ITypeLib**>(stdole.Receive()));
  if (SUCCEEDED(hr))
    hr =
        stdole->GetTypeInfoOfGuid(IID_IDispatch, reinterpret_cast<ITypeInfo**>(dispatch.Receive()));
  ComPtr<ICreateTypeLib2> library;
  if (SUCCEEDED(hr))
    hr = ::CreateTypeLib2(sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32, path.c_str(),
                          reinterpret_cast<ICreateTypeLib2**>(library.Receive()));
  if (SUCCEEDED(hr))
    hr = library->SetGuid(kLibraryId);
  if (SUCCEEDED(hr))
    hr = library->SetVersion(1, 0);
  if (SUCCEEDED(hr))
    hr = library->SetName(const_cast<LPOLESTR>(L"TkwPowerPointStandIn"));
  for (const Interface& iface : kInterfaces) {
    if (SUCCEEDED(hr))
      hr = AddDualInterface(*library.get(), *dispatch.get(), iface);
  }
  if (SUCCEEDED(hr))
    hr = library->SaveAllChanges();
  library.Reset();
  // Registering writes the library's key and, for each of its interfaces, the marshaller.
  ComPtr<ITypeLib> saved;
  if (SUCCEEDED(hr))
    hr = ::LoadTypeLibEx(path.c_str(), REGKIND_REGISTER,
                         reinterpret_cast<ITypeLib**>(saved.Receive()));
  return hr;
}

}  // namespace tkw::com_server

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
  const host::InterfaceId* base;  // nullptr: IDispatch
};
// The most derived first, so that an object's type is the first of these it has.
constexpr Interface kInterfaces[] = {
    {L"CommandBarButton", host::office::kIidCommandBarButton, &host::office::kIidCommandBarControl},
    {L"CommandBarPopup", host::office::kIidCommandBarPopup, &host::office::kIidCommandBarControl},
    {L"CommandBarControl", host::office::kIidCommandBarControl, nullptr},
    {L"CommandBarControls", host::office::kIidCommandBarControls, nullptr},
    {L"CommandBar", host::office::kIidCommandBar, nullptr},
    {L"_CommandBars", host::office::kIidCommandBars, nullptr},
    {L"_Application", host::office::kIidApplication, nullptr},
};

GUID ToGuid(const host::InterfaceId& id) {
  GUID guid{id.data1, id.data2, id.data3, {}};
  std::copy(id.data4.begin(), id.data4.end(), std::begin(guid.Data4));
  return guid;
}

// `base` is the interface's base as the library has it so far; the library lays out the bases
// before the interfaces that derive from them.
HRESULT AddDualInterface(ICreateTypeLib2& library, ITypeInfo& base, const Interface& iface,
                         ComPtr<ITypeInfo>& added) {
  ComPtr<ICreateTypeInfo> info;
  HRESULT hr = library.CreateTypeInfo(const_cast<LPOLESTR>(iface.name), TKIND_INTERFACE,
                                      reinterpret_cast<ICreateTypeInfo**>(info.Receive()));
  if (SUCCEEDED(hr))
    hr = info->SetGuid(ToGuid(iface.id));
  // The base before the flags: some implementations derive a dual interface that has none from
  // IDispatch on their own.
  HREFTYPE reference = 0;
  if (SUCCEEDED(hr))
    hr = info->AddRefTypeInfo(&base, &reference);
  if (SUCCEEDED(hr))
    hr = info->AddImplType(0, reference);
  if (SUCCEEDED(hr))
    hr = info->SetTypeFlags(TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION);
  if (SUCCEEDED(hr))
    hr = info->LayOut();
  if (SUCCEEDED(hr))
    added = info.Query<ITypeInfo>(IID_ITypeInfo);
  return SUCCEEDED(hr) && !added ? E_NOINTERFACE : hr;
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
  // CommandBarControl before the two that derive from it.
  ComPtr<ITypeInfo> control;
  for (const Interface* iface = std::end(kInterfaces); iface-- != std::begin(kInterfaces);) {
    ComPtr<ITypeInfo> added;
    if (SUCCEEDED(hr))
      hr = AddDualInterface(*library.get(), iface->base ? *control.get() : *dispatch.get(), *iface,
                            added);
    if (iface->id == host::office::kIidCommandBarControl)
      control = std::move(added);
  }
  control.Reset();
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

ITypeInfo* OfficeTypeInfo(host::Dispatch& object) {
  const auto type = std::find_if(std::begin(kInterfaces), std::end(kInterfaces),
                                 [&](const Interface& iface) { return object.Supports(iface.id); });
  ComPtr<ITypeLib> library;
  ITypeInfo* info = nullptr;
  if (type != std::end(kInterfaces) &&
      SUCCEEDED(::LoadRegTypeLib(kLibraryId, 1, 0, LANG_NEUTRAL,
                                 reinterpret_cast<ITypeLib**>(library.Receive()))))
    library->GetTypeInfoOfGuid(ToGuid(type->id), &info);
  return info;
}

int OfficeMemberInterface(host::Dispatch& object) {
  constexpr const host::InterfaceId* kNumbered[] = {
      &host::office::kIidCommandBarControl, &host::office::kIidCommandBarControls,
      &host::office::kIidCommandBar, &host::office::kIidCommandBars,
      &host::office::kIidApplication};
  for (int i = 0; i < static_cast<int>(std::size(kNumbered)); ++i) {
    if (object.Supports(*kNumbered[i]))
      return i + 1;
  }
  return 0;
}

}  // namespace tkw::com_server

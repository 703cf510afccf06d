#include "host/emulated_windows/com_server/dispatch_adapter.h"

#include <algorithm>
#include <cwctype>
#include <iterator>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "host/formats/utf8.h"
#include "host/runtime_error.h"
#include "host/win32/dispatch.h"

namespace tkw::com_server {
namespace {

// Asks a VT_DISPATCH argument whether it is one of ours, and for the object it adapts.
// {B0E5C0DE-4A1F-4C39-9E21-7D6A58F0C3A1}
constexpr IID kIidDispatchAdapter = {
    0xB0E5C0DE, 0x4A1F, 0x4C39, {0x9E, 0x21, 0x7D, 0x6A, 0x58, 0xF0, 0xC3, 0xA1}};

// Names are matched without regard to case and keep one number for the life of the server. A
// member's DISPID is that number with the interface whose member it is above it, so that a DISPID
// of one interface is none of another's. A server that COM starts afresh numbers its names in
// the order it is first asked them, so a client that kept a DISPID from one server for the next
// would call another member.
class MemberNames {
 public:
  static constexpr int kInterfaceShift = 16;

  DISPID IdOf(int numbered, std::wstring_view name) {
    std::wstring key(name);
    for (wchar_t& c : key)
      c = static_cast<wchar_t>(std::towlower(c));
    const std::lock_guard lock(mutex_);
    const auto [entry, added] = ids_.try_emplace(std::move(key), names_.size() + 1);
    if (added)
      names_.emplace_back(name);
    return (numbered << kInterfaceShift) | entry->second;
  }

  std::optional<std::wstring> NameOf(int numbered, DISPID id) {
    const std::lock_guard lock(mutex_);
    const DISPID number = id & ((1 << kInterfaceShift) - 1);
    if (id >> kInterfaceShift != numbered || number < 1 ||
        static_cast<std::size_t>(number) > names_.size())
      return std::nullopt;
    return names_[static_cast<std::size_t>(number) - 1];
  }

 private:
  std::mutex mutex_;
  std::unordered_map<std::wstring, DISPID> ids_;
  std::vector<std::wstring> names_;
};

MemberNames& Members() {
  static MemberNames members;
  return members;
}

std::optional<host::Variant> ToHost(const VARIANT& argument) {
  if (V_VT(&argument) == (VT_BYREF | VT_VARIANT))
    return ToHost(*V_VARIANTREF(&argument));
  switch (V_VT(&argument)) {
    case VT_EMPTY:
      return std::monostate{};
    case VT_ERROR:
      if (V_ERROR(&argument) == DISP_E_PARAMNOTFOUND)
        return host::MissingArgument{};
      return std::nullopt;
    case VT_I2:
      return std::int16_t{V_I2(&argument)};
    case VT_I4:
      return std::int32_t{V_I4(&argument)};
    case VT_BOOL:
      return V_BOOL(&argument) != VARIANT_FALSE;
    case VT_BSTR:
      return std::wstring(V_BSTR(&argument), ::SysStringLen(V_BSTR(&argument)));
    case VT_DISPATCH: {
      IDispatch* dispatch = V_DISPATCH(&argument);
      if (dispatch == nullptr)
        return host::DispatchPtr();
      DispatchAdapter* ours = nullptr;
      if (FAILED(dispatch->QueryInterface(kIidDispatchAdapter, reinterpret_cast<void**>(&ours))))
        return std::nullopt;
      host::DispatchPtr object = ours->object();
      ours->Release();
      return object;
    }
    default:
      return std::nullopt;
  }
}

// The error as a Visual Basic server raises it: its number in FACILITY_CONTROL.
void Describe(const host::RuntimeError& error, EXCEPINFO* exception) {
  if (exception == nullptr)
    return;
  *exception = EXCEPINFO{};
  exception->scode = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, error.number());
  const std::wstring description = formats::Utf8ToWide(error.description());
  exception->bstrDescription =
      ::SysAllocStringLen(description.data(), static_cast<UINT>(description.size()));
}

host::InvokeKind KindOf(WORD flags) {
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))
    return host::InvokeKind::kPut;
  if (flags & DISPATCH_PROPERTYGET)
    return host::InvokeKind::kGet;
  return host::InvokeKind::kMethod;
}

}  // namespace

IDispatch* DispatchAdapter::Wrap(host::DispatchPtr object) {
  return new DispatchAdapter(std::move(object));
}

HRESULT DispatchAdapter::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr)
    return E_POINTER;
  *out = nullptr;
  host::InterfaceId id{iid.Data1, iid.Data2, iid.Data3, {}};
  std::copy(std::begin(iid.Data4), std::end(iid.Data4), id.data4.begin());
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == kIidDispatchAdapter ||
      object_->Supports(id)) {
    AddRef();
    *out = static_cast<IDispatch*>(this);
    return S_OK;
  }
  return E_NOINTERFACE;
}

HRESULT DispatchAdapter::GetTypeInfoCount(UINT* count) {
  if (count == nullptr)
    return E_POINTER;
  *count = describe_ != nullptr ? 1 : 0;
  return S_OK;
}

HRESULT DispatchAdapter::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (info == nullptr)
    return E_POINTER;
  *info = index == 0 && describe_ != nullptr ? describe_(*object_) : nullptr;
  return *info != nullptr ? S_OK : DISP_E_BADINDEX;
}

HRESULT DispatchAdapter::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (names == nullptr || ids == nullptr)
    return E_POINTER;
  // Named arguments are not supported: only the member itself gets an id.
  for (UINT i = 0; i < count; ++i)
    ids[i] = i == 0 ? Members().IdOf(MemberInterface(), names[0]) : DISPID_UNKNOWN;
  return count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
}

HRESULT DispatchAdapter::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                VARIANT* result, EXCEPINFO* exception, UINT* argumentError) {
  const std::optional<std::wstring> member = Members().NameOf(MemberInterface(), id);
  if (!member)
    return DISP_E_MEMBERNOTFOUND;
  if (params == nullptr)
    return E_POINTER;
  const host::InvokeKind kind = KindOf(flags);
  // A property write names its value DISPID_PROPERTYPUT; nothing else may be named.
  if (params->cNamedArgs > (kind == host::InvokeKind::kPut ? 1u : 0u))
    return DISP_E_NONAMEDARGS;

  try {
    // DISPPARAMS holds the last argument first.
    std::vector<host::Variant> args;
    args.reserve(params->cArgs);
    for (UINT i = params->cArgs; i-- > 0;) {
      std::optional<host::Variant> argument = ToHost(params->rgvarg[i]);
      if (!argument) {
        if (argumentError != nullptr)
          *argumentError = i;
        return DISP_E_TYPEMISMATCH;
      }
      args.push_back(std::move(*argument));
    }
    const host::Variant value = object_->Invoke(std::wstring_view(*member), kind, args);
    if (result == nullptr)
      return S_OK;
    ::VariantInit(result);
    return win32::ToVariant(value, *result, &DispatchAdapter::Wrap);
  } catch (const host::RuntimeError& error) {
    Describe(error, exception);
    return DISP_E_EXCEPTION;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace tkw::com_server

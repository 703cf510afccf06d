#include "host/win32/dispatch.h"

#include <algorithm>
#include <new>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "host/runtime_error.h"
#include "host/win32/busy_server.h"
#include "host/win32/code_page.h"

namespace tkw::win32 {
namespace {

host::RuntimeError TypeMismatch() {
  return {13, "Type mismatch"};
}

host::RuntimeError AutomationError() {
  return host::RuntimeError::AutomationError("Automation error");
}

// The arguments of one call, last argument first as DISPPARAMS wants them.
class Arguments {
 public:
  explicit Arguments(std::span<const host::Variant> args) {
    variants_.items.reserve(args.size());
    for (auto arg = args.rbegin(); arg != args.rend(); ++arg) {
      VARIANT& variant = variants_.items.emplace_back();
      ::VariantInit(&variant);
      Assign(*arg, variant);
    }
  }

  VARIANT* data() { return variants_.items.data(); }
  UINT size() const { return static_cast<UINT>(variants_.items.size()); }

 private:
  static void Assign(const host::Variant& value, VARIANT& variant) {
    const HRESULT result = ToVariant(value, variant, [](const host::DispatchPtr& object) {
      // Only objects that came from automation can be handed back to it.
      const auto* own = dynamic_cast<const Dispatch*>(object.get());
      if (own == nullptr)
        throw TypeMismatch();
      own->get()->AddRef();
      return own->get();
    });
    if (result == E_OUTOFMEMORY)
      throw std::bad_alloc();
  }

  // A member of its own, so that the variants made so far are cleared when one fails.
  struct Cleared {
    Cleared() = default;
    Cleared(const Cleared&) = delete;
    Cleared& operator=(const Cleared&) = delete;
    ~Cleared() {
      for (VARIANT& variant : items)
        ::VariantClear(&variant);
    }
    std::vector<VARIANT> items;
  } variants_;
};

// The exception a member raised, with its strings freed on every path.
class ExceptionInfo {
 public:
  ExceptionInfo() = default;
  ExceptionInfo(const ExceptionInfo&) = delete;
  ExceptionInfo& operator=(const ExceptionInfo&) = delete;
  ~ExceptionInfo() {
    ::SysFreeString(info_.bstrSource);
    ::SysFreeString(info_.bstrDescription);
    ::SysFreeString(info_.bstrHelpFile);
  }

  EXCEPINFO* get() { return &info_; }

  host::RuntimeError ToError() {
    if (info_.pfnDeferredFillIn != nullptr)
      info_.pfnDeferredFillIn(&info_);
    const UINT length = ::SysStringLen(info_.bstrDescription);
    if (length == 0)
      return AutomationError();
    return host::RuntimeError::AutomationError(
        WideToAnsi(std::wstring_view(info_.bstrDescription, length)));
  }

 private:
  EXCEPINFO info_{};
};

GUID ToGuid(const host::InterfaceId& iid) {
  return {iid.data1,
          iid.data2,
          iid.data3,
          {iid.data4[0], iid.data4[1], iid.data4[2], iid.data4[3], iid.data4[4], iid.data4[5],
           iid.data4[6], iid.data4[7]}};
}

}  // namespace

class Dispatch::Connection {
 public:
  // The identifier GetIDsOfNames gave for the member, or nothing when it was never asked.
  std::optional<DISPID> IdOf(const host::InterfaceId& declaredBy, std::wstring_view name) const {
    for (const Name& known : names_) {
      if (known.declaredBy == declaredBy && known.name == name)
        return known.id;
    }
    return std::nullopt;
  }
  void RememberId(const host::InterfaceId& declaredBy, std::wstring_view name, DISPID id) {
    names_.push_back({declaredBy, std::wstring(name), id});
  }

  // Whether the type information `type` names `iid` or an interface derived from it, when that
  // was found before. COM gives one proxy to one object of the server, so the same type
  // information comes back as the same pointer; the reference held to it keeps the pointer from
  // naming another in the meantime.
  std::optional<bool> Describes(ITypeInfo* type, const GUID& iid) const {
    for (const Type& known : types_) {
      if (known.type.get() != type)
        continue;
      for (const auto& [asked, has] : known.answers) {
        if (asked == iid)
          return has;
      }
    }
    return std::nullopt;
  }
  // A server that made new type information for every object would have each kept; a few serve
  // Office's few kinds of object.
  void RememberDescribes(ITypeInfo* type, const GUID& iid, bool has) {
    auto known = std::find_if(types_.begin(), types_.end(),
                              [&](const Type& kept) { return kept.type.get() == type; });
    if (known == types_.end()) {
      if (types_.size() == kTypesKept)
        return;
      known = types_.insert(types_.end(), {ComPtr<ITypeInfo>::Share(type), {}});
    }
    known->answers.emplace_back(iid, has);
  }

 private:
  static constexpr std::size_t kTypesKept = 16;
  struct Name {
    host::InterfaceId declaredBy;
    std::wstring name;
    DISPID id;
  };
  struct Type {
    ComPtr<ITypeInfo> type;
    std::vector<std::pair<GUID, bool>> answers;
  };
  std::vector<Name> names_;
  std::vector<Type> types_;
};

namespace {

host::DispatchPtr Wrap(IDispatch* borrowed, host::BusyServerPolicy& busyServer,
                       const std::shared_ptr<Dispatch::Connection>& connection) {
  if (borrowed == nullptr)
    return nullptr;
  return std::make_shared<Dispatch>(ComPtr<IDispatch>::Share(borrowed), busyServer, connection);
}

// The result types the program reads; other numbers arrive as 32-bit integers.
host::Variant ToHost(const VARIANT& result, host::BusyServerPolicy& busyServer,
                     const std::shared_ptr<Dispatch::Connection>& connection) {
  switch (V_VT(&result)) {
    case VT_EMPTY:
    case VT_NULL:
      return std::monostate{};
    case VT_I2:
      return std::int16_t{V_I2(&result)};
    case VT_I4:
      return std::int32_t{V_I4(&result)};
    case VT_BOOL:
      return V_BOOL(&result) != VARIANT_FALSE;
    case VT_BSTR:
      return std::wstring(V_BSTR(&result), ::SysStringLen(V_BSTR(&result)));
    case VT_DISPATCH:
      return Wrap(V_DISPATCH(&result), busyServer, connection);
    case VT_UNKNOWN: {
      const auto dispatch =
          ComPtr<IUnknown>::Share(V_UNKNOWN(&result)).Query<IDispatch>(IID_IDispatch);
      return Wrap(dispatch.get(), busyServer, connection);
    }
    default: {
      ScopedVariant number;
      // VariantChangeType leaves its source as it was.
      const HRESULT hr =
          ::VariantChangeType(number.Receive(), const_cast<VARIANT*>(&result), 0, VT_I4);
      if (hr == DISP_E_OVERFLOW)
        throw host::RuntimeError::Overflow();
      if (FAILED(hr))
        throw TypeMismatch();
      return std::int32_t{V_I4(&number.get())};
    }
  }
}

WORD Flags(host::InvokeKind kind) {
  switch (kind) {
    case host::InvokeKind::kGet:
      return DISPATCH_METHOD | DISPATCH_PROPERTYGET;
    case host::InvokeKind::kMethod:
      return DISPATCH_METHOD;
    case host::InvokeKind::kPut:
      return DISPATCH_PROPERTYPUT;
  }
  return DISPATCH_METHOD;
}

}  // namespace

Dispatch::Dispatch(ComPtr<IDispatch> dispatch, host::BusyServerPolicy& busyServer)
    : Dispatch(std::move(dispatch), busyServer, std::make_shared<Connection>()) {}

Dispatch::Dispatch(ComPtr<IDispatch> dispatch, host::BusyServerPolicy& busyServer,
                   std::shared_ptr<Connection> connection)
    : dispatch_(std::move(dispatch)), busyServer_(busyServer), connection_(std::move(connection)) {}

// Office registers the marshalling of its interfaces for its own architecture only (64-bit
// Office beside this 32-bit program), so a QueryInterface for one of them may fail as "interface
// not registered" whatever the object is. Its type information travels over IDispatch's own
// marshalling, which Windows registers for both, and names the interface the object serves.
bool Dispatch::Supports(const host::InterfaceId& iid) {
  const GUID guid = ToGuid(iid);
  if (const std::optional<bool> described = Described(guid))
    return *described;
  // An object without type information is asked directly.
  return static_cast<bool>(dispatch_.Query<IUnknown>(guid));
}

std::optional<bool> Dispatch::Described(const GUID& iid) {
  const auto remote = [this](auto call) {
    return host::CallWhileBusy(busyServer_, ThreadWaiting(), call, Refused);
  };
  ComPtr<ITypeInfo> type;
  if (FAILED(remote([&] {
        return dispatch_->GetTypeInfo(0, LOCALE_USER_DEFAULT,
                                      reinterpret_cast<ITypeInfo**>(type.Receive()));
      })) ||
      !type)
    return std::nullopt;
  if (const std::optional<bool> known = connection_->Describes(type.get(), iid))
    return known;
  // The object's own interface first, then the ones it derives from (CommandBarButton derives
  // from CommandBarControl). Office's chains are a few long; a longer one loops.
  const std::optional<bool> has = [&]() -> std::optional<bool> {
    ComPtr<ITypeInfo> step = ComPtr<ITypeInfo>::Share(type.get());
    for (int depth = 0; depth < 16; ++depth) {
      TYPEATTR* attributes = nullptr;
      if (FAILED(remote([&] { return step->GetTypeAttr(&attributes); })) || attributes == nullptr)
        return std::nullopt;
      const TYPEATTR described = *attributes;
      step->ReleaseTypeAttr(attributes);
      if (described.guid == iid)
        return true;
      if (described.guid == IID_IDispatch)  // which derives from IUnknown alone
        return iid == IID_IUnknown;
      // The dispatch side of a dual interface shows IDispatch as its base; its interface side,
      // at -1, shows the real one. A dispinterface derives from IDispatch alone.
      UINT base = 0;
      if (described.typekind == TKIND_DISPATCH && (described.wTypeFlags & TYPEFLAG_FDUAL))
        base = static_cast<UINT>(-1);
      else if ((described.typekind != TKIND_INTERFACE && described.typekind != TKIND_DISPATCH) ||
               described.cImplTypes == 0)
        return false;
      HREFTYPE reference = 0;
      ComPtr<ITypeInfo> next;
      if (FAILED(remote([&] { return step->GetRefTypeOfImplType(base, &reference); })) ||
          FAILED(remote([&] {
            return step->GetRefTypeInfo(reference, reinterpret_cast<ITypeInfo**>(next.Receive()));
          })) ||
          !next)
        return std::nullopt;
      step = std::move(next);
    }
    return std::nullopt;
  }();
  if (has)
    connection_->RememberDescribes(type.get(), iid, *has);
  return has;
}

DISPID Dispatch::IdOf(const host::Member& member) {
  if (member.declaredBy != nullptr) {
    if (const std::optional<DISPID> known = connection_->IdOf(*member.declaredBy, member.name))
      return *known;
  }
  std::wstring name(member.name);
  LPOLESTR names[] = {name.data()};
  DISPID id = DISPID_UNKNOWN;
  const HRESULT found = host::CallWhileBusy(
      busyServer_, ThreadWaiting(),
      [&] { return dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id); },
      Refused);
  if (FAILED(found))
    throw AutomationError();
  if (member.declaredBy != nullptr)
    connection_->RememberId(*member.declaredBy, member.name, id);
  return id;
}

host::Variant Dispatch::Invoke(const host::Member& member, host::InvokeKind kind,
                               std::span<const host::Variant> args) {
  const DISPID id = IdOf(member);

  Arguments arguments(args);
  DISPID propertyPut = DISPID_PROPERTYPUT;
  DISPPARAMS params{arguments.data(), nullptr, arguments.size(), 0};
  if (kind == host::InvokeKind::kPut) {
    params.rgdispidNamedArgs = &propertyPut;
    params.cNamedArgs = 1;
  }

  ScopedVariant result;
  ExceptionInfo exception;
  UINT badArgument = 0;
  const HRESULT hr = host::CallWhileBusy(
      busyServer_, ThreadWaiting(),
      [&] {
        return dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, Flags(kind), &params,
                                 result.Receive(), exception.get(), &badArgument);
      },
      Refused);
  if (hr == DISP_E_EXCEPTION)
    throw exception.ToError();
  if (FAILED(hr))
    throw AutomationError();
  // A call made for its effect may return anything; only a read result is converted.
  if (kind != host::InvokeKind::kGet)
    return std::monostate{};
  return ToHost(result.get(), busyServer_, connection_);
}

HRESULT ToVariant(const host::Variant& value, VARIANT& variant,
                  const std::function<IDispatch*(const host::DispatchPtr&)>& toDispatch) {
  return std::visit(
      [&]<class T>(const T& v) -> HRESULT {
        if constexpr (std::is_same_v<T, std::monostate>) {
          V_VT(&variant) = VT_EMPTY;
        } else if constexpr (std::is_same_v<T, host::MissingArgument>) {
          V_VT(&variant) = VT_ERROR;
          V_ERROR(&variant) = DISP_E_PARAMNOTFOUND;
        } else if constexpr (std::is_same_v<T, std::int16_t>) {
          V_VT(&variant) = VT_I2;
          V_I2(&variant) = v;
        } else if constexpr (std::is_same_v<T, std::int32_t>) {
          V_VT(&variant) = VT_I4;
          V_I4(&variant) = v;
        } else if constexpr (std::is_same_v<T, bool>) {
          V_VT(&variant) = VT_BOOL;
          V_BOOL(&variant) = v ? VARIANT_TRUE : VARIANT_FALSE;
        } else if constexpr (std::is_same_v<T, std::wstring>) {
          BSTR text = ::SysAllocStringLen(v.data(), static_cast<UINT>(v.size()));
          if (text == nullptr)
            return E_OUTOFMEMORY;
          V_VT(&variant) = VT_BSTR;
          V_BSTR(&variant) = text;
        } else {
          static_assert(std::is_same_v<T, host::DispatchPtr>);
          // Nothing is a null dispatch reference.
          V_VT(&variant) = VT_DISPATCH;
          V_DISPATCH(&variant) = v == nullptr ? nullptr : toDispatch(v);
        }
        return S_OK;
      },
      value);
}

}  // namespace tkw::win32

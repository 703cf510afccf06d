// A late-bound automation object: one reference to its IDispatch.
#pragma once

#include <functional>
#include <optional>
#include <utility>

#include "host/automation.h"
#include "host/busy_server.h"
#include "host/win32/com.h"

namespace tkw::win32 {

// Its calls, and those of the objects it hands out, are made again while the server refuses
// them as busy, as `busyServer` allows.
class Dispatch final : public host::Dispatch {
 public:
  Dispatch(ComPtr<IDispatch> dispatch, host::BusyServerPolicy& busyServer)
      : dispatch_(std::move(dispatch)), busyServer_(busyServer) {}

  bool Supports(const host::InterfaceId& iid) override;
  host::Variant Invoke(std::wstring_view member, host::InvokeKind kind,
                       std::span<const host::Variant> args) override;

  IDispatch* get() const { return dispatch_.get(); }

 private:
  // Whether the object's type information names `iid` or an interface derived from it; nothing
  // when the object has none or it cannot be read.
  std::optional<bool> Described(const GUID& iid);

  ComPtr<IDispatch> dispatch_;
  host::BusyServerPolicy& busyServer_;
};

// Fills `variant`, which the caller cleared, with `value` as the variant type the Office type
// library expects. `toDispatch` gives an object's IDispatch with a reference of its own.
// Returns E_OUTOFMEMORY when a string cannot be allocated.
HRESULT ToVariant(const host::Variant& value, VARIANT& variant,
                  const std::function<IDispatch*(const host::DispatchPtr&)>& toDispatch);

}  // namespace tkw::win32

// A late-bound automation object: one reference to its IDispatch.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "host/automation.h"
#include "host/busy_server.h"
#include "host/win32/com.h"

namespace tkw::win32 {

// Its calls, and those of the objects it hands out, are made again while the server refuses
// them as busy, as `busyServer` allows.
//
// Every call on an object in another process is a round trip to its server, which serves them
// one at a time on its UI thread. So an object and those it hands out, the objects of one
// connection to a server, share what they learn of it: the dispatch identifier of each member
// named with its interface, and the interfaces each type information they were given
// describes, with a reference to it that keeps its identity until the connection's last object
// goes.
class Dispatch final : public host::Dispatch {
 public:
  // The first object of a new connection.
  Dispatch(ComPtr<IDispatch> dispatch, host::BusyServerPolicy& busyServer);

  bool Supports(const host::InterfaceId& iid) override;
  host::Variant Invoke(const host::Member& member, host::InvokeKind kind,
                       std::span<const host::Variant> args) override;

  IDispatch* get() const { return dispatch_.get(); }

  class Connection;
  // An object handed out on `connection`.
  Dispatch(ComPtr<IDispatch> dispatch, host::BusyServerPolicy& busyServer,
           std::shared_ptr<Connection> connection);

 private:
  DISPID IdOf(const host::Member& member);
  // Whether the object's type information names `iid` or an interface derived from it; nothing
  // when the object has none or it cannot be read.
  std::optional<bool> Described(const GUID& iid);

  ComPtr<IDispatch> dispatch_;
  host::BusyServerPolicy& busyServer_;
  // Declared after the object, so given up before it: the connection's last object gives back
  // the type information held while the server still serves it (a server that COM started
  // ends with its last object).
  std::shared_ptr<Connection> connection_;
};

// Fills `variant`, which the caller cleared, with `value` as the variant type the Office type
// library expects. `toDispatch` gives an object's IDispatch with a reference of its own.
// Returns E_OUTOFMEMORY when a string cannot be allocated.
HRESULT ToVariant(const host::Variant& value, VARIANT& variant,
                  const std::function<IDispatch*(const host::DispatchPtr&)>& toDispatch);

}  // namespace tkw::win32

// Typed references to automation objects. A reference may be empty (never obtained, or the
// call that should have produced it failed); every call on an empty reference, like every
// call the object refuses, fails quietly and reports it only through its result, so that
// callers skip a failed step and go on.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "host/automation.h"
#include "host/ole.h"
#include "host/runtime_error.h"

namespace tkw::host {

class AutomationObject {
 public:
  AutomationObject() = default;
  explicit AutomationObject(DispatchPtr dispatch) : dispatch_(std::move(dispatch)) {}

  explicit operator bool() const { return dispatch_ != nullptr; }
  const DispatchPtr& dispatch() const { return dispatch_; }
  void Release() { dispatch_.reset(); }

 protected:
  // The member's result, or nothing when the reference is empty or the call fails.
  std::optional<Variant> Invoke(const Member& member, InvokeKind kind,
                                std::initializer_list<Variant> args = {}) const;
  // Calls a method whose result is not used; false when it fails.
  bool Call(const Member& member, std::initializer_list<Variant> args = {}) const;
  bool Put(const Member& member, Variant value) const;
  std::optional<std::int32_t> GetNumber(const Member& member) const;
  std::optional<std::wstring> GetText(const Member& member) const;
  std::optional<bool> GetFlag(const Member& member) const;

  // A member's object result taken through the interface of `T`; empty when the call fails
  // or the object does not have that interface.
  template <class T>
  T GetObject(const Member& member, std::initializer_list<Variant> args = {}) const {
    return QueryInterface<T>(ObjectResult(Invoke(member, InvokeKind::kGet, args)));
  }

 private:
  static DispatchPtr ObjectResult(const std::optional<Variant>& result);

  DispatchPtr dispatch_;
};

// The object through the interface of `T` (Set oButton = oControl), or an empty reference
// when it does not have that interface. Only a type that names its interface (kIid) is asked
// for it: the run decides by the type only whether a control is a button or a pop-up, and every
// other reference is the object the call returned, with no question to the server.
template <class T>
T QueryInterface(const DispatchPtr& dispatch) {
  if (dispatch == nullptr)
    return T();
  if constexpr (requires { T::kIid; }) {
    if (!dispatch->Supports(T::kIid))
      return T();
  }
  return T(dispatch);
}

template <class T>
T QueryInterface(const AutomationObject& object) {
  return QueryInterface<T>(object.dispatch());
}

// CreateObject(progId) through the interface of `T`; empty when it cannot be created.
template <class T>
T CreateObject(Ole& ole, const std::wstring& progId) {
  try {
    return QueryInterface<T>(ole.CreateObject(progId));
  } catch (const RuntimeError&) {
    return T();
  }
}

}  // namespace tkw::host

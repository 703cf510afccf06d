// A real IDispatch over an automation object of host/, so that the emulation's objects serve
// late-bound callers under Wine as they serve the program on Linux.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <oleauto.h>

#include "host/automation.h"
#include "host/emulated_windows/com_server/live_objects.h"
#include "host/emulated_windows/com_server/ref_counted.h"

namespace tkw::com_server {

class DispatchAdapter final : public RefCounted<DispatchAdapter, IDispatch>, LiveObject {
 public:
  // A new COM object holding one reference, which the caller owns.
  static IDispatch* Wrap(host::DispatchPtr object);

  // IUnknown: IUnknown and IDispatch, and every interface the object says it supports (all of
  // them dual, so this IDispatch serves them).
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;

  // The type information that GetTypeInfo gives for an object, with a reference for the caller,
  // or nullptr; without it there is none. Members are found by name alone either way.
  using TypeDescriber = ITypeInfo* (*)(host::Dispatch& object);
  static void DescribeWith(TypeDescriber describe) { describe_ = describe; }

  // The interface, as a number, whose dispatch identifiers an object's members have: one
  // interface's identifiers are not another's, as in Office, whose CommandBars.Item is not
  // CommandBarControls.Item. Without it every object numbers its members alike.
  using InterfaceOf = int (*)(host::Dispatch& object);
  static void NumberMembersBy(InterfaceOf interfaceOf) { interfaceOf_ = interfaceOf; }

  // IDispatch.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argumentError) override;

  const host::DispatchPtr& object() const { return object_; }

 private:
  friend class RefCounted<DispatchAdapter, IDispatch>;

  explicit DispatchAdapter(host::DispatchPtr object) : object_(std::move(object)) {}
  ~DispatchAdapter() = default;

  host::DispatchPtr object_;
  int MemberInterface() { return interfaceOf_ != nullptr ? interfaceOf_(*object_) : 0; }

  static inline TypeDescriber describe_ = nullptr;
  static inline InterfaceOf interfaceOf_ = nullptr;
};

}  // namespace tkw::com_server

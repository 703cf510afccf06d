// A late-bound automation object: one reference to its IDispatch.
#pragma once

#include <utility>

#include "host/automation.h"
#include "host/win32/com.h"

namespace tkw::win32 {

class Dispatch final : public host::Dispatch {
 public:
  explicit Dispatch(ComPtr<IDispatch> dispatch) : dispatch_(std::move(dispatch)) {}

  bool Supports(const host::InterfaceId& iid) override;
  host::Variant Invoke(std::wstring_view member, host::InvokeKind kind,
                       std::span<const host::Variant> args) override;

  IDispatch* get() const { return dispatch_.get(); }

 private:
  ComPtr<IDispatch> dispatch_;
};

}  // namespace tkw::win32

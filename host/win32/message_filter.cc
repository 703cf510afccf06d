#include "host/win32/message_filter.h"

namespace tkw::win32 {

void RegisteredMessageFilter::Register() {
  registered_ = SUCCEEDED(::CoRegisterMessageFilter(this, &previous_));
}

RegisteredMessageFilter::~RegisteredMessageFilter() {
  if (!registered_)
    return;
  IMessageFilter* ours = nullptr;
  ::CoRegisterMessageFilter(previous_, &ours);
  if (previous_ != nullptr)
    previous_->Release();
}

HRESULT RegisteredMessageFilter::QueryInterface(REFIID iid, void** out) {
  if (iid == IID_IUnknown || iid == IID_IMessageFilter) {
    *out = static_cast<IMessageFilter*>(this);
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

}  // namespace tkw::win32

// A message filter registered on the thread that makes it, for the object's life: the one
// IUnknown and registration that the program's filter and a server's filter share. Made after
// OLE is started, so that it is revoked, and the filter before it restored, before OLE ends.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <objidl.h>

namespace tkw::win32 {

class RegisteredMessageFilter : public IMessageFilter {
 public:
  RegisteredMessageFilter(const RegisteredMessageFilter&) = delete;
  RegisteredMessageFilter& operator=(const RegisteredMessageFilter&) = delete;

  // COM holds references only while registered; the object's owner decides its life.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) final;
  ULONG STDMETHODCALLTYPE AddRef() final { return 2; }
  ULONG STDMETHODCALLTYPE Release() final { return 1; }

 protected:
  RegisteredMessageFilter() = default;
  virtual ~RegisteredMessageFilter();

  // Registers the filter; the derived class calls it once it is wholly made.
  void Register();

 private:
  bool registered_ = false;
  IMessageFilter* previous_ = nullptr;
};

}  // namespace tkw::win32

// The reference count that every COM object of the stand-in servers keeps.
#pragma once

#include <windows.h>

#include <atomic>

namespace tkw::com_server {

// Implements IUnknown's AddRef and Release for `Interface`: the object starts with one
// reference, which its creator owns, and deletes itself as a `Self` when the last one goes.
// `Self` befriends this class when its destructor is private.
template <typename Self, typename Interface>
class RefCounted : public Interface {
 public:
  ULONG STDMETHODCALLTYPE AddRef() final { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() final {
    const ULONG left = --references_;
    if (left == 0)
      delete static_cast<Self*>(this);
    return left;
  }

 protected:
  RefCounted() = default;
  ~RefCounted() = default;

 private:
  std::atomic<ULONG> references_{1};
};

}  // namespace tkw::com_server

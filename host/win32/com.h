// Owners of COM interface references, VARIANTs and the COM apartment, so that every path out of a
// call gives them back.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <ole2.h>
#include <oleauto.h>

#include <utility>

namespace tkw::win32 {

// One counted reference to a COM interface.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  explicit ComPtr(T* adopted) : p_(adopted) {}
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  // Takes a reference of its own to `borrowed`.
  static ComPtr Share(T* borrowed) {
    if (borrowed != nullptr)
      borrowed->AddRef();
    return ComPtr(borrowed);
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

  void Reset() {
    if (p_ != nullptr)
      std::exchange(p_, nullptr)->Release();
  }
  // The out-argument of QueryInterface, CoCreateInstance and the like.
  void** Receive() {
    Reset();
    return reinterpret_cast<void**>(&p_);
  }

  template <class U>
  ComPtr<U> Query(REFIID iid) const {
    ComPtr<U> result;
    if (p_ != nullptr)
      p_->QueryInterface(iid, result.Receive());
    return result;
  }

 private:
  T* p_ = nullptr;
};

class ScopedVariant {
 public:
  ScopedVariant() { ::VariantInit(&variant_); }
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;
  ~ScopedVariant() { ::VariantClear(&variant_); }

  const VARIANT& get() const { return variant_; }
  // An out-argument; whatever was held is cleared first.
  VARIANT* Receive() {
    ::VariantClear(&variant_);
    return &variant_;
  }

 private:
  VARIANT variant_;
};

// CoInitialize for the life of the object, on the thread that made it.
class ScopedComApartment {
 public:
  ScopedComApartment() : initialized_(SUCCEEDED(::CoInitialize(nullptr))) {}
  ScopedComApartment(const ScopedComApartment&) = delete;
  ScopedComApartment& operator=(const ScopedComApartment&) = delete;
  ~ScopedComApartment() {
    if (initialized_)
      ::CoUninitialize();
  }

 private:
  bool initialized_;
};

// OleInitialize for the life of the object, as the run-time starts its thread: COM's apartment
// and what the clipboard and drag-and-drop calls of OLE need besides, for in-process components.
class ScopedOle {
 public:
  ScopedOle() : initialized_(SUCCEEDED(::OleInitialize(nullptr))) {}
  ScopedOle(const ScopedOle&) = delete;
  ScopedOle& operator=(const ScopedOle&) = delete;
  ~ScopedOle() {
    if (initialized_)
      ::OleUninitialize();
  }

 private:
  bool initialized_;
};

}  // namespace tkw::win32

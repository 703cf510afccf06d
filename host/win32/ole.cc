#include "host/win32/ole.h"

#include <windows.h>
// After windows.h, which it needs.
#include <olectl.h>

#include <cstdint>
#include <utility>

#include "host/runtime_error.h"
#include "host/win32/busy_server.h"
#include "host/win32/com.h"
#include "host/win32/dispatch.h"
#include "host/win32/handles.h"

namespace tkw::win32 {
namespace {

// OLE_HANDLE is 32 bits wide on every platform; GDI handles are sign-extended 32-bit values.
inline host::Handle FromOleHandle(OLE_HANDLE handle) {
  return static_cast<host::Handle>(static_cast<std::intptr_t>(static_cast<std::int32_t>(handle)));
}

// An OLE picture; releasing the last reference deletes its bitmap and palette.
class Picture final : public host::Picture {
 public:
  explicit Picture(ComPtr<IPicture> picture) : picture_(std::move(picture)) {}

  std::int16_t type() override {
    SHORT type = PICTYPE_UNINITIALIZED;
    picture_->get_Type(&type);
    return type;
  }
  host::Handle handle() override {
    OLE_HANDLE handle = 0;
    picture_->get_Handle(&handle);
    return FromOleHandle(handle);
  }
  host::Handle hPal() override {
    OLE_HANDLE palette = 0;
    picture_->get_hPal(&palette);
    return FromOleHandle(palette);
  }

 private:
  ComPtr<IPicture> picture_;
};

}  // namespace

std::unique_ptr<host::Picture> Ole::LoadPicture(const std::wstring& path) {
  // The run-time reads the file itself (a relative path is taken from the current folder) and
  // hands its bytes to OLE as a stream; OleLoadPicturePath would take a relative path for a URL.
  const KernelHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file || !::GetFileSizeEx(file.get(), &size))
    throw host::RuntimeError::FileNotFound();
  // Larger than any picture OLE loads, and more than the 32-bit sizes below can carry.
  if (size.QuadPart > 0x7FFFFFFF)
    throw host::RuntimeError::InvalidPicture();
  const auto length = static_cast<DWORD>(size.QuadPart);

  // The stream owns the block and frees it with its last reference.
  const HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, length == 0 ? 1 : length);
  if (block == nullptr)
    throw host::RuntimeError::OutOfMemory();
  ComPtr<IStream> stream;
  if (FAILED(::CreateStreamOnHGlobal(block, TRUE, reinterpret_cast<IStream**>(stream.Receive())))) {
    ::GlobalFree(block);
    throw host::RuntimeError::OutOfMemory();
  }
  DWORD read = 0;
  void* bytes = ::GlobalLock(block);
  const bool complete = ::ReadFile(file.get(), bytes, length, &read, nullptr) && read == length;
  ::GlobalUnlock(block);
  if (!complete)
    throw host::RuntimeError::FileNotFound();

  ComPtr<IPicture> picture;
  const HRESULT hr = ::OleLoadPicture(stream.get(), static_cast<LONG>(length), FALSE, IID_IPicture,
                                      picture.Receive());
  if (FAILED(hr) || !picture)
    throw host::RuntimeError::InvalidPicture();
  return std::make_unique<Picture>(std::move(picture));
}

long Ole::OleTranslateColor(std::uint32_t oleColor, host::Handle palette, host::ColorRef* result) {
  COLORREF color = 0;
  const HRESULT hr = ::OleTranslateColor(oleColor, FromHandle<HPALETTE>(palette), &color);
  if (SUCCEEDED(hr))
    *result = color;
  return hr;
}

host::DispatchPtr Ole::CreateObject(const std::wstring& progId) {
  CLSID clsid;
  if (FAILED(::CLSIDFromProgID(progId.c_str(), &clsid))) {
    throw host::RuntimeError::CannotCreateObject();
  }
  ComPtr<IDispatch> object;
  const HRESULT hr = host::CallWhileBusy(
      busyServer_, ThreadWaiting(),
      [&] {
        return ::CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IDispatch, object.Receive());
      },
      Refused);
  if (FAILED(hr))
    throw host::RuntimeError::CannotCreateObject();
  return std::make_shared<Dispatch>(std::move(object), busyServer_);
}

long Ole::GetActiveObject(const std::wstring& progId, host::DispatchPtr* object) {
  CLSID clsid;
  HRESULT hr = ::CLSIDFromProgID(progId.c_str(), &clsid);
  if (FAILED(hr))
    return hr;
  ComPtr<IUnknown> active;
  hr = ::GetActiveObject(clsid, nullptr, reinterpret_cast<IUnknown**>(active.Receive()));
  if (FAILED(hr))
    return hr;
  // The table hands out a proxy; asking it for IDispatch reaches the server, which may be busy.
  ComPtr<IDispatch> dispatch;
  hr = host::CallWhileBusy(
      busyServer_, ThreadWaiting(),
      [&] { return active->QueryInterface(IID_IDispatch, dispatch.Receive()); }, Refused);
  if (FAILED(hr))
    return hr;
  *object = std::make_shared<Dispatch>(std::move(dispatch), busyServer_);
  return S_OK;
}

}  // namespace tkw::win32

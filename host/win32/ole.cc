#include "host/win32/ole.h"

#include <windows.h>
// After windows.h, which it needs.
#include <olectl.h>

#include <cstdint>
#include <utility>

#include "host/runtime_error.h"
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
  ComPtr<IPicture> picture;
  const HRESULT hr = ::OleLoadPicturePath(const_cast<LPOLESTR>(path.c_str()), nullptr, 0, 0,
                                          IID_IPicture, picture.Receive());
  if (FAILED(hr) || !picture) {
    if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
      throw host::RuntimeError::FileNotFound();
    }
    throw host::RuntimeError::InvalidPicture();
  }
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
  if (FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IDispatch, object.Receive()))) {
    throw host::RuntimeError::CannotCreateObject();
  }
  return std::make_shared<Dispatch>(std::move(object));
}

}  // namespace tkw::win32

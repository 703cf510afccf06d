// OLE services: pictures loaded from files, colour translation, and objects created by ProgID or
// found running.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "host/automation.h"
#include "host/gdi.h"
#include "host/handle.h"

namespace tkw::host {

inline constexpr std::int16_t kPicTypeBitmap = 1;
inline constexpr std::int16_t kPicTypeIcon = 3;

// HRESULTs of GetActiveObject, negative as on Windows, where a long is 32 bits.
inline constexpr long kSOk = 0;
inline constexpr long kMkEUnavailable = static_cast<std::int32_t>(0x800401E3);  // not running
inline constexpr long kCoEClassString = static_cast<std::int32_t>(0x800401F3);  // no such ProgID

// A loaded picture; it owns its bitmap and palette and deletes them when released.
class Picture {
 public:
  virtual ~Picture() = default;
  virtual std::int16_t type() = 0;  // Type: 1 bitmap, 3 icon, ...
  virtual Handle handle() = 0;      // Handle: the HBITMAP of a bitmap picture
  virtual Handle hPal() = 0;        // 0 when the picture has no palette
};

class Ole {
 public:
  virtual ~Ole() = default;

  // Loads a bitmap, icon or metafile file as the run-time's LoadPicture does. Throws
  // RuntimeError: "File not found", "Invalid picture", ...
  virtual std::unique_ptr<Picture> LoadPicture(const std::wstring& path) = 0;

  // OleTranslateColor: an OLE colour to a COLORREF against `palette`; returns an HRESULT.
  virtual long OleTranslateColor(std::uint32_t oleColor, Handle palette, ColorRef* result) = 0;

  // CLSIDFromProgID and CoCreateInstance on the local machine. Throws RuntimeError
  // ("ActiveX component can't create object") when the ProgID is not registered.
  virtual DispatchPtr CreateObject(const std::wstring& progId) = 0;

  // CLSIDFromProgID and GetActiveObject: the object that a running server registered for the
  // class in the running object table, which it does while it runs as its user's; nothing is
  // started. Returns an HRESULT: kSOk with `object` set, kMkEUnavailable when no such server
  // runs, kCoEClassString when the ProgID is not registered.
  virtual long GetActiveObject(const std::wstring& progId, DispatchPtr* object) = 0;
};

}  // namespace tkw::host

// OLE services over Win32: pictures, colour translation, and objects created by ProgID or found
// running.
#pragma once

#include "host/busy_server.h"
#include "host/ole.h"

namespace tkw::win32 {

class Ole final : public host::Ole {
 public:
  // Objects created here and those they hand out retry refused calls as `busyServer` says.
  explicit Ole(host::BusyServerPolicy& busyServer) : busyServer_(busyServer) {}

  std::unique_ptr<host::Picture> LoadPicture(const std::wstring& path) override;
  long OleTranslateColor(std::uint32_t oleColor, host::Handle palette,
                         host::ColorRef* result) override;
  host::DispatchPtr CreateObject(const std::wstring& progId) override;
  long GetActiveObject(const std::wstring& progId, host::DispatchPtr* object) override;

 private:
  host::BusyServerPolicy& busyServer_;
};

}  // namespace tkw::win32

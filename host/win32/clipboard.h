// The clipboard calls, forwarded one to one.
#pragma once

#include "host/clipboard.h"

namespace tkw::win32 {

class Clipboard final : public host::Clipboard {
 public:
  bool OpenClipboard(host::Handle owner) override;
  bool CloseClipboard() override;
  bool EmptyClipboard() override;
  unsigned RegisterClipboardFormatA(const std::string& name) override;
  host::Handle GetClipboardData(unsigned format) override;
  host::Handle SetClipboardData(unsigned format, host::Handle block) override;
};

}  // namespace tkw::win32

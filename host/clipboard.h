// The clipboard calls of the face procedures, with Win32's arguments and results.
#pragma once

#include <string>

#include "host/handle.h"

namespace tkw::host {

inline constexpr unsigned kCfDib = 8;

class Clipboard {
 public:
  virtual ~Clipboard() = default;

  // Fails while another process holds the clipboard open.
  virtual bool OpenClipboard(Handle owner) = 0;
  virtual bool CloseClipboard() = 0;
  virtual bool EmptyClipboard() = 0;
  // The same name gives the same number; 0 on failure.
  virtual unsigned RegisterClipboardFormatA(const std::string& name) = 0;
  // A global block owned by the clipboard, or 0. Needs the clipboard open.
  virtual Handle GetClipboardData(unsigned format) = 0;
  // Takes ownership of `block` and returns it, or returns 0 (the block stays the caller's).
  virtual Handle SetClipboardData(unsigned format, Handle block) = 0;
};

}  // namespace tkw::host

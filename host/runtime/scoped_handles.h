// Owners of the drawing, clipboard and memory resources the face procedures take, each given
// back when its scope ends, in the reverse order of taking.
#pragma once

#include "host/clipboard.h"
#include "host/gdi.h"
#include "host/kernel.h"

namespace tkw::host {

class ScopedScreenDC {
 public:
  explicit ScopedScreenDC(Gdi& gdi) : gdi_(gdi), dc_(gdi.GetDC(0)) {}
  ScopedScreenDC(const ScopedScreenDC&) = delete;
  ScopedScreenDC& operator=(const ScopedScreenDC&) = delete;
  ~ScopedScreenDC() { gdi_.ReleaseDC(0, dc_); }
  Handle get() const { return dc_; }

 private:
  Gdi& gdi_;
  Handle dc_;
};

class ScopedMemoryDC {
 public:
  ScopedMemoryDC(Gdi& gdi, Handle compatibleWith)
      : gdi_(gdi), dc_(gdi.CreateCompatibleDC(compatibleWith)) {}
  ScopedMemoryDC(const ScopedMemoryDC&) = delete;
  ScopedMemoryDC& operator=(const ScopedMemoryDC&) = delete;
  ~ScopedMemoryDC() { gdi_.DeleteDC(dc_); }
  Handle get() const { return dc_; }

 private:
  Gdi& gdi_;
  Handle dc_;
};

// A bitmap or palette deleted at the end of the scope; none until one is handed over.
class ScopedGdiObject {
 public:
  explicit ScopedGdiObject(Gdi& gdi) : gdi_(gdi) {}
  ScopedGdiObject(const ScopedGdiObject&) = delete;
  ScopedGdiObject& operator=(const ScopedGdiObject&) = delete;
  ~ScopedGdiObject() {
    if (object_ != 0)
      gdi_.DeleteObject(object_);
  }
  Handle get() const { return object_; }
  // For a call that hands the object out through an out-argument.
  Handle& receive() { return object_; }

 private:
  Gdi& gdi_;
  Handle object_ = 0;
};

// An object selected into a context for one scope; the former one goes back at its end.
class ScopedSelectObject {
 public:
  ScopedSelectObject(Gdi& gdi, Handle dc, Handle object)
      : gdi_(gdi), dc_(dc), former_(gdi.SelectObject(dc, object)) {}
  ScopedSelectObject(const ScopedSelectObject&) = delete;
  ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;
  ~ScopedSelectObject() { gdi_.SelectObject(dc_, former_); }

 private:
  Gdi& gdi_;
  Handle dc_;
  Handle former_;
};

// A palette selected as a background palette for one scope.
class ScopedSelectPalette {
 public:
  ScopedSelectPalette(Gdi& gdi, Handle dc, Handle palette)
      : gdi_(gdi), dc_(dc), former_(gdi.SelectPalette(dc, palette, /*forceBackground=*/true)) {}
  ScopedSelectPalette(const ScopedSelectPalette&) = delete;
  ScopedSelectPalette& operator=(const ScopedSelectPalette&) = delete;
  ~ScopedSelectPalette() { gdi_.SelectPalette(dc_, former_, /*forceBackground=*/true); }

 private:
  Gdi& gdi_;
  Handle dc_;
  Handle former_;
};

// The clipboard held open for one scope, when it could be opened.
class ScopedOpenClipboard {
 public:
  explicit ScopedOpenClipboard(Clipboard& clipboard)
      : clipboard_(clipboard), open_(clipboard.OpenClipboard(0)) {}
  ScopedOpenClipboard(const ScopedOpenClipboard&) = delete;
  ScopedOpenClipboard& operator=(const ScopedOpenClipboard&) = delete;
  ~ScopedOpenClipboard() {
    if (open_)
      clipboard_.CloseClipboard();
  }
  explicit operator bool() const { return open_; }

 private:
  Clipboard& clipboard_;
  bool open_;
};

// A global block locked for one scope.
class ScopedGlobalLock {
 public:
  ScopedGlobalLock(GlobalMemory& memory, Handle block)
      : memory_(memory), block_(block), data_(memory.GlobalLock(block)) {}
  ScopedGlobalLock(const ScopedGlobalLock&) = delete;
  ScopedGlobalLock& operator=(const ScopedGlobalLock&) = delete;
  ~ScopedGlobalLock() {
    if (data_ != nullptr)
      memory_.GlobalUnlock(block_);
  }
  void* data() const { return data_; }

 private:
  GlobalMemory& memory_;
  Handle block_;
  void* data_;
};

}  // namespace tkw::host

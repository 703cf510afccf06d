// The emulated Windows machine: everything the program reaches of the platform, kept in one
// prefix folder on Linux (registry file, drives, clipboard, PowerPoint's state).
#pragma once

#include <filesystem>

#include "host/emulated_windows/graphics/emulated_clipboard.h"
#include "host/emulated_windows/graphics/emulated_gdi.h"
#include "host/emulated_windows/graphics/emulated_global_memory.h"
#include "host/emulated_windows/graphics/emulated_message_windows.h"
#include "host/emulated_windows/graphics/picture_loader.h"
#include "host/emulated_windows/powerpoint/powerpoint_application.h"
#include "host/emulated_windows/system/emulated_kernel.h"
#include "host/emulated_windows/system/emulated_registry.h"
#include "host/emulated_windows/system/emulated_shell.h"
#include "host/emulated_windows/system/windows_paths.h"
#include "host/host.h"

namespace tkw::emulated {

// OLE on the emulated machine: pictures from its drives, objects by registered ProgID.
class EmulatedOle final : public host::Ole {
 public:
  EmulatedOle(const std::filesystem::path& prefix, host::Registry& registry, EmulatedKernel& kernel,
              EmulatedGdi& gdi, EmulatedClipboard& clipboard, EmulatedGlobalMemory& memory);

  std::unique_ptr<host::Picture> LoadPicture(const std::wstring& path) override;
  long OleTranslateColor(std::uint32_t oleColor, host::Handle palette,
                         host::ColorRef* result) override;
  // Only a ProgID registered under HKEY_CLASSES_ROOT with a CLSID can be created. PowerPoint is
  // the machine's one PowerPoint: a second application object alive beside the first shares it.
  host::DispatchPtr CreateObject(const std::wstring& progId) override;
  // PowerPoint while it runs (PowerPoint::Running), as the user's PowerPoint registers itself in
  // the running object table; nothing else of the machine's ever runs on its own.
  long GetActiveObject(const std::wstring& progId, host::DispatchPtr* object) override;

 private:
  // CLSIDFromProgID: HKEY_CLASSES_ROOT\<ProgID>\CLSID is there.
  bool Registered(const std::wstring& progId);

  WindowsPaths paths_;
  host::Registry& registry_;
  EmulatedKernel& kernel_;
  EmulatedGdi& gdi_;
  EmulatedClipboard& clipboard_;
  PictureLoader pictures_;
  PowerPoint powerPoint_;
};

class EmulatedWindows final : public host::Host {
 public:
  // Malformed lines of the registry file are reported on `diagnostics`.
  explicit EmulatedWindows(const std::filesystem::path& prefix,
                           std::ostream& diagnostics = std::cerr);

  // TKW_PREFIX, or the folder "prefix" beside the executable.
  static std::filesystem::path DefaultPrefix();

  host::Registry& registry() override { return registry_; }
  host::Kernel& kernel() override { return kernel_; }
  host::GlobalMemory& memory() override { return memory_; }
  host::Shell& shell() override { return shell_; }
  host::Clipboard& clipboard() override { return clipboard_; }
  host::MessageWindows& windows() override { return windows_; }
  host::Gdi& gdi() override { return gdi_; }
  host::Ole& ole() override { return ole_; }

  EmulatedGdi& emulatedGdi() { return gdi_; }
  EmulatedMessageWindows& emulatedWindows() { return windows_; }
  EmulatedGlobalMemory& emulatedMemory() { return memory_; }
  EmulatedClipboard& emulatedClipboard() { return clipboard_; }

 private:
  EmulatedRegistry registry_;
  EmulatedKernel kernel_;
  EmulatedShell shell_;
  EmulatedGlobalMemory memory_;
  EmulatedGdi gdi_;
  EmulatedClipboard clipboard_;
  EmulatedMessageWindows windows_;
  EmulatedOle ole_;
};

}  // namespace tkw::emulated

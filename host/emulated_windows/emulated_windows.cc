#include "host/emulated_windows/emulated_windows.h"

#include <cstdlib>
#include <cwctype>

#include "host/emulated_windows/graphics/atl_clipboard.h"
#include "host/emulated_windows/graphics/ole_color.h"
#include "host/platform_host.h"
#include "host/runtime_error.h"

namespace tkw::emulated {

namespace {

bool SameProgId(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](wchar_t x, wchar_t y) { return std::towlower(x) == std::towlower(y); });
}

}  // namespace

EmulatedOle::EmulatedOle(const std::filesystem::path& prefix, host::Registry& registry,
                         EmulatedKernel& kernel, EmulatedGdi& gdi, EmulatedClipboard& clipboard,
                         EmulatedGlobalMemory& memory)
    : paths_(prefix),
      registry_(registry),
      kernel_(kernel),
      gdi_(gdi),
      clipboard_(clipboard),
      pictures_(gdi),
      powerPoint_(prefix / "powerpoint" / "commandbars.json", clipboard, memory) {}

std::unique_ptr<host::Picture> EmulatedOle::LoadPicture(const std::wstring& path) {
  const auto linuxPath = paths_.ToLinux(kernel_.WideToAnsi(path));
  if (!linuxPath)
    throw host::RuntimeError::PathNotFound();
  return pictures_.LoadPicture(*linuxPath);
}

long EmulatedOle::OleTranslateColor(std::uint32_t oleColor, host::Handle palette,
                                    host::ColorRef* result) {
  return emulated::OleTranslateColor(gdi_, oleColor, palette, result);
}

bool EmulatedOle::Registered(const std::wstring& progId) {
  host::ScopedRegistryKey registration(registry_);
  return registration.Open(host::kHkeyClassesRoot, kernel_.WideToAnsi(progId) + "\\CLSID") ==
         host::kErrorSuccess;
}

host::DispatchPtr EmulatedOle::CreateObject(const std::wstring& progId) {
  if (!Registered(progId))
    throw host::RuntimeError::CannotCreateObject();
  if (SameProgId(progId, L"PowerPoint.Application")) {
    if (!powerPoint_.Alive())
      kernel_.WaitForMutex(kPowerPointStartingMutex);
    return powerPoint_.Application();
  }
  if (SameProgId(progId, L"AtlClipBoard.Clipboard"))
    return CreateAtlClipboard(clipboard_, kernel_);
  // Registered, but no server for it on this machine.
  throw host::RuntimeError::CannotCreateObject();
}

long EmulatedOle::GetActiveObject(const std::wstring& progId, host::DispatchPtr* object) {
  if (!Registered(progId))
    return host::kCoEClassString;
  if (!SameProgId(progId, L"PowerPoint.Application") || !powerPoint_.Running())
    return host::kMkEUnavailable;
  try {
    *object = powerPoint_.Application();
    return host::kSOk;
  } catch (const host::RuntimeError&) {
    return host::kMkEUnavailable;  // its state went bad meanwhile: it cannot be running
  }
}

EmulatedWindows::EmulatedWindows(const std::filesystem::path& prefix, std::ostream& diagnostics)
    : registry_(prefix / "registry.reg", diagnostics),
      kernel_(prefix),
      shell_(prefix),
      clipboard_(prefix, memory_),
      ole_(prefix, registry_, kernel_, gdi_, clipboard_, memory_) {}

std::filesystem::path EmulatedWindows::DefaultPrefix() {
  if (const char* prefix = std::getenv("TKW_PREFIX"); prefix != nullptr && *prefix != '\0') {
    return prefix;
  }
  return std::filesystem::read_symlink("/proc/self/exe").parent_path() / "prefix";
}

}  // namespace tkw::emulated

namespace tkw::host {

std::unique_ptr<Host> MakePlatformHost() {
  return std::make_unique<emulated::EmulatedWindows>(emulated::EmulatedWindows::DefaultPrefix());
}

std::unique_ptr<Host> MakeMachineHost(const std::filesystem::path& prefix,
                                      std::ostream& diagnostics) {
  return std::make_unique<emulated::EmulatedWindows>(prefix, diagnostics);
}

std::filesystem::path ProgramMachinePrefix() {
  return emulated::EmulatedWindows::DefaultPrefix();
}

}  // namespace tkw::host

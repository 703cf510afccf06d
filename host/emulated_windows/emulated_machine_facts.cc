#include "host/emulated_windows/emulated_machine_facts.h"

#include <unistd.h>

#include <fstream>
#include <iterator>

#include "host/command_bars/command_bar_state.h"
#include "host/formats/pe_image.h"
#include "host/formats/windows_1252.h"
#include "host/runtime_error.h"

namespace tkw::emulated {
namespace {

constexpr wchar_t kPowerPoint[] = L"PowerPoint.Application";
constexpr wchar_t kClipboard[] = L"AtlClipBoard.Clipboard";

// Every server of the emulation runs in the program's own process, so it is the program's
// architecture, and needs no marshalling of Office's interfaces.
host::RegisteredFile Emulation(const wchar_t* what) {
  return {what, {host::ImageFile::State::kImage, host::Architecture::kX86, false}};
}

}  // namespace

EmulatedMachineFacts::EmulatedMachineFacts(const std::filesystem::path& prefix,
                                           std::ostream& diagnostics)
    : registry_(prefix / "registry.reg", diagnostics),
      paths_(prefix),
      powerPointState_(prefix / "powerpoint" / "commandbars.json") {}

std::optional<std::wstring> EmulatedMachineFacts::ClassOf(const std::wstring& progId) {
  host::ScopedRegistryKey key(registry_);
  if (key.Open(host::kHkeyClassesRoot, formats::WideToAnsi(progId) + "\\CLSID") !=
      host::kErrorSuccess)
    return std::nullopt;
  std::uint8_t data[256] = {};
  std::uint32_t type = 0, size = sizeof data - 1;
  if (registry_.RegQueryValueExA(key.get(), "", &type, data, &size) != host::kErrorSuccess)
    return std::wstring();
  return formats::AnsiToWide(std::string(reinterpret_cast<const char*>(data)));
}

std::optional<host::RegisteredFile> EmulatedMachineFacts::Server(host::RegistryView view,
                                                                 const std::wstring& clsid,
                                                                 bool inProcess) {
  if (view != host::RegistryView::kProgram)
    return std::nullopt;
  if (!inProcess && ClassOf(kPowerPoint) == clsid)
    return Emulation(L"the emulated PowerPoint");
  if (inProcess && ClassOf(kClipboard) == clsid)
    return Emulation(L"the emulated clipboard-backup component");
  return std::nullopt;
}

std::optional<host::InterfaceRegistration> EmulatedMachineFacts::Interface(
    host::RegistryView view, const std::wstring& /*iid*/) {
  if (view != host::RegistryView::kProgram || !ClassOf(kPowerPoint))
    return std::nullopt;
  return host::InterfaceRegistration{true, Emulation(L"the emulated PowerPoint")};
}

host::RunningProcess EmulatedMachineFacts::Self() {
  return {static_cast<std::uint32_t>(::getpid()), kSession,
          host::ProcessIdentity{L"the emulated machine's user", false, false}};
}

std::vector<host::RunningProcess> EmulatedMachineFacts::PowerPoints() {
  // The user's PowerPoint runs while its state says so, as the machine's one user.
  try {
    if (ClassOf(kPowerPoint) && command_bars::LoadCommandBars(powerPointState_).running())
      return {{0, kSession, Self().identity}};
  } catch (const host::RuntimeError&) {
    // A state that cannot be read is no running PowerPoint, as the emulated OLE finds too.
  }
  return {};
}

std::wstring EmulatedMachineFacts::ExecutableFolder() {
  return formats::AnsiToWide(emulated::ExecutableFolder());
}

std::wstring EmulatedMachineFacts::ProgramFile() {
  // The Linux build's program, beside its tools.
  return ExecutableFolder() + L"\\tkwPPTToolbarAdder";
}

host::WriteAccess EmulatedMachineFacts::Access(const std::wstring& path) {
  const auto onLinux = paths_.ToLinux(formats::WideToAnsi(path));
  std::error_code error;
  if (!onLinux || !std::filesystem::exists(*onLinux, error))
    return host::WriteAccess::kMissing;
  const int wanted = std::filesystem::is_directory(*onLinux, error) ? W_OK | X_OK : W_OK;
  return ::access(onLinux->c_str(), wanted) == 0 ? host::WriteAccess::kWritable
                                                 : host::WriteAccess::kRefused;
}

host::ImageFile EmulatedMachineFacts::Inspect(const std::wstring& path) {
  const auto onLinux = paths_.ToLinux(formats::WideToAnsi(path));
  std::error_code error;
  if (!onLinux || !std::filesystem::is_regular_file(*onLinux, error))
    return {};
  std::ifstream in(*onLinux, std::ios::binary);
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  return formats::ImageFileOf(bytes);
}

}  // namespace tkw::emulated

namespace tkw::host {

std::unique_ptr<MachineFacts> MakeMachineFacts(const std::filesystem::path& prefix,
                                               std::ostream& diagnostics) {
  return std::make_unique<emulated::EmulatedMachineFacts>(prefix, diagnostics);
}

}  // namespace tkw::host

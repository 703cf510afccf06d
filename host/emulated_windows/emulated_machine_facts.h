// The facts of the emulated machine that tkwcheck --machine judges, as far as it has them. It is
// a 32-bit Windows with one registry view and no UAC, one user in one session, Windows-1252; its
// PowerPoint and clipboard-backup component are the emulation's own, in the program's process,
// there for the program whenever their ProgIDs are registered.
#pragma once

#include <filesystem>

#include "host/emulated_windows/system/emulated_registry.h"
#include "host/emulated_windows/system/windows_paths.h"
#include "host/machine_facts.h"

namespace tkw::emulated {

class EmulatedMachineFacts final : public host::MachineFacts {
 public:
  // Malformed lines of the registry file are reported on `diagnostics`.
  EmulatedMachineFacts(const std::filesystem::path& prefix, std::ostream& diagnostics);

  host::Architecture ProgramArchitecture() override { return host::Architecture::kX86; }
  bool HasOtherView() override { return false; }
  std::optional<std::wstring> ClassOf(const std::wstring& progId) override;
  std::optional<host::RegisteredFile> Server(host::RegistryView view, const std::wstring& clsid,
                                             bool inProcess) override;
  std::optional<host::InterfaceRegistration> Interface(host::RegistryView view,
                                                       const std::wstring& iid) override;
  host::RunningProcess Self() override;
  std::uint32_t ConsoleSession() override { return kSession; }
  std::vector<host::RunningProcess> PowerPoints() override;
  std::uint32_t AnsiCodePage() override { return 1252; }
  std::wstring ExecutableFolder() override;
  std::wstring ProgramFile() override;
  host::WriteAccess Access(const std::wstring& path) override;
  host::ImageFile Inspect(const std::wstring& path) override;
  bool VirtualizationAllowed() override { return false; }
  std::vector<std::wstring> VirtualizedFolders() override { return {}; }
  std::wstring LocalAppData() override { return {}; }

 private:
  static constexpr std::uint32_t kSession = 1;

  EmulatedRegistry registry_;
  WindowsPaths paths_;
  std::filesystem::path powerPointState_;
};

}  // namespace tkw::emulated

// The facts tkwcheck --machine judges, from this Windows machine: the classes and interfaces
// in both registry views, the token and session of this process and of PowerPoint's, the ANSI
// code page, and the rights of this user on the folder beside the executable.
#pragma once

#include <windows.h>

#include "host/machine_facts.h"

namespace tkw::win32 {

class MachineFacts final : public host::MachineFacts {
 public:
  host::Architecture ProgramArchitecture() override;
  bool HasOtherView() override;
  std::optional<std::wstring> ClassOf(const std::wstring& progId) override;
  std::optional<host::RegisteredFile> Server(host::RegistryView view, const std::wstring& clsid,
                                             bool inProcess) override;
  std::optional<host::InterfaceRegistration> Interface(host::RegistryView view,
                                                       const std::wstring& iid) override;
  host::RunningProcess Self() override;
  std::uint32_t ConsoleSession() override;
  std::vector<host::RunningProcess> PowerPoints() override;
  std::uint32_t AnsiCodePage() override;
  std::wstring ExecutableFolder() override;
  std::wstring ProgramFile() override;
  host::WriteAccess Access(const std::wstring& path) override;
  host::ImageFile Inspect(const std::wstring& path) override;
  bool VirtualizationAllowed() override;
  std::vector<std::wstring> VirtualizedFolders() override;
  std::wstring LocalAppData() override;

  // The file a LocalServer32 command line starts, resolved as CreateProcess resolves an
  // unquoted one with blanks: the shortest leading part that names an existing file (with
  // ".exe" added when it has no extension); when none does, the part up to the first ".exe".
  // Apart so that it can be tested.
  static std::wstring CommandLineFile(const std::wstring& commandLine);

 private:
  // `path` as a program of `view`'s architecture finds it: the system folder it names is
  // another for a program of the other architecture.
  std::wstring AsSeenFrom(host::RegistryView view, const std::wstring& path);
  REGSAM ViewFlag(host::RegistryView view);
};

}  // namespace tkw::win32

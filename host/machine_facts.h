// What a look at a whole machine needs beyond the program's own calls (tkwcheck --machine): how
// COM would find the components a run creates for a program of this build's architecture, who
// and where this process and PowerPoint run, the ANSI code page, and what the folder beside the
// executable lets this user do.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tkw::host {

enum class Architecture { kUnknown, kX86, kX64 };

// 64-bit Windows keeps HKEY_CLASSES_ROOT's CLSID and Interface keys apart for 32-bit and 64-bit
// programs: the program's view, and the other one (none on 32-bit Windows).
enum class RegistryView { kProgram, kOther };

// A file a registration names, as it is on disk.
struct ImageFile {
  enum class State { kMissing, kNotAnImage, kImage };
  State state = State::kMissing;
  Architecture architecture = Architecture::kUnknown;  // of an image
  // Its manifest, embedded or beside it, names a requestedExecutionLevel: UAC never
  // virtualizes such a program.
  bool declaresExecutionLevel = false;
};

// The file a server's registration names (LocalServer32's command line, InprocServer32's DLL),
// or a type library's.
struct RegisteredFile {
  std::wstring path;
  ImageFile image;
};

// Interface\{IID} in one view: what marshals the interface across processes.
struct InterfaceRegistration {
  bool proxyStub = false;                     // ProxyStubClsid32 is set
  std::optional<RegisteredFile> typeLibrary;  // its TypeLib's file for the view's architecture
};

// Who a process runs as, as far as COM and UAC care.
struct ProcessIdentity {
  std::wstring user;  // DOMAIN\name
  bool elevated = false;
  bool system = false;  // LocalSystem, as services and deployment agents run
};

struct RunningProcess {
  std::uint32_t id = 0;
  std::uint32_t session = 0;
  std::optional<ProcessIdentity> identity;  // none when this user may not look into it
};

// Whether this user may write a file, or make files in a folder.
enum class WriteAccess { kMissing, kWritable, kRefused };

class MachineFacts {
 public:
  virtual ~MachineFacts() = default;

  // This build's architecture, which the program beside tkwcheck shares, and whether there is
  // a registry view of the other architecture.
  virtual Architecture ProgramArchitecture() = 0;
  virtual bool HasOtherView() = 0;

  // HKEY_CLASSES_ROOT\<progId>\CLSID, a key both views share; nullopt when not registered.
  virtual std::optional<std::wstring> ClassOf(const std::wstring& progId) = 0;
  // CLSID\<clsid>\LocalServer32 (`inProcess` false) or InprocServer32 in `view`: the file it
  // names; nullopt when the key is not there.
  virtual std::optional<RegisteredFile> Server(RegistryView view, const std::wstring& clsid,
                                               bool inProcess) = 0;
  // Interface\<iid> in `view`; nullopt when the key is not there.
  virtual std::optional<InterfaceRegistration> Interface(RegistryView view,
                                                         const std::wstring& iid) = 0;

  // This process, whose identity is always known.
  virtual RunningProcess Self() = 0;
  // The session of the user at the console, which sees its message boxes.
  virtual std::uint32_t ConsoleSession() = 0;
  // The processes of PowerPoint's registered server on this machine, every session's.
  virtual std::vector<RunningProcess> PowerPoints() = 0;

  virtual std::uint32_t AnsiCodePage() = 0;

  // The folder of the running executable, and the program in it (tkwPPTToolbarAdder.exe), as
  // Windows paths; then what is at a Windows path.
  virtual std::wstring ExecutableFolder() = 0;
  virtual std::wstring ProgramFile() = 0;
  virtual WriteAccess Access(const std::wstring& path) = 0;
  virtual ImageFile Inspect(const std::wstring& path) = 0;
  // Whether UAC virtualizes the files of this user's 32-bit programs that declare no execution
  // level (UAC on, the user not elevated, and not a service), and the folders it does it below.
  virtual bool VirtualizationAllowed() = 0;
  virtual std::vector<std::wstring> VirtualizedFolders() = 0;
  // %LOCALAPPDATA%, whose VirtualStore holds the files virtualized for this user; empty when
  // the machine has none.
  virtual std::wstring LocalAppData() = 0;
};

}  // namespace tkw::host

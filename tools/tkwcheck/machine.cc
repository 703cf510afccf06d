#include "tools/tkwcheck/machine.h"

#include <cwctype>
#include <optional>

#include "host/formats/utf8.h"

namespace tkw::check {
namespace {

using host::Architecture;
using host::ImageFile;
using host::RegisteredFile;
using host::RegistryView;

constexpr wchar_t kPowerPoint[] = L"PowerPoint.Application";
constexpr wchar_t kClipboard[] = L"AtlClipBoard.Clipboard";

// The interfaces of PowerPoint and Office a client early-bound to them asks for across processes.
struct OfficeInterface {
  const wchar_t* iid;
  const char* name;
};
constexpr OfficeInterface kOfficeInterfaces[] = {
    {L"{000C0302-0000-0000-C000-000000000046}", "_CommandBars"},
    {L"{000C0304-0000-0000-C000-000000000046}", "CommandBar"},
    {L"{000C0306-0000-0000-C000-000000000046}", "CommandBarControls"},
    {L"{000C0308-0000-0000-C000-000000000046}", "CommandBarControl"},
    {L"{000C030A-0000-0000-C000-000000000046}", "CommandBarPopup"},
    {L"{000C030E-0000-0000-C000-000000000046}", "CommandBarButton"},
    {L"{91493442-5A91-11CF-8700-00AA0060263B}", "PowerPoint's _Application"},
};

std::string Utf8(const std::wstring& text) {
  return formats::WideToUtf8(text);
}

const char* Bits(Architecture architecture) {
  switch (architecture) {
    case Architecture::kX86:
      return "32-bit";
    case Architecture::kX64:
      return "64-bit";
    case Architecture::kUnknown:
      break;
  }
  return "other";
}

Architecture Other(Architecture architecture) {
  return architecture == Architecture::kX86 ? Architecture::kX64 : Architecture::kX86;
}

// The regsvr32 that registers a DLL for programs of `architecture`, as a program of that
// architecture names it.
const char* Regsvr32For(Architecture program, bool sixtyFourBitWindows) {
  return program == Architecture::kX86 && sixtyFourBitWindows
             ? "%SystemRoot%\\SysWOW64\\regsvr32.exe"
             : "%SystemRoot%\\System32\\regsvr32.exe";
}

class Judge {
 public:
  Judge(host::MachineFacts& facts, bool logging)
      : facts_(facts),
        logging_(logging),
        program_(facts.ProgramArchitecture()),
        bits_(Bits(program_)),
        otherBits_(Bits(Other(program_))) {}

  std::vector<Finding> Findings() {
    if (PowerPoint())
      OfficeInterfaces();
    ClipboardComponent();
    const bool inUsersSession = ThisProcess();
    if (inUsersSession)
      RunningPowerPoints();
    CodePage();
    Folder();
    return std::move(findings_);
  }

 private:
  void Add(Severity severity, const std::string& rule, const std::string& message) {
    findings_.push_back({Place{}, severity, message, rule});
  }

  // The server of `clsid` for the program's view, else for the other one; which view holds it.
  std::optional<RegisteredFile> ServerOf(const std::wstring& clsid, bool inProcess,
                                         RegistryView& view) {
    view = RegistryView::kProgram;
    if (auto own = facts_.Server(RegistryView::kProgram, clsid, inProcess))
      return own;
    view = RegistryView::kOther;
    if (facts_.HasOtherView())
      return facts_.Server(RegistryView::kOther, clsid, inProcess);
    return std::nullopt;
  }

  // Whether PowerPoint can be started at all, which Office's interfaces only then matter for.
  bool PowerPoint() {
    const std::optional<std::wstring> clsid = facts_.ClassOf(kPowerPoint);
    if (!clsid) {
      Add(Severity::kError, "powerpoint-not-registered",
          "PowerPoint is not installed: \"PowerPoint.Application\" is not registered, so a run "
          "starts no PowerPoint and adds nothing");
      return false;
    }
    RegistryView view;
    const std::optional<RegisteredFile> server = ServerOf(*clsid, false, view);
    if (!server) {
      Add(Severity::kError, "powerpoint-not-registered",
          "\"PowerPoint.Application\" names the class " + Utf8(*clsid) +
              ", which has no LocalServer32 for any program: COM cannot start PowerPoint, so a "
              "run adds nothing");
      return false;
    }
    const std::string path = Utf8(server->path);
    if (server->image.state == ImageFile::State::kMissing) {
      Add(Severity::kError, "powerpoint-server-missing",
          "PowerPoint's server " + path +
              " does not exist: COM cannot start PowerPoint, so a run adds nothing");
      return false;
    }
    if (server->image.state == ImageFile::State::kNotAnImage) {
      Add(Severity::kWarning, "powerpoint-server-unknown",
          "PowerPoint's server " + path +
              " is not a Windows program that tkwcheck can read: whether COM can start it is "
              "not known");
      return true;
    }
    const Architecture serverBits = server->image.architecture;
    std::string message;
    if (view == RegistryView::kProgram) {
      message = "PowerPoint is registered for " + std::string(bits_) + " programs: " + path +
                ", a " + Bits(serverBits) + " program";
    } else {
      message = "PowerPoint is registered only for " + std::string(otherBits_) +
                " programs: " + path + ", a " + Bits(serverBits) +
                " program, which COM starts for the " + bits_ +
                " program all the same, having no other";
    }
    if (serverBits != program_) {
      message +=
          "; its calls cross between the two architectures over IDispatch, which Windows "
          "marshals for both";
    }
    Add(Severity::kNote, "powerpoint-registered", message);
    return true;
  }

  void OfficeInterfaces() {
    std::string missing;
    for (const OfficeInterface& known : kOfficeInterfaces) {
      const auto registration = facts_.Interface(RegistryView::kProgram, known.iid);
      const bool marshalled = registration && registration->proxyStub &&
                              registration->typeLibrary &&
                              registration->typeLibrary->image.state != ImageFile::State::kMissing;
      if (!marshalled)
        missing += (missing.empty() ? "" : ", ") + std::string(known.name);
    }
    const std::string win = program_ == Architecture::kX64 ? "win64" : "win32";
    if (missing.empty()) {
      Add(Severity::kNote, "office-interfaces",
          "Office's command-bar interfaces and PowerPoint's _Application are registered for " +
              std::string(bits_) + " programs, with their type library's " + win + " file");
      return;
    }
    Add(Severity::kWarning, "office-interfaces",
        "Office's interfaces " + missing + " are not registered for " + bits_ +
            " programs (HKEY_CLASSES_ROOT\\Interface\\{IID} in the " + bits_ +
            " view, with ProxyStubClsid32 and a type library with an existing " + win +
            " file), as beside " + otherBits_ +
            " Office: the program copes, needing only IDispatch and telling a button from a "
            "pop-up by the object's type information; other " +
            bits_ + " tools and add-ins that ask PowerPoint for these interfaces fail");
  }

  void ClipboardComponent() {
    constexpr char kLost[] =
        ": every run logs \"AtlClipBoard object not obtained\" for each face, and the user's "
        "clipboard is lost, holding the last button face";
    const std::optional<std::wstring> clsid = facts_.ClassOf(kClipboard);
    if (!clsid) {
      Add(Severity::kError, "clipboard-not-registered",
          "the clipboard-backup component \"AtlClipBoard.Clipboard\" is not registered" +
              std::string(kLost));
      return;
    }
    RegistryView view;
    const std::optional<RegisteredFile> server = ServerOf(*clsid, true, view);
    const std::string registerIt = "; register it for " + std::string(bits_) + " programs (" +
                                   Regsvr32For(program_, facts_.HasOtherView()) + ")";
    if (!server) {
      Add(Severity::kError, "clipboard-not-registered",
          "\"AtlClipBoard.Clipboard\" names the class " + Utf8(*clsid) +
              ", which has no InprocServer32 for any program" + kLost);
      return;
    }
    const std::string path = Utf8(server->path);
    if (view == RegistryView::kOther) {
      Add(Severity::kError, "clipboard-other-architecture",
          "the clipboard-backup component \"AtlClipBoard.Clipboard\" is registered only for " +
              std::string(otherBits_) + " programs (" + path +
              "), and a DLL loads only into a program of its own architecture" + kLost +
              registerIt);
      return;
    }
    if (server->image.state == ImageFile::State::kMissing) {
      Add(Severity::kError, "clipboard-not-loadable",
          "the clipboard-backup component's DLL " + path + " does not exist" + kLost);
      return;
    }
    if (server->image.state == ImageFile::State::kNotAnImage ||
        server->image.architecture != program_) {
      const std::string what = server->image.state == ImageFile::State::kNotAnImage
                                   ? "not a DLL"
                                   : "a " + std::string(Bits(server->image.architecture)) + " DLL";
      Add(Severity::kError, "clipboard-not-loadable",
          "the clipboard-backup component is registered for " + std::string(bits_) +
              " programs with " + path + ", " + what + " that a " + bits_ + " program cannot load" +
              kLost);
      return;
    }
    Add(Severity::kNote, "clipboard-component",
        "the clipboard-backup component \"AtlClipBoard.Clipboard\" is registered for " +
            std::string(bits_) + " programs: " + path + ", a " + bits_ + " DLL");
  }

  // Whether this process runs in a user's session, where PowerPoint's processes are worth a look.
  bool ThisProcess() {
    self_ = facts_.Self();
    if (!self_.identity)
      self_.identity.emplace();
    const std::uint32_t console = facts_.ConsoleSession();
    const std::string consoleText =
        console == 0xFFFFFFFF ? "" : " (the console's is session " + std::to_string(console) + ")";
    constexpr char kWhy[] =
        ": a run from here starts its own PowerPoint in session 0, unseen and not supported by "
        "Office, adds the buttons to it and not to the user's, and its message boxes are never "
        "seen; run the program in the user's session, at log-on or as PowerPoint starts";
    if (self_.identity->system) {
      Add(Severity::kError, "system-account",
          "this look runs as SYSTEM, as deployment tools and services run programs, in session " +
              std::to_string(self_.session) + consoleText + kWhy);
      return false;
    }
    if (self_.session == 0) {
      Add(Severity::kError, "session-0",
          "this look runs in session 0, the services' session, not a user's" + consoleText + kWhy);
      return false;
    }
    Add(Severity::kNote, "session",
        "this look runs in a user's session (" + std::to_string(self_.session) +
            "), not as SYSTEM" +
            (self_.identity->elevated
                 ? ", and elevated: it sees the folder and PowerPoint as an elevated "
                   "program does; run it as the user, not elevated, to see what the "
                   "program meets"
                 : ""));
    return true;
  }

  void RunningPowerPoints() {
    bool seen = false;
    for (const host::RunningProcess& process : facts_.PowerPoints()) {
      if (process.session != self_.session)
        continue;  // another user's session, with its own PowerPoint
      seen = true;
      const std::string id = "process " + std::to_string(process.id);
      constexpr char kSecond[] =
          ": the program cannot reach it, COM starts a second PowerPoint for the run, and what "
          "the run adds never reaches the user's";
      if (!process.identity) {
        Add(Severity::kWarning, "powerpoint-unseen",
            "a PowerPoint runs that this user may not look into (" + id +
                "): another user's or an elevated one" + kSecond);
      } else if (process.identity->user != self_.identity->user) {
        Add(Severity::kWarning, "powerpoint-other-user",
            "PowerPoint runs in this session as " + Utf8(process.identity->user) + " (" + id +
                "), not as " + Utf8(self_.identity->user) + kSecond);
      } else if (process.identity->elevated != self_.identity->elevated) {
        Add(Severity::kWarning, "powerpoint-elevated",
            std::string(process.identity->elevated ? "PowerPoint runs elevated and this look does "
                                                     "not"
                                                   : "this look runs elevated and PowerPoint does "
                                                     "not") +
                " (" + id + "); an elevated and a plain program do not see each other's objects" +
                kSecond);
      } else {
        Add(Severity::kNote, "powerpoint-running",
            "PowerPoint runs in this session as this user, at this level: a run adds to it");
      }
    }
    if (!seen) {
      Add(Severity::kNote, "powerpoint-running",
          "PowerPoint is not running in this session: a run starts it for its work");
    }
  }

  void CodePage() {
    const std::uint32_t page = facts_.AnsiCodePage();
    const std::string number = std::to_string(page);
    if (page == 1252) {
      Add(Severity::kNote, "code-page",
          "the ANSI code page is 1252 (Windows-1252), as the examples and tkwcheck's checks of "
          "the definitions assume");
    } else if (page == 65001) {
      Add(Severity::kNote, "code-page",
          "the ANSI code page is 65001 (UTF-8): every character of the definitions reaches "
          "PowerPoint and the log is UTF-8; tkwcheck's not-windows-1252 findings do not apply "
          "here");
    } else {
      Add(Severity::kWarning, "code-page",
          "the ANSI code page is " + number +
              ", neither 1252 nor UTF-8: a character of the definitions outside it becomes '?' "
              "in captions, tooltips, folders and the log, and tkwcheck checks the definitions "
              "against Windows-1252, not against this code page");
    }
  }

  static bool Below(const std::wstring& path, const std::wstring& folder) {
    if (folder.empty() || path.size() < folder.size())
      return false;
    for (std::size_t i = 0; i < folder.size(); ++i) {
      if (std::towlower(path[i]) != std::towlower(folder[i]))
        return false;
    }
    return path.size() == folder.size() || path[folder.size()] == L'\\' || folder.back() == L'\\';
  }

  // Why UAC does not redirect the program's files in `folder`, or "" when it does.
  std::string NotVirtualized(const std::wstring& folder, Architecture program, bool declaresLevel) {
    if (!facts_.VirtualizationAllowed())
      return "UAC virtualization is off for this user (switched off, elevated, or a service)";
    if (program != Architecture::kX86)
      return "UAC never virtualizes a " + std::string(Bits(program)) + " program";
    if (declaresLevel)
      return "the program's manifest declares its execution level, which turns UAC "
             "virtualization off";
    for (const std::wstring& virtualized : facts_.VirtualizedFolders()) {
      if (Below(folder, virtualized))
        return "";
    }
    return "UAC virtualizes only what lies below Program Files, ProgramData and Windows";
  }

  void Folder() {
    const std::wstring folder = facts_.ExecutableFolder();
    const std::wstring slash = folder.ends_with(L'\\') ? L"" : L"\\";
    const std::wstring log = folder + slash + kLogFileName;
    const std::wstring marker = folder + slash + kMarkerFileName;
    const std::string where = Utf8(folder);
    const std::string loggingText = logging_ ? "" : "; logging is off, so no log is written";
    const bool writable = facts_.Access(folder) == host::WriteAccess::kWritable &&
                          facts_.Access(log) != host::WriteAccess::kRefused &&
                          facts_.Access(marker) != host::WriteAccess::kRefused;
    if (writable) {
      Add(Severity::kNote, "folder-writable",
          "the log and the marker are written beside the program, in " + where + loggingText);
      return;
    }
    const ImageFile program = facts_.Inspect(facts_.ProgramFile());
    const Architecture architecture =
        program.state == ImageFile::State::kImage ? program.architecture : program_;
    const std::string why = NotVirtualized(folder, architecture, program.declaresExecutionLevel);
    const std::wstring store = VirtualStorePath(facts_.LocalAppData(), folder);
    if (why.empty() && !store.empty()) {
      const std::wstring storeSlash = store.ends_with(L'\\') ? L"" : L"\\";
      Add(Severity::kWarning, "virtual-store",
          "this user may not write to " + where +
              ", and UAC virtualization redirects the 32-bit program's files to the user's "
              "VirtualStore: the log lands in " +
              Utf8(store + storeSlash + kLogFileName) + " and the marker in " +
              Utf8(store + storeSlash + kMarkerFileName) +
              ", seen there only by this user's virtualized programs (tkwcheck --log finds the "
              "log)" +
              loggingText);
      return;
    }
    const std::string because = " (" + (why.empty() ? std::string("no VirtualStore") : why) + ")";
    if (logging_) {
      Add(Severity::kError, "folder-refused",
          "this user may not write to " + where + because +
              ": with logging on, every run shows a message box \"RLSToolbarAdder\" saying "
              "\"StartLogging: Permission denied\", and leaves neither a log nor its marker");
    } else {
      Add(Severity::kWarning, "folder-refused",
          "this user may not write to " + where + because +
              ": a run leaves no marker; logging is off, so no message box appears");
    }
  }

  host::MachineFacts& facts_;
  bool logging_;
  Architecture program_;
  const char* bits_;
  const char* otherBits_;
  host::RunningProcess self_;
  std::vector<Finding> findings_;
};

}  // namespace

std::vector<Finding> JudgeMachine(host::MachineFacts& facts, bool logging) {
  return Judge(facts, logging).Findings();
}

std::wstring VirtualStorePath(const std::wstring& localAppData, const std::wstring& path) {
  const bool drive = path.size() >= 2 && std::iswalpha(path[0]) && path[1] == L':';
  if (localAppData.empty() || !drive)
    return {};
  std::wstring rest = path.substr(2);
  while (!rest.empty() && rest.front() == L'\\')
    rest.erase(0, 1);
  std::wstring store = localAppData;
  if (!store.ends_with(L'\\'))
    store += L'\\';
  store += L"VirtualStore";
  return rest.empty() ? store : store + L'\\' + rest;
}

}  // namespace tkw::check

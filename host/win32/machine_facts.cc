#include "host/win32/machine_facts.h"

#include <sddl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cwctype>
#include <memory>
#include <string_view>
#include <vector>

#include "host/formats/pe_image.h"
#include "host/platform_host.h"
#include "host/win32/handles.h"
#include "host/win32/open_key.h"

namespace tkw::win32 {
namespace {

using host::RegistryView;

constexpr wchar_t kPowerPoint[] = L"PowerPoint.Application";
// The largest file read whole for its manifest; of a larger one only the headers count.
constexpr LONGLONG kLargestImage = 64 << 20;

std::wstring Environment(const wchar_t* name) {
  const DWORD length = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (length == 0)
    return {};
  std::wstring value(length, L'\0');
  value.resize(::GetEnvironmentVariableW(name, value.data(), length));
  return value;
}

bool IsFile(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool SameText(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](wchar_t x, wchar_t y) { return std::towlower(x) == std::towlower(y); });
}

template <typename T>
std::optional<T> TokenFact(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
  T value{};
  DWORD size = 0;
  if (!::GetTokenInformation(token, kind, &value, sizeof value, &size))
    return std::nullopt;
  return value;
}

std::optional<host::ProcessIdentity> IdentityOf(HANDLE process) {
  KernelHandle token;
  if (!::OpenProcessToken(process, TOKEN_QUERY, token.put()))
    return std::nullopt;
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<std::uint8_t> buffer(size);
  if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size))
    return std::nullopt;
  const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  host::ProcessIdentity identity;
  wchar_t name[256], domain[256];
  DWORD nameLength = 256, domainLength = 256;
  SID_NAME_USE use;
  if (::LookupAccountSidW(nullptr, sid, name, &nameLength, domain, &domainLength, &use)) {
    identity.user = std::wstring(domain) + L"\\" + name;
  } else {
    wchar_t* text = nullptr;
    if (::ConvertSidToStringSidW(sid, &text)) {
      identity.user = text;
      ::LocalFree(text);
    }
  }
  identity.system = ::IsWellKnownSid(sid, WinLocalSystemSid);
  const auto elevation = TokenFact<TOKEN_ELEVATION>(token.get(), TokenElevation);
  identity.elevated = elevation && elevation->TokenIsElevated;
  return identity;
}

std::vector<std::uint8_t> ReadFileBytes(const std::wstring& path) {
  const KernelHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file || !::GetFileSizeEx(file.get(), &size))
    return {};
  // The headers fit in the first pages; the manifest is wanted only of a program's size.
  std::vector<std::uint8_t> bytes(
      static_cast<std::size_t>(size.QuadPart > kLargestImage ? 4096 : size.QuadPart));
  DWORD read = 0;
  std::size_t done = 0;
  while (done < bytes.size() &&
         ::ReadFile(file.get(), bytes.data() + done,
                    static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20)), &read,
                    nullptr) &&
         read > 0)
    done += read;
  bytes.resize(done);
  return bytes;
}

}  // namespace

host::Architecture MachineFacts::ProgramArchitecture() {
  return sizeof(void*) == 8 ? host::Architecture::kX64 : host::Architecture::kX86;
}

bool MachineFacts::HasOtherView() {
  return HasOtherRegistryView();
}

REGSAM MachineFacts::ViewFlag(RegistryView view) {
  const bool sixtyFour = (view == RegistryView::kProgram) == (sizeof(void*) == 8);
  return sixtyFour ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

std::wstring MachineFacts::AsSeenFrom(RegistryView view, const std::wstring& path) {
  if (view == RegistryView::kProgram || !HasOtherView())
    return path;
  // A 32-bit program's System32 is SysWOW64; a 32-bit one reaches the 64-bit System32 as
  // Sysnative.
  const std::wstring windows = Environment(L"SystemRoot");
  const std::wstring system = windows + L"\\System32\\";
  if (windows.empty() || path.size() < system.size() ||
      !SameText(std::wstring_view(path).substr(0, system.size()), system))
    return path;
  return windows + (sizeof(void*) == 8 ? L"\\SysWOW64\\" : L"\\Sysnative\\") +
         path.substr(system.size());
}

std::wstring MachineFacts::CommandLineFile(const std::wstring& commandLine) {
  std::wstring line = commandLine;
  line.erase(0, line.find_first_not_of(L" \t"));
  if (!line.empty() && line.front() == L'"') {
    const std::size_t end = line.find(L'"', 1);
    return line.substr(1, end == std::wstring::npos ? std::wstring::npos : end - 1);
  }
  for (std::size_t end = line.find(L' ');; end = line.find(L' ', end + 1)) {
    const std::wstring part = line.substr(0, end);
    if (IsFile(part))
      return part;
    const std::size_t name = part.find_last_of(L'\\');
    if (part.find(L'.', name == std::wstring::npos ? 0 : name) == std::wstring::npos &&
        IsFile(part + L".exe"))
      return part + L".exe";
    if (end == std::wstring::npos)
      break;
  }
  std::wstring lower = line;
  for (wchar_t& c : lower)
    c = static_cast<wchar_t>(std::towlower(c));
  const std::size_t exe = lower.find(L".exe");
  return exe == std::wstring::npos ? line : line.substr(0, exe + 4);
}

std::optional<std::wstring> MachineFacts::ClassOf(const std::wstring& progId) {
  const OpenKey key(HKEY_CLASSES_ROOT, progId + L"\\CLSID", ViewFlag(RegistryView::kProgram));
  if (!key)
    return std::nullopt;
  return key.String(L"").value_or(L"");
}

std::optional<host::RegisteredFile> MachineFacts::Server(RegistryView view,
                                                         const std::wstring& clsid,
                                                         bool inProcess) {
  if (clsid.empty() || (view == RegistryView::kOther && !HasOtherView()))
    return std::nullopt;
  const OpenKey key(HKEY_CLASSES_ROOT,
                    L"CLSID\\" + clsid + (inProcess ? L"\\InprocServer32" : L"\\LocalServer32"),
                    ViewFlag(view));
  if (!key)
    return std::nullopt;
  const std::wstring value = key.String(L"").value_or(L"");
  // InprocServer32 names the DLL alone, quoted or not, blanks and all.
  std::wstring path = value;
  if (inProcess) {
    path.erase(0, path.find_first_not_of(L" \t\""));
    path.erase(path.find_last_not_of(L" \t\"") + 1);
  } else {
    path = CommandLineFile(value);
  }
  if (inProcess && !path.empty() && path.find(L'\\') == std::wstring::npos) {
    // A bare DLL name is found on the loader's path, as the system's own components are.
    wchar_t found[MAX_PATH];
    if (::SearchPathW(nullptr, path.c_str(), nullptr, MAX_PATH, found, nullptr) > 0)
      path = found;
  }
  return host::RegisteredFile{path, Inspect(AsSeenFrom(view, path))};
}

std::optional<host::InterfaceRegistration> MachineFacts::Interface(RegistryView view,
                                                                   const std::wstring& iid) {
  if (view == RegistryView::kOther && !HasOtherView())
    return std::nullopt;
  const std::wstring path = L"Interface\\" + iid;
  if (!OpenKey(HKEY_CLASSES_ROOT, path, ViewFlag(view)))
    return std::nullopt;
  host::InterfaceRegistration registration;
  registration.proxyStub = !OpenKey(HKEY_CLASSES_ROOT, path + L"\\ProxyStubClsid32", ViewFlag(view))
                                .String(L"")
                                .value_or(L"")
                                .empty();
  const OpenKey typeLib(HKEY_CLASSES_ROOT, path + L"\\TypeLib", ViewFlag(view));
  const std::wstring library = typeLib.String(L"").value_or(L"");
  if (library.empty())
    return registration;
  // TypeLib\{LIBID}\<version>\<LCID>\win32 or win64, in a key both views share.
  const OpenKey versions(HKEY_CLASSES_ROOT, L"TypeLib\\" + library, 0);
  std::wstring version = typeLib.String(L"Version").value_or(L"");
  if (version.empty() && !versions.Subkeys().empty())
    version = versions.Subkeys().back();
  const std::wstring platform =
      (view == RegistryView::kProgram) == (sizeof(void*) == 8) ? L"win64" : L"win32";
  const std::wstring versionKey = L"TypeLib\\" + library + L"\\" + version;
  for (const std::wstring& locale : OpenKey(HKEY_CLASSES_ROOT, versionKey, 0).Subkeys()) {
    const auto file =
        OpenKey(HKEY_CLASSES_ROOT, versionKey + L"\\" + locale + L"\\" + platform, 0).String(L"");
    if (!file)
      continue;
    std::wstring name = *file;
    // A library kept as a resource of a DLL is registered as "<file>\<resource number>".
    const std::size_t last = name.find_last_of(L'\\');
    if (!IsFile(name) && last != std::wstring::npos && last + 1 < name.size() &&
        std::all_of(name.begin() + last + 1, name.end(),
                    [](wchar_t c) { return c >= L'0' && c <= L'9'; }))
      name.erase(last);
    registration.typeLibrary = host::RegisteredFile{*file, Inspect(AsSeenFrom(view, name))};
    break;
  }
  return registration;
}

host::RunningProcess MachineFacts::Self() {
  host::RunningProcess self;
  self.id = ::GetCurrentProcessId();
  DWORD session = 0;
  ::ProcessIdToSessionId(self.id, &session);
  self.session = session;
  self.identity = IdentityOf(::GetCurrentProcess());
  return self;
}

std::uint32_t MachineFacts::ConsoleSession() {
  return ::WTSGetActiveConsoleSessionId();
}

std::vector<host::RunningProcess> MachineFacts::PowerPoints() {
  // The executable of the server COM would start, else Office's own name for it.
  std::wstring image = L"POWERPNT.EXE";
  if (const auto clsid = ClassOf(kPowerPoint)) {
    auto server = Server(RegistryView::kProgram, *clsid, false);
    if (!server)
      server = Server(RegistryView::kOther, *clsid, false);
    if (server && !server->path.empty())
      image = server->path.substr(server->path.find_last_of(L'\\') + 1);
  }
  std::vector<host::RunningProcess> found;
  const KernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (bool more = snapshot && ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry)) {
    DWORD session = 0;
    if (!SameText(entry.szExeFile, image) || !::ProcessIdToSessionId(entry.th32ProcessID, &session))
      continue;
    host::RunningProcess process{entry.th32ProcessID, session, std::nullopt};
    const KernelHandle opened(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    if (opened)
      process.identity = IdentityOf(opened.get());
    found.push_back(std::move(process));
  }
  return found;
}

std::uint32_t MachineFacts::AnsiCodePage() {
  return ::GetACP();
}

std::wstring MachineFacts::ExecutableFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
  if (folder.size() == 2 && folder[1] == L':')
    folder += L'\\';
  return folder;
}

std::wstring MachineFacts::ProgramFile() {
  const std::wstring folder = ExecutableFolder();
  return folder + (folder.ends_with(L'\\') ? L"" : L"\\") + L"tkwPPTToolbarAdder.exe";
}

host::WriteAccess MachineFacts::Access(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return host::WriteAccess::kMissing;
  const bool folder = attributes & FILE_ATTRIBUTE_DIRECTORY;
  if (!folder && (attributes & FILE_ATTRIBUTE_READONLY))
    return host::WriteAccess::kRefused;
  // Asked of the file system's security as this user's, without writing anything: a check that
  // wrote would itself be virtualized, and a look writes nothing.
  constexpr SECURITY_INFORMATION kWanted =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD size = 0;
  ::GetFileSecurityW(path.c_str(), kWanted, nullptr, 0, &size);
  std::vector<std::uint8_t> descriptor(size);
  KernelHandle token, impersonation;
  if (size == 0 || !::GetFileSecurityW(path.c_str(), kWanted, descriptor.data(), size, &size) ||
      !::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, token.put()) ||
      !::DuplicateToken(token.get(), SecurityImpersonation, impersonation.put()))
    return host::WriteAccess::kWritable;  // what cannot be told is not reported as refused
  GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                             FILE_ALL_ACCESS};
  DWORD wanted = folder ? FILE_ADD_FILE : FILE_WRITE_DATA | FILE_APPEND_DATA;
  ::MapGenericMask(&wanted, &mapping);
  PRIVILEGE_SET privileges{};
  DWORD privilegesSize = sizeof privileges, granted = 0;
  BOOL allowed = FALSE;
  if (!::AccessCheck(descriptor.data(), impersonation.get(), wanted, &mapping, &privileges,
                     &privilegesSize, &granted, &allowed))
    return host::WriteAccess::kWritable;
  return allowed ? host::WriteAccess::kWritable : host::WriteAccess::kRefused;
}

host::ImageFile MachineFacts::Inspect(const std::wstring& path) {
  if (path.empty() || ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
    return {};
  if (!IsFile(path))
    return {host::ImageFile::State::kNotAnImage, host::Architecture::kUnknown, false};
  host::ImageFile image = formats::ImageFileOf(ReadFileBytes(path));
  if (image.state == host::ImageFile::State::kImage && !image.declaresExecutionLevel &&
      IsFile(path + L".manifest")) {
    // A manifest beside a program that has none of its own counts as its own.
    const std::vector<std::uint8_t> manifest = ReadFileBytes(path + L".manifest");
    const std::string_view text(reinterpret_cast<const char*>(manifest.data()), manifest.size());
    image.declaresExecutionLevel = text.find("requestedExecutionLevel") != std::string_view::npos;
  }
  return image;
}

bool MachineFacts::VirtualizationAllowed() {
  KernelHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()))
    return false;
  const auto allowed = TokenFact<DWORD>(token.get(), TokenVirtualizationAllowed);
  return allowed && *allowed != 0;
}

std::vector<std::wstring> MachineFacts::VirtualizedFolders() {
  std::vector<std::wstring> folders;
  for (const wchar_t* name :
       {L"ProgramFiles", L"ProgramW6432", L"ProgramFiles(x86)", L"ProgramData", L"SystemRoot"}) {
    const std::wstring folder = Environment(name);
    if (!folder.empty() && std::find(folders.begin(), folders.end(), folder) == folders.end())
      folders.push_back(folder);
  }
  return folders;
}

std::wstring MachineFacts::LocalAppData() {
  return Environment(L"LOCALAPPDATA");
}

}  // namespace tkw::win32

namespace tkw::host {

std::unique_ptr<MachineFacts> MakeMachineFacts() {
  return std::make_unique<win32::MachineFacts>();
}

}  // namespace tkw::host

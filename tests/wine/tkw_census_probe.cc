// Loaded by tkw_census into a program before it starts: counts the GDI objects, user objects and
// kernel handles the process holds when it is loaded and again when the process ends (the
// DLL's detach, in ExitProcess, after the program's own code has finished), and appends both
// to the file that TKW_CENSUS_REPORT names, a line each:
//   start gdi <n> user <n> handles <n> <kind>=<n>...
//   exit gdi <n> user <n> handles <n> <kind>=<n>...
// A program that dies without ExitProcess leaves no exit line.
//
// Windows reports the counts through GetGuiResources and GetProcessHandleCount. Wine answers both
// with 0, so under Wine they are read where Wine keeps them: GDI objects are the entries of the
// process's GDI handle table that are not stock objects, user objects are the windows its
// threads own, and handles are the process's entries in the system's handle list, which also
// give each handle's kind.
#include <windows.h>
// After windows.h, which they need.
#include <winternl.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

struct Census {
  long gdi = 0;
  long user = 0;
  long handles = 0;
  std::map<std::wstring, long> kinds;  // handles by object type, where known
};

bool UnderWine() {
  return ::GetProcAddress(::GetModuleHandleW(L"ntdll"), "wine_get_version") != nullptr;
}

template <class Function>
Function NtFunction(const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(L"ntdll"), name)));
}

// Wine's GDI handle table: one 24-byte entry per handle for both architectures. Its address lies
// in the 64-bit PEB; a 32-bit process finds its 64-bit TEB through GdiBatchCount.
struct WineGdiEntry {
  std::uint64_t object;
  std::uint32_t owner;
  std::uint8_t extendedType;  // bit 7: a stock object
  std::uint8_t generation;
  std::uint8_t type;  // 0: a free entry
  std::uint8_t flags;
  std::uint64_t user;
};
static_assert(sizeof(WineGdiEntry) == 24);
constexpr std::size_t kWineGdiHandles = 0x10000;

// The calling thread's TEB, asked of the system rather than read through the segment register.
const std::uint8_t* CurrentTeb() {
  struct BasicInformation {
    NTSTATUS exitStatus;
    void* tebBaseAddress;
    void* clientId[2];
    ULONG_PTR affinityMask;
    LONG priority;
    LONG basePriority;
  } information{};
  using QueryThread = NTSTATUS(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
  static const auto query = NtFunction<QueryThread>("NtQueryInformationThread");
  if (query(::GetCurrentThread(), 0 /* ThreadBasicInformation */, &information, sizeof information,
            nullptr) != 0)
    return nullptr;
  return static_cast<const std::uint8_t*>(information.tebBaseAddress);
}

const WineGdiEntry* WineGdiTable() {
  const std::uint8_t* teb = CurrentTeb();
  if (teb == nullptr)
    return nullptr;
#ifdef _WIN64
  const std::uint64_t teb64 = reinterpret_cast<std::uintptr_t>(teb);
#else
  const std::uint64_t teb64 = *reinterpret_cast<const std::uint32_t*>(teb + 0xF70);
  if (teb64 == 0)
    return nullptr;
#endif
  const auto peb64 =
      *reinterpret_cast<const std::uint64_t*>(static_cast<std::uintptr_t>(teb64 + 0x60));
  const auto table =
      *reinterpret_cast<const std::uint64_t*>(static_cast<std::uintptr_t>(peb64 + 0xF8));
  return reinterpret_cast<const WineGdiEntry*>(static_cast<std::uintptr_t>(table));
}

long WineGdiObjects() {
  const WineGdiEntry* table = WineGdiTable();
  long live = 0;
  for (std::size_t i = 0; table != nullptr && i < kWineGdiHandles; ++i)
    live += table[i].type != 0 && (table[i].extendedType & 0x80) == 0;
  return live;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM count) {
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner == ::GetCurrentProcessId()) {
    ++*reinterpret_cast<long*>(count);
    ::EnumChildWindows(window, CountWindow, count);
  }
  return TRUE;
}

long OwnWindows() {
  long count = 0;
  ::EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&count));
  for (HWND window = nullptr; (window = ::FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr));)
    CountWindow(window, reinterpret_cast<LPARAM>(&count));
  return count;
}

// SystemHandleInformation (16): a count, then one entry per open handle in the system.
struct SystemHandle {
  ULONG processId;
  BYTE objectType;
  BYTE flags;
  USHORT handle;
  PVOID object;
  ACCESS_MASK access;
};

std::wstring KindOf(HANDLE handle) {
  using QueryObject = NTSTATUS(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
  static const auto query = NtFunction<QueryObject>("NtQueryObject");
  alignas(8) std::uint8_t info[512];
  ULONG length = 0;
  if (query(handle, 2 /* ObjectTypeInformation */, info, sizeof info, &length) != 0)
    return L"?";
  const auto* name = reinterpret_cast<const UNICODE_STRING*>(info);
  return name->Length == 0 ? L"?" : std::wstring(name->Buffer, name->Length / sizeof(wchar_t));
}

void CountHandles(Census& census) {
  using QuerySystem = NTSTATUS(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
  static const auto query = NtFunction<QuerySystem>("NtQuerySystemInformation");
  std::vector<std::uint8_t> buffer(1 << 16);
  for (;;) {
    ULONG needed = 0;
    const NTSTATUS status = query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == static_cast<NTSTATUS>(0xC0000004L)) {  // STATUS_INFO_LENGTH_MISMATCH
      buffer.resize(buffer.size() * 2 > needed ? buffer.size() * 2 : needed);
      continue;
    }
    if (status != 0) {
      census.handles = -1;
      return;
    }
    break;
  }
  const ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
  const auto* entries = reinterpret_cast<const SystemHandle*>(buffer.data() + sizeof(ULONG_PTR));
  for (ULONG i = 0; i < count; ++i) {
    if (entries[i].processId != ::GetCurrentProcessId())
      continue;
    ++census.handles;
    ++census.kinds[KindOf(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(entries[i].handle)))];
  }
}

Census Take() {
  Census census;
  if (UnderWine()) {
    census.gdi = WineGdiObjects();
    census.user = OwnWindows();
    CountHandles(census);
  } else {
    census.gdi = static_cast<long>(::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS));
    census.user = static_cast<long>(::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS));
    DWORD handles = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &handles);
    census.handles = static_cast<long>(handles);
  }
  return census;
}

void Report(const char* moment, const Census& census) {
  const wchar_t* report = ::_wgetenv(L"TKW_CENSUS_REPORT");
  if (report == nullptr || *report == 0)
    return;
  if (FILE* file = ::_wfopen(report, L"a")) {
    std::fprintf(file, "%s gdi %ld user %ld handles %ld", moment, census.gdi, census.user,
                 census.handles);
    for (const auto& [kind, count] : census.kinds)
      std::fprintf(file, " %ls=%ld", kind.c_str(), count);
    std::fprintf(file, "\n");
    std::fclose(file);
  }
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    ::DisableThreadLibraryCalls(instance);
    Report("start", Take());
  } else if (reason == DLL_PROCESS_DETACH) {
    Report("exit", Take());
  }
  return TRUE;
}

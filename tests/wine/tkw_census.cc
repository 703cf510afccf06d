// Runs a program with tkw_census_probe.dll loaded into it, so that the probe can count what the
// program holds of the system's objects as it starts and again as it ends:
//   tkw_census <report file> <program> [arguments...]
// The program is started suspended, the probe (beside this tool, of the same architecture) is
// loaded into it by a thread of its own, and the program then runs as usual. The probe appends
// its line to the report (see tkw_census_probe.cc). The exit code is the program's.
//
// A debugger would stop the program at the same moments, but under Wine a debugged x86_64
// program loses registers in C++ exception unwinding, so the counting is done from inside.
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

std::wstring Quoted(const wchar_t* argument) {
  return L"\"" + std::wstring(argument) + L"\"";
}

std::wstring ProbePath() {
  wchar_t self[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  return (std::filesystem::path(std::wstring(self, length)).parent_path() / L"tkw_census_probe.dll")
      .wstring();
}

// Loads `dll` into the suspended `process` and waits for it to be loaded.
bool Inject(HANDLE process, const std::wstring& dll) {
  const SIZE_T bytes = (dll.size() + 1) * sizeof(wchar_t);
  void* remote = ::VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT, PAGE_READWRITE);
  if (remote == nullptr || !::WriteProcessMemory(process, remote, dll.c_str(), bytes, nullptr))
    return false;
  const auto loadLibrary = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void (*)()>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32"), "LoadLibraryW")));
  const HANDLE thread = ::CreateRemoteThread(process, nullptr, 0, loadLibrary, remote, 0, nullptr);
  if (thread == nullptr)
    return false;
  ::WaitForSingleObject(thread, INFINITE);
  DWORD module = 0;
  ::GetExitCodeThread(thread, &module);
  ::CloseHandle(thread);
  ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  return module != 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: tkw_census <report file> <program> [arguments...]\n");
    return 2;
  }
  std::wstring commandLine = Quoted(argv[2]);
  for (int i = 3; i < argc; ++i)
    commandLine += L" " + Quoted(argv[i]);
  // The program inherits the report's name; the probe reads it there.
  ::SetEnvironmentVariableW(L"TKW_CENSUS_REPORT", argv[1]);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                        nullptr, nullptr, &startup, &process)) {
    std::fprintf(stderr, "tkw_census: cannot start the program (error %lu)\n", ::GetLastError());
    return 2;
  }
  if (!Inject(process.hProcess, ProbePath())) {
    std::fprintf(stderr, "tkw_census: cannot load tkw_census_probe.dll into the program\n");
    ::TerminateProcess(process.hProcess, 2);
  }
  ::ResumeThread(process.hThread);
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 2;
  ::GetExitCodeProcess(process.hProcess, &exitCode);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return static_cast<int>(exitCode);
}

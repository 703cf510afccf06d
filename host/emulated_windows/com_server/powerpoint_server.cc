// "PowerPoint.Application" the way PowerPoint itself serves it: an out-of-process local server.
// COM starts it (LocalServer32, with -Embedding) when a client asks for the class; it serves
// every client from its own single-threaded apartment and message loop, and ends once its last
// object is released, so that the next client starts it afresh. "tkw_powerpoint /RegServer"
// registers the class and the type library that carries its interfaces to clients.
//
// PowerPoint's command bars are the emulation's own model, kept in the file that
// TKW_POWERPOINT_STATE names (else commandbars.json beside the executable). When
// TKW_STAND_IN_REPORT names a file, the server appends a line when it starts and, when it ends,
// the objects and server locks still alive: a run can show that it released everything and
// that the server did end.
#include <windows.h>
// After windows.h, which they need.
#include <objbase.h>

#include <cstdio>
#include <cwctype>
#include <filesystem>
#include <string>
#include <utility>

#include "host/emulated_windows/com_server/busy_filter.h"
#include "host/emulated_windows/com_server/class_factory.h"
#include "host/emulated_windows/com_server/live_objects.h"
#include "host/emulated_windows/com_server/office_type_library.h"
#include "host/emulated_windows/com_server/registration.h"
#include "host/emulated_windows/powerpoint/powerpoint_application.h"
#include "host/win32/clipboard.h"
#include "host/win32/com.h"
#include "host/win32/kernel.h"

namespace {

using tkw::com_server::AppendToReport;
using tkw::com_server::ClassFactory;
using tkw::com_server::ServerUsage;

// The class the registration file names.
constexpr CLSID kClsidPowerPoint = {
    0x91493441, 0x5A91, 0x11CF, {0x87, 0x00, 0x00, 0xAA, 0x00, 0x60, 0x26, 0x3B}};

std::filesystem::path StateFile() {
  if (const wchar_t* file = ::_wgetenv(L"TKW_POWERPOINT_STATE"); file != nullptr && *file != 0)
    return file;
  return std::filesystem::path(tkw::com_server::ModulePath(nullptr)).parent_path() /
         "commandbars.json";
}

tkw::host::DispatchPtr CreatePowerPoint() {
  // The face travels through the real clipboard, in real global memory blocks.
  static tkw::win32::Clipboard clipboard;
  static tkw::win32::GlobalMemory memory;
  static tkw::emulated::PowerPoint powerPoint(StateFile(), clipboard, memory);
  return powerPoint.Application();
}

// A PowerPoint that takes its time to start keeps its class unregistered meanwhile, and COM's
// activation waits for it.
void WaitWhileStartIsHeld() {
  const HANDLE starting = ::OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE,
                                       tkw::emulated::kPowerPointStartingMutex);
  if (starting == nullptr)
    return;
  if (::WaitForSingleObject(starting, INFINITE) != WAIT_FAILED)
    ::ReleaseMutex(starting);
  ::CloseHandle(starting);
}

// Whether the command line holds -name or /name, in any case: COM passes -Embedding to a
// server it starts.
bool HasSwitch(const wchar_t* name) {
  std::wstring commandLine = ::GetCommandLineW();
  for (wchar_t& c : commandLine)
    c = static_cast<wchar_t>(std::towlower(c));
  return commandLine.find(std::wstring(L"-") + name) != std::wstring::npos ||
         commandLine.find(std::wstring(L"/") + name) != std::wstring::npos;
}

int Register() {
  const std::wstring server = tkw::com_server::ModulePath(nullptr);
  HRESULT hr = tkw::com_server::RegisterServerClass(kClsidPowerPoint, L"PowerPoint.Application",
                                                    L"PowerPoint.Application stand-in",
                                                    tkw::com_server::ServerKind::kLocal, server);
  if (SUCCEEDED(hr)) {
    const std::wstring library = std::filesystem::path(server).replace_extension(L".tlb").wstring();
    hr = tkw::com_server::RegisterOfficeTypeLibrary(library);
  }
  if (FAILED(hr))
    std::fprintf(stderr, "tkw_powerpoint: cannot register (0x%08lx)\n",
                 static_cast<unsigned long>(hr));
  return FAILED(hr) ? 1 : 0;
}

// The class's registration with COM, withdrawn once.
DWORD g_registration = 0;

void WithdrawClass() {
  if (g_registration != 0)
    ::CoRevokeClassObject(std::exchange(g_registration, 0));
}

void ServeUntilQuit() {
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

void ReportEnd() {
  char line[64];
  std::snprintf(line, sizeof line, "powerpoint objects %ld locks %ld", ServerUsage::Objects(),
                ServerUsage::Locks());
  AppendToReport(line);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const tkw::win32::ScopedComApartment apartment;
  if (HasSwitch(L"regserver"))
    return Register();
  if (!HasSwitch(L"embedding")) {
    std::fprintf(stderr, "tkw_powerpoint: COM starts this server (-Embedding) for its clients\n");
    return 2;
  }
  AppendToReport("powerpoint started");
  WaitWhileStartIsHeld();
  const tkw::com_server::ScopedBusyFilter busy;
  // The class is withdrawn while the last release is still under way, before the client hears
  // of it: whatever the client asks for next starts a new server rather than reaching this one
  // as it ends.
  ServerUsage::WhenUnused([] {
    WithdrawClass();
    ::PostQuitMessage(0);
  });

  ClassFactory* factory = ClassFactory::Make(CreatePowerPoint, ClassFactory::Usage::kNotCounted);
  if (factory == nullptr)
    return 1;
  const HRESULT registered = ::CoRegisterClassObject(kClsidPowerPoint, factory, CLSCTX_LOCAL_SERVER,
                                                     REGCLS_MULTIPLEUSE, &g_registration);
  factory->Release();
  if (FAILED(registered)) {
    std::fprintf(stderr, "tkw_powerpoint: the class cannot be registered (0x%08lx)\n",
                 static_cast<unsigned long>(registered));
    return 1;
  }

  // A client that got an object in the moment before the class was withdrawn is served until
  // it lets go too.
  do
    ServeUntilQuit();
  while (!ServerUsage::Unused());
  WithdrawClass();
  ReportEnd();
  return 0;
}

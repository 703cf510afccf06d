// "PowerPoint.Application" the way PowerPoint itself serves it: an out-of-process local server,
// one copy serving every client from its own single-threaded apartment and message loop. It is
// one of two PowerPoints:
//   -Embedding  started by COM when a client asks for the class and PowerPoint is not running:
//               it ends once its last object is released, and its temporary bars and controls
//               go with it, so that the next client starts it afresh;
//   /running    the user's PowerPoint, started beforehand: it registers its class so that every
//               client attaches to it and its application object in the running object table
//               so that GetActiveObject finds it, keeps its temporary items and stays until
//               "tkw_powerpoint /close" closes it, which withdraws both and drops them. It
//               prints "running" once clients can reach it.
// "tkw_powerpoint /RegServer" registers the class and the type library that carries its
// interfaces to clients; its objects describe themselves from that library, as Office's do.
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
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "host/emulated_windows/com_server/busy_filter.h"
#include "host/emulated_windows/com_server/class_factory.h"
#include "host/emulated_windows/com_server/dispatch_adapter.h"
#include "host/emulated_windows/com_server/live_objects.h"
#include "host/emulated_windows/com_server/office_type_library.h"
#include "host/emulated_windows/com_server/registration.h"
#include "host/emulated_windows/powerpoint/powerpoint_application.h"
#include "host/office_interfaces.h"
#include "host/runtime_error.h"
#include "host/win32/clipboard.h"
#include "host/win32/com.h"
#include "host/win32/handles.h"
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

tkw::emulated::PowerPoint& Model() {
  // The face travels through the real clipboard, in real global memory blocks.
  static tkw::win32::Clipboard clipboard;
  static tkw::win32::GlobalMemory memory;
  static tkw::emulated::PowerPoint powerPoint(StateFile(), clipboard, memory);
  return powerPoint;
}

// A PowerPoint that takes its time to start keeps its class unregistered meanwhile, and COM's
// activation waits for it.
void WaitWhileStartIsHeld() {
  const tkw::win32::KernelHandle starting(::OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE,
                                                       tkw::emulated::kPowerPointStartingMutex));
  if (!starting)
    return;
  if (::WaitForSingleObject(starting.get(), INFINITE) != WAIT_FAILED)
    ::ReleaseMutex(starting.get());
}

// The user's PowerPoint keeps what its clients add until it is closed.
tkw::host::DispatchPtr AttachToRunning() {
  return Model().Application();
}

// The application object the user's PowerPoint keeps in the running object table. Each call
// attaches to the model afresh: an entry that held the model would keep its session, and with it
// the state file's saving, until PowerPoint closes.
class ActiveApplication final : public tkw::host::Dispatch {
 public:
  bool Supports(const tkw::host::InterfaceId& iid) override {
    return iid == tkw::host::office::kIidApplication || iid == tkw::host::kIidDispatch ||
           iid == tkw::host::kIidUnknown;
  }
  tkw::host::Variant Invoke(const tkw::host::Member& member, tkw::host::InvokeKind kind,
                            std::span<const tkw::host::Variant> args) override {
    return Model().Application()->Invoke(member, kind, args);
  }
};

// The entry in the running object table, withdrawn once.
IDispatch* g_active = nullptr;
DWORD g_activeRegistration = 0;

bool RegisterActive() {
  g_active = tkw::com_server::DispatchAdapter::Wrap(std::make_shared<ActiveApplication>());
  const HRESULT hr = ::RegisterActiveObject(g_active, kClsidPowerPoint, ACTIVEOBJECT_STRONG,
                                            &g_activeRegistration);
  if (FAILED(hr)) {
    std::fprintf(stderr, "tkw_powerpoint: the running object table refuses it (0x%08lx)\n",
                 static_cast<unsigned long>(hr));
  }
  return SUCCEEDED(hr);
}

// Clients that still hold the entry's object lose it, as they lose a PowerPoint that closes.
void RevokeActive() {
  if (g_activeRegistration != 0)
    ::RevokeActiveObject(std::exchange(g_activeRegistration, 0), nullptr);
  if (g_active != nullptr) {
    ::CoDisconnectObject(g_active, 0);
    std::exchange(g_active, nullptr)->Release();
  }
}

// A PowerPoint that COM started for its client closes when that client lets go, whatever an
// earlier PowerPoint left in the state file.
tkw::host::DispatchPtr StartForTheCall() {
  tkw::host::DispatchPtr application = Model().Application();
  Model().Close();
  return application;
}

// The running copy's end: "/close" signals the event, and waits for the mutex that the running
// copy holds for its life.
constexpr wchar_t kCloseEvent[] = L"tkw_powerpoint close";
constexpr wchar_t kRunningMutex[] = L"tkw_powerpoint running";

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

// Serves calls until WM_QUIT, or until `until` (when given) is signalled.
void Serve(HANDLE until = nullptr) {
  for (;;) {
    const DWORD count = until != nullptr ? 1 : 0;
    if (::MsgWaitForMultipleObjects(count, &until, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 &&
        count == 1)
      return;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT)
        return;
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
}

// The objects and locks left, and what the clients' calls made the server do.
void ReportEnd(const tkw::com_server::ScopedBusyFilter& calls) {
  char line[64];
  std::snprintf(line, sizeof line, "powerpoint objects %ld locks %ld", ServerUsage::Objects(),
                ServerUsage::Locks());
  AppendToReport((line + std::string(" received ") + calls.Received()).c_str());
}

// Offers the class to clients until WithdrawClass(); false, having said why, when COM refuses.
bool OfferClass(ClassFactory::Creator create) {
  ClassFactory* factory = ClassFactory::Make(create, ClassFactory::Usage::kNotCounted);
  if (factory == nullptr)
    return false;
  const HRESULT registered = ::CoRegisterClassObject(kClsidPowerPoint, factory, CLSCTX_LOCAL_SERVER,
                                                     REGCLS_MULTIPLEUSE, &g_registration);
  factory->Release();
  if (FAILED(registered)) {
    std::fprintf(stderr, "tkw_powerpoint: the class cannot be registered (0x%08lx)\n",
                 static_cast<unsigned long>(registered));
  }
  return SUCCEEDED(registered);
}

int ServeForTheCall() {
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
  if (!OfferClass(StartForTheCall))
    return 1;
  // A client that got an object in the moment before the class was withdrawn is served until
  // it lets go too.
  do
    Serve();
  while (!ServerUsage::Unused());
  WithdrawClass();
  busy.Report();
  ReportEnd(busy);
  return 0;
}

// Opens or closes the model as its user does; false, having said why, when its state cannot be
// read or written.
bool SetRunning(bool running) {
  try {
    running ? Model().Open() : Model().Close();
    return true;
  } catch (const tkw::host::RuntimeError& error) {
    std::fprintf(stderr, "tkw_powerpoint: %s\n", error.description().c_str());
    return false;
  }
}

int RunAsTheUsers() {
  const tkw::win32::KernelHandle running(::CreateMutexW(nullptr, TRUE, kRunningMutex));
  if (!running || ::GetLastError() == ERROR_ALREADY_EXISTS) {
    std::fprintf(stderr, "tkw_powerpoint: PowerPoint is running already\n");
    return 1;
  }
  const tkw::win32::KernelHandle close(::CreateEventW(nullptr, TRUE, FALSE, kCloseEvent));
  if (!close || !SetRunning(true))
    return 1;
  AppendToReport("powerpoint started");
  const tkw::com_server::ScopedBusyFilter busy;
  if (!OfferClass(AttachToRunning) || !RegisterActive()) {
    RevokeActive();
    WithdrawClass();
    return 1;
  }
  std::printf("running\n");
  std::fflush(stdout);
  Serve(close.get());
  RevokeActive();
  WithdrawClass();
  const bool closed = SetRunning(false);
  busy.Report();
  ReportEnd(busy);
  ::ReleaseMutex(running.get());
  return closed ? 0 : 1;
}

// Tells the running copy to close and waits until it has saved its state and ended.
int CloseRunning() {
  const tkw::win32::KernelHandle close(::OpenEventW(EVENT_MODIFY_STATE, FALSE, kCloseEvent));
  const tkw::win32::KernelHandle running(::OpenMutexW(SYNCHRONIZE, FALSE, kRunningMutex));
  if (!close || !running) {
    std::fprintf(stderr, "tkw_powerpoint: PowerPoint is not running\n");
    return 1;
  }
  ::SetEvent(close.get());
  const DWORD ended = ::WaitForSingleObject(running.get(), 60000);
  if (ended != WAIT_OBJECT_0 && ended != WAIT_ABANDONED) {
    std::fprintf(stderr, "tkw_powerpoint: PowerPoint did not close within a minute\n");
    return 1;
  }
  ::ReleaseMutex(running.get());
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const tkw::win32::ScopedComApartment apartment;
  tkw::com_server::DispatchAdapter::DescribeWith(&tkw::com_server::OfficeTypeInfo);
  tkw::com_server::DispatchAdapter::NumberMembersBy(&tkw::com_server::OfficeMemberInterface);
  if (HasSwitch(L"regserver"))
    return Register();
  if (HasSwitch(L"close"))
    return CloseRunning();
  if (HasSwitch(L"running"))
    return RunAsTheUsers();
  if (HasSwitch(L"embedding"))
    return ServeForTheCall();
  std::fprintf(stderr,
               "usage: tkw_powerpoint /running | /close | /RegServer  "
               "(COM starts it with -Embedding for a client)\n");
  return 2;
}

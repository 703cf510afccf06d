// A PowerPoint that is busy: while it starts, loads its add-ins or shows a modal dialog,
// PowerPoint's message filter refuses the calls that reach it. TKW_POWERPOINT_BUSY asks the
// stand-in for that:
//   "<ms>"                  every call is refused for the first <ms> after the server starts;
//   "<ms>,<call>,<ms2>"     and again for <ms2> once its <call>-th call has been accepted;
//   "forever"               every call is refused.
// The refusal is SERVERCALL_REJECTED: Wine carries that back to the caller as
// RPC_E_CALL_REJECTED, while it ignores SERVERCALL_RETRYLATER (tests/wine/README.md).
// Activation and COM's reference counting are never refused: Wine reports a refused activation
// as a class that is not registered.
//
// The filter also counts the calls that reach the server, each a round trip for the client:
// Received() names them for the line with which the stand-in reports its end, and when
// TKW_POWERPOINT_CALLS is set Report() appends them by interface and method.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <utility>

#include "host/win32/message_filter.h"

namespace tkw::com_server {

struct BusySpells {
  DWORD firstMs = 0;
  long laterAfterCall = 0;  // 0: no later spell
  DWORD laterMs = 0;
  bool forever = false;
};

// Nothing when `text` is empty or malformed.
std::optional<BusySpells> ParseBusySpells(const char* text);

// Registered on the thread that makes it for its life.
class ScopedBusyFilter final : public win32::RegisteredMessageFilter {
 public:
  ScopedBusyFilter();

  // "powerpoint calls <interface> <method number> <count>" lines, when TKW_POWERPOINT_CALLS
  // asks for them.
  void Report() const;
  // "GetIDsOfNames <n> Invoke <n> QueryInterface <n> AddRef <n> Release <n> GetTypeInfo <n>
  // ITypeInfo <n> other <n>": the clients' QueryInterface, AddRef and Release that crossed to
  // the server (COM answers the rest in the client's process), the type information read, and
  // COM's own calls of activation.
  std::string Received() const;

  DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD callType, HTASK caller, DWORD tickCount,
                                             LPINTERFACEINFO info) override;
  DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override {
    return static_cast<DWORD>(-1);
  }
  DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
    return PENDINGMSG_WAITDEFPROCESS;
  }

 private:
  bool Busy();

  std::optional<BusySpells> spells_;
  bool counting_ = false;
  std::map<std::pair<std::string, WORD>, long> calls_;
  DWORD started_ = ::GetTickCount();
  long accepted_ = 0;
  DWORD laterStarted_ = 0;
};

}  // namespace tkw::com_server

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
// When TKW_POWERPOINT_CALLS is set the filter also counts the calls that reach the server, by
// interface and method, and Report() appends them to the stand-in's report: what a client's run
// costs in round trips.
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

// Registered on the thread that makes it for its life, when TKW_POWERPOINT_BUSY or
// TKW_POWERPOINT_CALLS asks for it.
class ScopedBusyFilter final : public win32::RegisteredMessageFilter {
 public:
  ScopedBusyFilter();

  // "powerpoint calls <interface> <method number> <count>" lines, when counting.
  void Report() const;

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

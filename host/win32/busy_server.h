// Calls to a busy server made again, as the run-time makes them: on Windows COM asks the
// apartment's message filter whether to retry a call that the server refused, and the program
// registers one, as the run-time does; a refusal that reaches the caller all the same (no
// filter was asked, as under Wine, which never consults the caller's filter, or the server
// said RPC_E_SERVERCALL_RETRYLATER itself) is retried in the call path. Both ask one policy, so
// the bounds of host/busy_server.h hold whichever retries. No "server busy" dialog is shown.
#pragma once

#include <windows.h>

#include "host/busy_server.h"
#include "host/win32/message_filter.h"

namespace tkw::win32 {

// Whether the server refused the call without carrying it out.
inline bool Refused(HRESULT hr) {
  return hr == RPC_E_CALL_REJECTED || hr == RPC_E_SERVERCALL_RETRYLATER;
}

// The steady clock and Sleep of the calling thread.
const host::Waiting& ThreadWaiting();

// The program's message filter, retrying refused calls as `policy` allows.
class ScopedMessageFilter final : public RegisteredMessageFilter {
 public:
  explicit ScopedMessageFilter(host::BusyServerPolicy& policy);

  DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD callType, HTASK caller, DWORD tickCount,
                                             LPINTERFACEINFO info) override;
  DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK callee, DWORD tickCount,
                                            DWORD rejectType) override;
  DWORD STDMETHODCALLTYPE MessagePending(HTASK callee, DWORD tickCount, DWORD pendingType) override;

 private:
  host::BusyServerPolicy& policy_;
};

}  // namespace tkw::win32

// Calls to a busy server made again, as the run-time makes them: on Windows COM asks the
// apartment's message filter whether to retry a call that the server refused, and the program
// registers one, as the run-time does; a refusal that reaches the caller all the same (no
// filter was asked, as under Wine, which never consults the caller's filter, or the server
// said RPC_E_SERVERCALL_RETRYLATER itself) is retried in the call path. Both ask one policy, so
// the bounds of host/busy_server.h hold whichever retries. No "server busy" dialog is shown.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <objidl.h>

#include "host/busy_server.h"

namespace tkw::win32 {

// Whether the server refused the call without carrying it out.
inline bool Refused(HRESULT hr) {
  return hr == RPC_E_CALL_REJECTED || hr == RPC_E_SERVERCALL_RETRYLATER;
}

// The steady clock and Sleep of the calling thread.
const host::Waiting& ThreadWaiting();

// The message filter of the thread that makes it, registered for the object's life: made after
// OLE is started, so that it is revoked before OLE is ended.
class ScopedMessageFilter final : public IMessageFilter {
 public:
  explicit ScopedMessageFilter(host::BusyServerPolicy& policy);
  ScopedMessageFilter(const ScopedMessageFilter&) = delete;
  ScopedMessageFilter& operator=(const ScopedMessageFilter&) = delete;
  virtual ~ScopedMessageFilter();

  // COM holds references only while registered; the object's owner decides its life.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD callType, HTASK caller, DWORD tickCount,
                                             LPINTERFACEINFO info) override;
  DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK callee, DWORD tickCount,
                                            DWORD rejectType) override;
  DWORD STDMETHODCALLTYPE MessagePending(HTASK callee, DWORD tickCount, DWORD pendingType) override;

 private:
  host::BusyServerPolicy& policy_;
  bool registered_ = false;
  IMessageFilter* previous_ = nullptr;
};

}  // namespace tkw::win32

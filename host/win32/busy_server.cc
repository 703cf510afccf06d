#include "host/win32/busy_server.h"

#include <chrono>

namespace tkw::win32 {

const host::Waiting& ThreadWaiting() {
  static const host::Waiting waiting{
      [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
      },
      [](std::chrono::milliseconds pause) { ::Sleep(static_cast<DWORD>(pause.count())); }};
  return waiting;
}

ScopedMessageFilter::ScopedMessageFilter(host::BusyServerPolicy& policy) : policy_(policy) {
  Register();
}

DWORD ScopedMessageFilter::HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) {
  return SERVERCALL_ISHANDLED;
}

DWORD ScopedMessageFilter::RetryRejectedCall(HTASK, DWORD tickCount, DWORD) {
  // COM waits the pause returned (from 100 ms; less is at once) and calls again; -1 gives up.
  const auto pause = policy_.PauseBeforeRetry(std::chrono::milliseconds(tickCount));
  return pause ? static_cast<DWORD>(pause->count()) : static_cast<DWORD>(-1);
}

DWORD ScopedMessageFilter::MessagePending(HTASK, DWORD, DWORD) {
  // Windowless: whatever arrives meanwhile is dispatched as usual, and nothing is shown.
  return PENDINGMSG_WAITDEFPROCESS;
}

}  // namespace tkw::win32

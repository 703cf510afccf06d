// Counts the stand-in servers' COM objects and server locks. A DLL answers DllCanUnloadNow from
// them, a local server ends when they fall to none, and both report them when they go, so that
// a run can show that its client released every reference it was given.
#pragma once

#include <atomic>

namespace tkw::com_server {

class ServerUsage {
 public:
  static long Objects() { return objects_; }
  static long Locks() { return locks_; }
  static bool Unused() { return objects_ == 0 && locks_ == 0; }

  static void AddObject() { ++objects_; }
  static void ReleaseObject() {
    --objects_;
    NotifyIfUnused();
  }
  // IClassFactory::LockServer.
  static void Lock(bool lock) {
    locks_ += lock ? 1 : -1;
    if (!lock)
      NotifyIfUnused();
  }

  // A local server's cue to end: `callback` runs, on the thread that let go, whenever objects
  // and locks have both fallen to none (also when a creation failed before any was made).
  static void WhenUnused(void (*callback)()) { whenUnused_ = callback; }
  static void NotifyIfUnused() {
    if (Unused() && whenUnused_ != nullptr)
      whenUnused_();
  }

 private:
  static inline std::atomic<long> objects_{0};
  static inline std::atomic<long> locks_{0};
  static inline void (*whenUnused_)() = nullptr;
};

// A base of every COM object the stand-ins hand out to clients.
class LiveObject {
 public:
  LiveObject(const LiveObject&) = delete;
  LiveObject& operator=(const LiveObject&) = delete;

 protected:
  LiveObject() { ServerUsage::AddObject(); }
  ~LiveObject() { ServerUsage::ReleaseObject(); }
};

}  // namespace tkw::com_server

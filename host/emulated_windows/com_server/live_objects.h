// Counts the stand-in servers' COM objects and server locks, so that a run can show that the
// program released every reference it was given.
#pragma once

#include <atomic>

namespace tkw::com_server {

// A base of every COM object the stand-ins hand out.
class LiveObject {
 public:
  LiveObject(const LiveObject&) = delete;
  LiveObject& operator=(const LiveObject&) = delete;

  static long Count() { return count_; }

 protected:
  LiveObject() { ++count_; }
  ~LiveObject() { --count_; }

 private:
  static inline std::atomic<long> count_{0};
};

// IClassFactory::LockServer's count.
class ServerLocks {
 public:
  static void Lock(bool lock) { count_ += lock ? 1 : -1; }
  static long Count() { return count_; }

 private:
  static inline std::atomic<long> count_{0};
};

}  // namespace tkw::com_server

// Threads and events for the worker: manual-reset events and a wait on two of
// them. Win32 events on Windows (sync_win32.cpp), a mutex and condition
// variable elsewhere (sync_posix.cpp).
#pragma once

#include <functional>

namespace platform {

class Event {
 public:
  Event();  // manual-reset, not signalled
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;

 private:
  friend int WaitAny(Event& first, Event& second, int timeoutMs);
  struct Impl;
  Impl* impl_;
};

enum : int { kWaitTimeout = -1, kWaitFailed = -2 };
// Waits until either event is signalled: returns 0 when `first` is (it wins a
// tie), 1 for `second`, kWaitTimeout after timeoutMs (negative: no time-out).
int WaitAny(Event& first, Event& second, int timeoutMs);

class Thread {
 public:
  Thread();
  ~Thread();  // joins if still joinable
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  bool Start(std::function<void()> body);
  bool Joinable() const;
  void Join();

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace platform

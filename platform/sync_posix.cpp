// Events and threads on POSIX: one process-wide mutex and condition variable
// serve every event, so that a wait on two events needs no extra plumbing.
#include "platform/sync.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace platform {
namespace {

std::mutex& EventMutex() {
  static std::mutex m;
  return m;
}
std::condition_variable& EventChanged() {
  static std::condition_variable cv;
  return cv;
}

}  // namespace

struct Event::Impl {
  bool signalled = false;
};

Event::Event() : impl_(new Impl) {}
Event::~Event() { delete impl_; }

void Event::Set() {
  {
    std::lock_guard<std::mutex> lock(EventMutex());
    impl_->signalled = true;
  }
  EventChanged().notify_all();
}

void Event::Reset() {
  std::lock_guard<std::mutex> lock(EventMutex());
  impl_->signalled = false;
}

bool Event::IsSet() const {
  std::lock_guard<std::mutex> lock(EventMutex());
  return impl_->signalled;
}

int WaitAny(Event& first, Event& second, int timeoutMs) {
  std::unique_lock<std::mutex> lock(EventMutex());
  auto ready = [&] { return first.impl_->signalled || second.impl_->signalled; };
  if (timeoutMs == 0) {
    // A look, not a wait: no timer, no sleep (the file loop looks once per file).
    if (!ready()) return kWaitTimeout;
  } else if (timeoutMs < 0) {
    EventChanged().wait(lock, ready);
  } else if (!EventChanged().wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
    return kWaitTimeout;
  }
  return first.impl_->signalled ? 0 : 1;
}

struct Thread::Impl {
  std::thread thread;
};

Thread::Thread() : impl_(new Impl) {}
Thread::~Thread() {
  if (impl_->thread.joinable()) impl_->thread.join();
  delete impl_;
}

bool Thread::Start(std::function<void()> body) {
  if (impl_->thread.joinable()) return false;
  try {
    impl_->thread = std::thread(std::move(body));
  } catch (...) {
    return false;
  }
  return true;
}

bool Thread::Joinable() const { return impl_->thread.joinable(); }

void Thread::Join() {
  if (impl_->thread.joinable()) impl_->thread.join();
}

}  // namespace platform

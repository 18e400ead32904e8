// Events and threads on Windows: manual-reset Win32 events, WaitForMultipleObjects
// and a thread made by CreateThread.
#include "platform/sync.h"

#include <windows.h>

#include <memory>

namespace platform {

struct Event::Impl {
  HANDLE handle = nullptr;
};

Event::Event() : impl_(new Impl) {
  // Manual-reset, not signalled, unnamed, default security.
  impl_->handle = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

Event::~Event() {
  if (impl_->handle) CloseHandle(impl_->handle);
  delete impl_;
}

void Event::Set() {
  if (impl_->handle) SetEvent(impl_->handle);
}

void Event::Reset() {
  if (impl_->handle) ResetEvent(impl_->handle);
}

bool Event::IsSet() const {
  return impl_->handle && WaitForSingleObject(impl_->handle, 0) == WAIT_OBJECT_0;
}

int WaitAny(Event& first, Event& second, int timeoutMs) {
  if (!first.impl_->handle || !second.impl_->handle) return kWaitFailed;
  HANDLE handles[2] = {first.impl_->handle, second.impl_->handle};
  DWORD n = handles[0] == handles[1] ? 1 : 2;
  DWORD r = WaitForMultipleObjects(n, handles, FALSE, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
  if (r == WAIT_OBJECT_0) return 0;
  if (r == WAIT_OBJECT_0 + 1) return 1;
  if (r == WAIT_TIMEOUT) return kWaitTimeout;
  return kWaitFailed;
}

struct Thread::Impl {
  HANDLE handle = nullptr;
};

namespace {

DWORD WINAPI ThreadEntry(LPVOID param) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(param));
  (*body)();
  return 0;
}

}  // namespace

Thread::Thread() : impl_(new Impl) {}

Thread::~Thread() {
  Join();
  delete impl_;
}

bool Thread::Start(std::function<void()> body) {
  if (impl_->handle) return false;
  auto* heapBody = new std::function<void()>(std::move(body));
  // Default security (a SECURITY_ATTRIBUTES of its own length, no descriptor,
  // not inheritable), default stack size, not suspended.
  SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, FALSE};
  impl_->handle = CreateThread(&sa, 0, ThreadEntry, heapBody, 0, nullptr);
  if (!impl_->handle) {
    delete heapBody;
    return false;
  }
  return true;
}

bool Thread::Joinable() const { return impl_->handle != nullptr; }

void Thread::Join() {
  if (!impl_->handle) return;
  WaitForSingleObject(impl_->handle, INFINITE);
  CloseHandle(impl_->handle);
  impl_->handle = nullptr;
}

}  // namespace platform

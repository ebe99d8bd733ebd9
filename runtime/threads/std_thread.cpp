// The thread of the C++ standard library binding, and the factory that makes it.
#include "runtime/threads/std_thread.h"

#include <pthread.h>

#include <condition_variable>
#include <mutex>
#include <system_error>

namespace tarn {
namespace {

// Longest thread name the platform accepts, without the terminating null.
constexpr std::size_t kMaxThreadNameLength = 15;

}  // namespace

struct StdThread::Control {
  std::mutex mutex;
  std::condition_variable changed;  // notified when a pause may have ended
  std::thread::id workerId;         // set by the worker before it calls Run
  bool started = false;
  bool finished = false;  // Run has returned
  bool joinRequested = false;
  bool stopRequested = false;
  int suspendCount = 0;  // pauses in force

  // The three queries below are made with `mutex` held.
  bool IsRunning() const { return started && !finished; }
  bool CalledByWorker() const { return IsRunning() && std::this_thread::get_id() == workerId; }
  bool MustPause() const { return suspendCount > 0 && !joinRequested && !stopRequested; }

  void WaitWhilePaused(std::unique_lock<std::mutex>& lock) {
    changed.wait(lock, [this] { return !MustPause(); });
  }
};

StdThread::StdThread(Runnable& runnable, const char* name)
    : runnable_(runnable),
      name_(name != nullptr ? name : ""),
      control_(std::make_shared<Control>()) {}

StdThread::~StdThread() {
  Terminate();
  AutoLock guard(*this);
  if (worker_.joinable()) worker_.detach();
}

void StdThread::ThreadFunction(std::shared_ptr<Control> control, Runnable* runnable,
                               std::string name) {
  pthread_setname_np(pthread_self(), name.substr(0, kMaxThreadNameLength).c_str());
  {
    std::lock_guard lock(control->mutex);
    control->workerId = std::this_thread::get_id();
  }
  try {
    runnable->Run();
  } catch (...) {
    // The runnable reports its own failures; an escaping exception must not end the host.
  }
  std::lock_guard lock(control->mutex);
  control->finished = true;
}

bool StdThread::Start() {
  {
    // The worker must not wait for the object's lock: a joining thread may hold it.
    std::lock_guard lock(control_->mutex);
    if (control_->CalledByWorker()) return true;
  }
  AutoLock guard(*this);
  {
    std::lock_guard lock(control_->mutex);
    if (control_->started) return true;
    // Raised before the thread exists so that a Suspend issued right after Start counts.
    control_->started = true;
  }
  try {
    worker_ = std::thread(ThreadFunction, control_, &runnable_, name_);
  } catch (const std::system_error&) {
    std::lock_guard lock(control_->mutex);
    control_->started = false;
    control_->suspendCount = 0;
    return false;
  }
  return true;
}

void StdThread::Suspend() {
  std::lock_guard lock(control_->mutex);
  if (control_->IsRunning()) ++control_->suspendCount;
}

void StdThread::Resume() {
  {
    std::lock_guard lock(control_->mutex);
    if (!control_->IsRunning() || control_->suspendCount == 0) return;
    --control_->suspendCount;
  }
  control_->changed.notify_all();
}

void StdThread::PauseIfSuspended() {
  std::unique_lock lock(control_->mutex);
  if (control_->CalledByWorker()) control_->WaitWhilePaused(lock);
}

void StdThread::Join() {
  {
    std::lock_guard lock(control_->mutex);
    if (control_->CalledByWorker()) return;
  }
  AutoLock guard(*this);
  {
    std::lock_guard lock(control_->mutex);
    if (control_->IsRunning()) control_->joinRequested = true;
  }
  control_->changed.notify_all();
  if (worker_.joinable()) worker_.join();
}

void StdThread::Terminate() {
  {
    std::lock_guard lock(control_->mutex);
    control_->stopRequested = true;
  }
  control_->changed.notify_all();
  Join();
}

bool StdThread::IsStopRequested() const {
  std::lock_guard lock(control_->mutex);
  return control_->stopRequested;
}

std::unique_ptr<Thread> ThreadFactory::newThread(Runnable& runnable, const char* name) {
  return std::make_unique<StdThread>(runnable, name);
}

}  // namespace tarn

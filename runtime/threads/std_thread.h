// The thread of the C++ standard library binding: std::thread with a condition variable for
// cooperative pauses.
#ifndef TARN_RUNTIME_THREADS_STD_THREAD_H
#define TARN_RUNTIME_THREADS_STD_THREAD_H

#include <memory>
#include <string>
#include <thread>

#include "runtime/threads/thread.h"

namespace tarn {

class StdThread final : public Thread {
 public:
  StdThread(Runnable& runnable, const char* name);
  // Stops the thread as Terminate does. When the worker itself destroys the object, the thread
  // is detached instead and ends when its Run returns.
  ~StdThread() override;

  bool Start() override;
  void Suspend() override;
  void Resume() override;
  void PauseIfSuspended() override;
  void Join() override;
  void Terminate() override;
  bool IsStopRequested() const override;

 private:
  // Pause and stop bookkeeping, shared with the running thread so that it stays valid when the
  // object is destroyed by its own worker.
  struct Control;

  static void ThreadFunction(std::shared_ptr<Control> control, Runnable* runnable,
                             std::string name);

  Runnable& runnable_;  // borrowed
  const std::string name_;
  const std::shared_ptr<Control> control_;
  std::thread worker_;  // guarded by the object's own lock, which Start and Join hold
};

}  // namespace tarn

#endif  // TARN_RUNTIME_THREADS_STD_THREAD_H

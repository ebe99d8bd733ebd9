// Worker threads: the body a thread runs, the abstract thread with its cooperative pause and stop,
// and the factory that makes a thread of the platform binding.
//
// Pausing is cooperative. A worker pauses itself with Suspend; another thread's Suspend takes
// effect when the worker next calls PauseIfSuspended, one of its safe points. Pauses are counted:
// each Suspend needs one Resume. A Resume that finds no pause to lift is remembered once, so that
// a worker announcing a pause and then suspending itself cannot miss the Resume sent in between.
// Join and Terminate lift every pause, present and future, so that neither can wait on a worker
// that waits for them.
#ifndef TARN_RUNTIME_THREADS_THREAD_H
#define TARN_RUNTIME_THREADS_THREAD_H

#include <memory>

#include "runtime/threads/critical_section.h"

namespace tarn {

class Runnable {
 public:
  virtual ~Runnable() = default;
  // The body of the thread. An exception leaving it ends the thread, not the process.
  virtual void Run() = 0;
};

class Thread : public LockObject {
 public:
  // Creates the platform thread, which calls the runnable's Run. Only the first successful Start
  // creates a thread, however many threads call it. Returns true when the thread has been
  // started, by this call or an earlier one; false when the platform could not create it.
  virtual bool Start() = 0;

  // Called by the worker on its own thread: pauses it until Resume, Join or Terminate. Called by
  // any other thread: asks the worker to pause at its next safe point. Does nothing before Start
  // or after Run has returned.
  virtual void Suspend() = 0;

  // Lifts one Suspend; a paused worker continues when no Suspend is left. Does nothing before
  // Start or after Run has returned.
  virtual void Resume() = 0;

  // A safe point of the worker: waits while a Suspend from another thread is in force. Does
  // nothing on any thread but the worker.
  virtual void PauseIfSuspended() = 0;

  // Waits until Run has returned, lifting every pause. Returns at once before Start and when
  // called by the worker itself.
  virtual void Join() = 0;

  // Cooperative stop: raises the stop request, lifts every pause and joins. The worker learns of
  // the request through IsStopRequested (or a flag of its own the caller raised beforehand) and
  // should return from Run; Terminate waits until it has.
  virtual void Terminate() = 0;

  // True once Terminate has been called.
  virtual bool IsStopRequested() const = 0;
};

class ThreadFactory {
 public:
  // A new, unstarted thread that will run `runnable` (borrowed: it must outlive the thread's
  // Run). `name` labels the platform thread for debuggers. Destroying the thread object stops it
  // as Terminate does.
  static std::unique_ptr<Thread> newThread(Runnable& runnable, const char* name);
};

}  // namespace tarn

#endif  // TARN_RUNTIME_THREADS_THREAD_H

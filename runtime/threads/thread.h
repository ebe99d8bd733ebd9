// Worker threads: the body a thread runs, the abstract thread with its cooperative pause and stop,
// and the factory that makes a thread of the platform binding.
//
// Pausing is cooperative. Suspend, from any thread, puts a pause in force; the worker waits at its
// next safe point, PauseIfSuspended, until no pause is in force. Pauses are counted: each Suspend
// needs one Resume, and a Resume that finds no pause in force does nothing. A worker that pauses
// itself and announces it (a debugger's pause) calls Suspend before the announcement, under the
// lock that the resuming thread takes too, and then waits at its safe point: a Resume sent after
// the announcement always finds the pause it lifts. Join and Terminate lift every pause, present
// and future, so that neither can wait on a worker that waits for them.
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

  // Puts one more pause in force, from any thread; the worker pauses at its next safe point and
  // stays paused until Resume, Join or Terminate lifts it. Never waits. Does nothing before Start
  // or after Run has returned.
  virtual void Suspend() = 0;

  // Lifts one pause in force; a paused worker continues when none is left. Does nothing when no
  // pause is in force, before Start and after Run has returned.
  virtual void Resume() = 0;

  // A safe point of the worker: waits while a pause is in force. Does nothing on any thread but
  // the worker.
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

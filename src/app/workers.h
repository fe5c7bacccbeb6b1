// Worker threads, locks, the run queue and the end of the process.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "app/shared_state.h"

namespace qvod {

// Starts a detached thread that runs proc at once. Returns false when no thread
// could be started (callers ignore it: the click that asked has no effect).
bool StartWorker(void (*proc)());

// Makes a new lock, appends it to LockRecords of the shared state and returns it.
LockRef CreateLock();

// Deletes the lock in slot: later acquisitions through the slot do nothing.
// A thread that holds it keeps it until it lets go.
void DeleteLock(LockSlot& slot);

// Holds the lock in state.OutputLock (when there is one) for its lifetime.
class OutputLockGuard {
 public:
  explicit OutputLockGuard(SharedState& state);
  ~OutputLockGuard();
  OutputLockGuard(const OutputLockGuard&) = delete;
  OutputLockGuard& operator=(const OutputLockGuard&) = delete;

 private:
  LockRef lock_;
};

// Channel runs never overlap: each run holds its place in a first-come queue
// for its whole length. Enqueue on the window's thread at the click, so that
// the order of runs is the order of clicks; the worker then waits for its turn.
class RunTicket {
 public:
  // Takes the next place in the queue (never waits).
  static RunTicket Enqueue();
  RunTicket(RunTicket&& other) noexcept;
  RunTicket& operator=(RunTicket&&) = delete;
  ~RunTicket();  // leaves the queue (after the run, or without running)

  // Waits until every earlier ticket has left the queue.
  void WaitForTurn();

  // Returns the number of runs active or queued.
  static int Pending();
  // Called with true when the first run is queued and false when the last one
  // ends. The default tells the installed controls (SetBusy).
  static void SetBusyObserver(std::function<void(bool)> observer);

 private:
  explicit RunTicket(std::uint64_t number) : number_(number) {}
  std::uint64_t number_ = 0;
  bool owned_ = true;
};

// Per-thread automation set-up of a worker, for the worker's whole body.
class AutomationScope {
 public:
  AutomationScope();
  ~AutomationScope();
  AutomationScope(const AutomationScope&) = delete;
  AutomationScope& operator=(const AutomationScope&) = delete;
};

// Registers the exit procedure. It runs exactly once: at RunExitProcedure, at
// EndProcess, or at a normal exit of the process (std::atexit).
void RegisterExitProcedure(void (*proc)());

// Runs the registered exit procedure unless it has run already.
void RunExitProcedure();

// Returns how often the exit procedure has run (0 or 1).
int ExitProcedureRuns();

// Runs the exit procedure once, flushes standard output and ends the process
// at once with code, taking every worker with it.
[[noreturn]] void EndProcess(int code);

}  // namespace qvod

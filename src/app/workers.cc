#include "app/workers.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <set>
#include <system_error>
#include <thread>

#include "app/controls.h"
#include "automation/automation.h"

namespace qvod {

bool StartWorker(void (*proc)()) {
  try {
    std::thread(proc).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

LockRef CreateLock() {
  auto lock = std::make_shared<Lock>();
  if (auto state = SharedStateRef()) {
    state->LockRecords.push_back(lock);
  }
  return lock;
}

void DeleteLock(LockSlot& slot) { slot.Reset(); }

OutputLockGuard::OutputLockGuard(SharedState& state) : lock_(state.OutputLock.Get()) {
  if (lock_) {
    lock_->mutex.lock();
  }
}

OutputLockGuard::~OutputLockGuard() {
  if (lock_) {
    lock_->mutex.unlock();
  }
}

namespace {

struct RunQueue {
  std::mutex mutex;
  std::condition_variable changed;
  std::uint64_t next = 1;
  std::set<std::uint64_t> waiting;  // tickets not yet released
  std::function<void(bool)> observer;
};

RunQueue& Queue() {
  static RunQueue* queue = new RunQueue;  // never destroyed: late workers may still use it
  return *queue;
}

void NotifyBusy(bool busy) {
  std::function<void(bool)> observer;
  {
    std::lock_guard lock(Queue().mutex);
    observer = Queue().observer;
  }
  if (observer) {
    observer(busy);
  } else {
    GetControls()->SetBusy(busy);
  }
}

}  // namespace

RunTicket RunTicket::Enqueue() {
  RunQueue& q = Queue();
  std::uint64_t number;
  bool first;
  {
    std::lock_guard lock(q.mutex);
    number = q.next++;
    first = q.waiting.empty();
    q.waiting.insert(number);
  }
  if (first) {
    NotifyBusy(true);
  }
  return RunTicket(number);
}

RunTicket::RunTicket(RunTicket&& other) noexcept : number_(other.number_), owned_(other.owned_) {
  other.owned_ = false;
}

RunTicket::~RunTicket() {
  if (!owned_) {
    return;
  }
  RunQueue& q = Queue();
  bool last;
  {
    std::lock_guard lock(q.mutex);
    q.waiting.erase(number_);
    last = q.waiting.empty();
  }
  q.changed.notify_all();
  if (last) {
    NotifyBusy(false);
  }
}

void RunTicket::WaitForTurn() {
  RunQueue& q = Queue();
  std::unique_lock lock(q.mutex);
  q.changed.wait(lock, [&] { return *q.waiting.begin() == number_; });
}

int RunTicket::Pending() {
  std::lock_guard lock(Queue().mutex);
  return static_cast<int>(Queue().waiting.size());
}

void RunTicket::SetBusyObserver(std::function<void(bool)> observer) {
  std::lock_guard lock(Queue().mutex);
  Queue().observer = std::move(observer);
}

AutomationScope::AutomationScope() { automation::InitializeThread(); }
AutomationScope::~AutomationScope() { automation::UninitializeThread(); }

namespace {

std::atomic<void (*)()> g_exit_procedure{nullptr};
std::atomic<int> g_exit_runs{0};
std::once_flag g_exit_once;

void RunAtExit() { RunExitProcedure(); }

}  // namespace

void RegisterExitProcedure(void (*proc)()) {
  g_exit_procedure = proc;
  static const bool registered = [] { return std::atexit(RunAtExit) == 0; }();
  (void)registered;
}

void RunExitProcedure() {
  std::call_once(g_exit_once, [] {
    if (auto proc = g_exit_procedure.load()) {
      proc();
      ++g_exit_runs;
    }
  });
}

int ExitProcedureRuns() { return g_exit_runs.load(); }

void EndProcess(int code) {
  RunExitProcedure();
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  _exit(code);
}

}  // namespace qvod

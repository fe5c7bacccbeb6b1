// The shared state of the program: every slot that more than one thread
// touches, created by InitSharedState at start-up and released once by the
// exit procedure, ReleaseSharedState.
//
// Workers reach the state through SharedStateRef() and keep that reference for
// their whole run, so a worker that outlives the exit procedure never touches
// released memory: the exit procedure drops the program's own reference, and
// the state goes with the last holder (or with the process, which ends at once).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "automation/automation.h"
#include "extract/pattern_matcher.h"

namespace qvod {

// A mutual-exclusion lock of the platform.
struct Lock {
  std::mutex mutex;
};
using LockRef = std::shared_ptr<Lock>;

// A slot that holds a lock or nothing. The window's thread replaces it while
// workers read it, so every access goes through the slot's own guard.
class LockSlot {
 public:
  LockSlot& operator=(LockRef lock) {
    std::lock_guard guard(mutex_);
    lock_ = std::move(lock);
    return *this;
  }
  // Returns the lock held now, or null.
  LockRef Get() const {
    std::lock_guard guard(mutex_);
    return lock_;
  }
  void Reset() { *this = nullptr; }

  friend bool operator==(const LockSlot& slot, std::nullptr_t) { return slot.Get() == nullptr; }
  friend bool operator==(const LockSlot& slot, const LockRef& lock) { return slot.Get() == lock; }

 private:
  mutable std::mutex mutex_;
  LockRef lock_;
};

// Why the last fetch gave no usable page; kept beside ResponseText so that the
// CLI can say why, while the window stays silent.
enum class FetchFailure {
  kNone,         // a body was received (it may still be an error page)
  kNoComponent,  // no HTTP request object could be made
  kRefused,      // the connection was refused or the host not found
  kTimedOut,     // no connection in time, or the transfer stalled
  kTooLarge,     // the body passed the size cap
  kBadUrl,       // a malformed address or a scheme other than http and https
  kOther,        // any other failure of the transfer
};

struct FetchOutcome {
  FetchFailure failure = FetchFailure::kNone;
  int http_status = 0;  // the status of the last response; 0 when none arrived
  std::string message;  // a short English description for the CLI
};

struct SharedState {
  SharedState();
  // Releases the slots in the order of the exit procedure.
  ~SharedState();
  SharedState(const SharedState&) = delete;
  SharedState& operator=(const SharedState&) = delete;

  std::string PageText;
  std::unique_ptr<PatternMatcher> Matcher;
  LockSlot OutputLock;               // empty until OnMainWindowCreated
  std::vector<LockRef> LockRecords;  // every lock CreateLock made, in order
  automation::ObjectSlot HttpRequester;

  // The fetcher's globals. FetchMutex is held for the whole of one FetchUrl call.
  std::mutex FetchMutex;
  std::string RequestUrl;
  std::string RequestMethod;
  std::string RequestBody;
  std::string ResponseText;
  std::uint32_t WaitLimit = 0;
  std::uint64_t FetchThread = 0;  // the number of the fetch worker of the current call
  FetchOutcome LastFetchOutcome;  // guarded by FetchMutex, like ResponseText
};

// Creates the shared state: the matcher with empty slots and text, an empty
// OutputLock, an empty HttpRequester, an empty LockRecords, empty texts.
void InitSharedState();

// The exit procedure: releases the shared state. Later calls do nothing.
void ReleaseSharedState();

// Returns the shared state, or null before InitSharedState and after the exit procedure.
std::shared_ptr<SharedState> SharedStateRef();

}  // namespace qvod

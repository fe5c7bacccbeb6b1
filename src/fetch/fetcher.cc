#include "fetch/fetcher.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <variant>

#include "app/workers.h"
#include "fetch/xml_http.h"

namespace qvod {

static_assert(
    static_cast<int>(FetchFailure::kNone) == static_cast<int>(HttpFailureKind::kNone) &&
    static_cast<int>(FetchFailure::kNoComponent) ==
        static_cast<int>(HttpFailureKind::kNoComponent) &&
    static_cast<int>(FetchFailure::kRefused) == static_cast<int>(HttpFailureKind::kRefused) &&
    static_cast<int>(FetchFailure::kTimedOut) == static_cast<int>(HttpFailureKind::kTimedOut) &&
    static_cast<int>(FetchFailure::kTooLarge) == static_cast<int>(HttpFailureKind::kTooLarge) &&
    static_cast<int>(FetchFailure::kBadUrl) == static_cast<int>(HttpFailureKind::kBadUrl) &&
    static_cast<int>(FetchFailure::kOther) == static_cast<int>(HttpFailureKind::kOther));

namespace {

constexpr std::uint32_t kInfinite = 0xFFFFFFFF;

// The hand-over between one FetchUrl call and its worker. The worker works
// from its own copy of the request, so a worker that outlives its call never
// reads a later call's request.
struct FetchCall {
  // Held for the worker's whole run, so that it never touches released state.
  std::shared_ptr<SharedState> state;
  std::uint64_t number = 0;
  std::string url;
  std::string method;
  std::string body;

  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;       // the worker has ended and left its result here
  bool abandoned = false;  // the caller stopped waiting; the worker hands over itself
  bool has_text = false;   // false when no request object could be made
  std::string text;
  FetchOutcome outcome;
};

thread_local std::shared_ptr<FetchCall> t_call;

// Guards the HttpRequester slot, which a late worker and the next call's worker
// may reach at the same time. Never destroyed (nor is ExchangeMutex): a worker
// left behind by a time limit may still use it while the process ends.
std::mutex& RequesterMutex() {
  static auto* mutex = new std::mutex;
  return *mutex;
}

// Held for one whole exchange (open .. responseBody) on the shared request
// object, so that the calls of two workers never interleave. A worker lets go
// of it before it takes FetchMutex, which the next call holds while it waits.
std::mutex& ExchangeMutex() {
  static auto* mutex = new std::mutex;
  return *mutex;
}

// Upper-cases the ASCII letters, stepping over double-byte characters whole.
std::string UpperAscii(std::string text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      ++i;
    } else if (c >= 'a' && c <= 'z') {
      text[i] = static_cast<char>(c - 'a' + 'A');
    }
  }
  return text;
}

FetchFailure FailureFromNumber(double number) {
  if (number >= static_cast<int>(FetchFailure::kNone) &&
      number <= static_cast<int>(FetchFailure::kOther)) {
    return static_cast<FetchFailure>(static_cast<int>(number));
  }
  return FetchFailure::kOther;
}

// Runs the exchange of one fetch on requester and leaves the result in call.
void Exchange(const automation::ObjectSlot& requester, FetchCall& call) {
  std::lock_guard exchange(ExchangeMutex());
  if (UpperAscii(call.method) == "POST") {
    requester.Call("open", {"POST", call.url, false});
    requester.Call("setRequestHeader", {"Content-Type", "application/x-www-form-urlencoded"});
    requester.Call("setRequestHeader", {"Content-Length", std::to_string(call.body.size())});
  } else {
    requester.Call("open", {"GET", call.url, false});
    requester.Call("setRequestHeader", {"Content-Type", "text/XML"});
  }
  requester.Call("setRequestHeader", {"Accept-Language", "zh-cn"});
  requester.Call("send", {call.body});

  // The body is taken over rather than copied when the object offers that.
  std::string bytes;
  automation::Variant taken;
  if (requester.Get()->Invoke("takeResponseBody", automation::CallKind::kMethod, {}, taken)) {
    if (auto* body = std::get_if<automation::Bytes>(&taken.value())) {
      bytes = std::move(body->data);
    }
  } else {
    bytes = requester.GetBytes("responseBody");
  }
  if (const std::size_t nul = bytes.find('\0'); nul != std::string::npos) {
    bytes.resize(nul);
  }
  call.has_text = true;
  call.text = std::move(bytes);
  call.outcome.failure = FailureFromNumber(requester.GetNumber("failureKind"));
  call.outcome.message = requester.GetText("failureText");
  call.outcome.http_status = static_cast<int>(requester.GetNumber("status"));
  // The text is the call's now; the object, which lives as long as the program,
  // need not keep a second copy of a body that may be as large as the cap.
  requester.Call("abort");
}

// Returns the request object in state.HttpRequester, made on first use; empty
// when neither ProgID can be made.
automation::ObjectSlot Requester(SharedState& state) {
  std::lock_guard lock(RequesterMutex());
  if (state.HttpRequester.IsEmpty() && !state.HttpRequester.Create("MSXML2.XMLHTTP")) {
    state.HttpRequester.Create("Microsoft.XMLHTTP");
  }
  return state.HttpRequester.Copy();
}

// Moves the result of a finished call into the fetcher's globals (nothing reads
// the call's text afterwards). The caller holds FetchMutex.
void Store(SharedState& state, FetchCall& call) {
  if (call.has_text) {
    state.ResponseText = std::move(call.text);
  }
  state.LastFetchOutcome = call.outcome;
}

// Returns a copy of text with room to grow by an eighth: the channels rewrite
// the page they fetched with pairs that mostly lengthen it, and ReplacePairs
// widens a text in place when its buffer has the room, instead of building a
// second page beside it.
std::string CopyWithRoom(const std::string& text) {
  std::string copy;
  copy.reserve(text.size() + text.size() / 8 + 64);
  copy.assign(text);
  return copy;
}

}  // namespace

void FetchWorker() {
  AutomationScope automation_scope;
  std::shared_ptr<FetchCall> call = std::exchange(t_call, nullptr);
  const bool started_by_fetch_url = call != nullptr;
  const std::shared_ptr<SharedState> state = started_by_fetch_url ? call->state : SharedStateRef();
  if (!started_by_fetch_url) {
    if (!state) {
      return;
    }
    call = std::make_shared<FetchCall>();
    std::lock_guard lock(state->FetchMutex);
    call->number = state->FetchThread;
    call->url = state->RequestUrl;
    call->method = state->RequestMethod;
    call->body = state->RequestBody;
  }

  if (state) {
    const automation::ObjectSlot requester = Requester(*state);
    if (requester.IsEmpty()) {
      call->outcome = {FetchFailure::kNoComponent, 0, "no HTTP request component is available"};
    } else {
      Exchange(requester, *call);
    }
  }

  if (started_by_fetch_url) {
    std::lock_guard lock(call->mutex);
    if (!call->abandoned) {
      call->done = true;
      call->finished.notify_all();
      return;
    }
  }
  if (!state) {
    return;
  }
  // Called directly, or left behind by a time limit: replace ResponseText
  // unless a later call has begun since.
  std::lock_guard lock(state->FetchMutex);
  if (state->FetchThread == call->number) {
    Store(*state, *call);
  }
}

std::string FetchUrl(const std::string& url, const std::string& method, const std::string& body,
                     std::int32_t time_limit_ms) {
  const std::shared_ptr<SharedState> state = SharedStateRef();
  if (!state) {
    return {};
  }
  std::lock_guard fetch_lock(state->FetchMutex);
  state->RequestUrl = url;
  state->RequestMethod = method;
  state->RequestBody = body;
  state->WaitLimit = time_limit_ms != 0 ? static_cast<std::uint32_t>(time_limit_ms) : kInfinite;

  auto call = std::make_shared<FetchCall>();
  call->state = state;
  call->number = ++state->FetchThread;
  call->url = url;
  call->method = method;
  call->body = body;
  try {
    std::thread([call] {
      t_call = call;
      FetchWorker();
    }).detach();
  } catch (const std::system_error&) {
    state->LastFetchOutcome = {FetchFailure::kOther, 0, "no fetch thread could be started"};
    return CopyWithRoom(state->ResponseText);
  }

  std::unique_lock wait_lock(call->mutex);
  if (state->WaitLimit == kInfinite) {
    call->finished.wait(wait_lock, [&] { return call->done; });
  } else {
    call->finished.wait_for(wait_lock, std::chrono::milliseconds(state->WaitLimit),
                            [&] { return call->done; });
  }
  if (call->done) {
    Store(*state, *call);
  } else {
    call->abandoned = true;
    state->LastFetchOutcome = {FetchFailure::kTimedOut, 0,
                               "no answer within " + std::to_string(state->WaitLimit) + " ms"};
  }
  return CopyWithRoom(state->ResponseText);
}

FetchOutcome LastFetchOutcome() {
  const std::shared_ptr<SharedState> state = SharedStateRef();
  if (!state) {
    return {};
  }
  std::lock_guard lock(state->FetchMutex);
  return state->LastFetchOutcome;
}

}  // namespace qvod

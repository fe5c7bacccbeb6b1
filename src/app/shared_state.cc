#include "app/shared_state.h"

#include <atomic>

namespace qvod {
namespace {

std::mutex g_state_mutex;
std::shared_ptr<SharedState> g_state;

}  // namespace

SharedState::SharedState() : Matcher(std::make_unique<PatternMatcher>()) {}

SharedState::~SharedState() {
  PageText.clear();
  PageText.shrink_to_fit();
  Matcher.reset();
  for (std::string* text : {&RequestUrl, &RequestMethod, &RequestBody, &ResponseText}) {
    text->clear();
    text->shrink_to_fit();
  }
  HttpRequester.Clear();
  OutputLock.Reset();
  LockRecords.clear();
}

void InitSharedState() {
  auto state = std::make_shared<SharedState>();
  std::lock_guard lock(g_state_mutex);
  g_state = std::move(state);
}

void ReleaseSharedState() {
  std::shared_ptr<SharedState> state;
  {
    std::lock_guard lock(g_state_mutex);
    state.swap(g_state);
  }
  // Dropping the program's reference here releases the state now, unless a
  // worker still holds it; then it goes when that worker lets go.
}

std::shared_ptr<SharedState> SharedStateRef() {
  std::lock_guard lock(g_state_mutex);
  return g_state;
}

}  // namespace qvod

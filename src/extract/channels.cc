#include "extract/channels.h"

#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "app/controls.h"
#include "app/shared_state.h"
#include "app/workers.h"
#include "extract/text_helpers.h"
#include "fetch/fetcher.h"

namespace qvod {
namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr char kChannel1Pattern[] = "qvod%3A\\$(.*?)%7C(.*?)%7C(.*?)%7C";
constexpr char kChannel2Pattern[] = "qvod%3A%2F%2F(.*?)%7C(.*?)%7C(.*?)%7C";
constexpr char kChannel3Pattern[] = "\\$qvod://(.*?)\\$qvod'";

// Tickets taken at the clicks, per channel, waiting for their workers. A worker
// of channel c takes the oldest ticket of channel c; workers of one channel are
// interchangeable, so the runs keep the order of the clicks.
struct PendingTickets {
  std::mutex mutex;
  std::deque<RunTicket> tickets[3];
};

PendingTickets& Pending() {
  static auto* pending = new PendingTickets;  // never destroyed: late workers may use it
  return *pending;
}

// Returns the ticket that the click of channel left, or a new place at the end
// of the queue when the worker was started some other way.
RunTicket TakeTicket(int channel) {
  PendingTickets& pending = Pending();
  {
    std::lock_guard lock(pending.mutex);
    auto& queue = pending.tickets[channel - 1];
    if (!queue.empty()) {
      RunTicket ticket = std::move(queue.front());
      queue.pop_front();
      return ticket;
    }
  }
  return RunTicket::Enqueue();
}

void Click(int channel, void (*worker)()) {
  const auto controls = GetControls();
  if (controls->Text(Control::kAddressBox).empty()) {
    return;
  }
  if (channel != 3) {
    controls->SetText(Control::kResultBox, "");
  }
  PendingTickets& pending = Pending();
  {
    std::lock_guard lock(pending.mutex);
    pending.tickets[channel - 1].push_back(RunTicket::Enqueue());
  }
  if (!StartWorker(worker)) {
    // No worker: the click has no further effect, and its place is given back.
    std::lock_guard lock(pending.mutex);
    pending.tickets[channel - 1].pop_back();
  }
}

// Appends one link line per match, each made and appended under OutputLock,
// then puts the no-match text when the matcher holds no match.
template <typename MakeLine>
void AppendLinkLines(SharedState& state, Controls& controls, MakeLine make_line) {
  const std::int32_t count = state.Matcher->MatchCount();
  for (std::int32_t i = 1; i <= count; ++i) {
    OutputLockGuard lock(state);
    controls.AppendResult(make_line(i));
  }
  if (state.Matcher->MatchCount() == 0) {
    controls.SetText(Control::kResultBox, kNoMatchText);
  }
}

// Channels 1 and 2: fetch, rewrite with the channel's pairs, match, write the
// three fields of each match.
template <typename Rewrite>
void RunFieldsChannel(const char* pattern, Rewrite rewrite) {
  const auto state = SharedStateRef();
  if (!state) {
    return;
  }
  const auto controls = GetControls();
  state->PageText = FetchUrl(controls->Text(Control::kAddressBox));
  state->PageText = rewrite(std::move(state->PageText));
  state->Matcher->Search(pattern, state->PageText);
  AppendLinkLines(*state, *controls, [&](std::int32_t i) {
    const std::string group1 = state->Matcher->SubMatchText(i, 1);
    const std::string group2 = state->Matcher->SubMatchText(i, 2);
    const std::string group3 = state->Matcher->SubMatchText(i, 3);
    std::string line;
    line.reserve(sizeof("qvod://") + group1.size() + group2.size() + group3.size() + 5);
    line += "qvod://";
    line += group1;
    line += '|';
    line += group2;
    line += '|';
    line += group3;
    line += '|';
    line += kLineEnd;
    return line;
  });
}

void RunChannel1Body() {
  RunFieldsChannel(kChannel1Pattern, [](std::string page) {
    return ReplacePairs(std::move(page), "//", "$", ":", "%3A", "|", "%7C");
  });
}

void RunChannel2Body() {
  RunFieldsChannel(kChannel2Pattern,
                   [](std::string page) { return ReplacePairs(std::move(page), "//", "%2F%2F"); });
}

// Channel 3: the page names its play-data script; the links are in the script.
void RunChannel3Body() {
  const auto state = SharedStateRef();
  if (!state) {
    return;
  }
  const auto controls = GetControls();
  state->PageText = FetchUrl(controls->Text(Control::kAddressBox));
  state->PageText = TextBetween(state->PageText, "/playdata/", ".js?");
  // The box is read again: the user may have edited it during the first fetch.
  const std::string host = TextBetween(controls->Text(Control::kAddressBox), "//", "/");
  const std::string script_address = "http://" + host + "/playdata/" + state->PageText + ".js?";
  state->PageText = FetchUrl(script_address);
  controls->SetText(Control::kResultBox, "");
  state->PageText = ReplacePairs(std::move(state->PageText), "%24", "$", "%3A", ":", "%7C", "|");
  state->Matcher->Search(kChannel3Pattern, state->PageText);
  AppendLinkLines(*state, *controls, [&](std::int32_t i) {
    return "qvod://" + ScriptUnescape(state->Matcher->SubMatchText(i, 1)) + kLineEnd;
  });
}

void RunWithTicket(RunTicket ticket, void (*body)()) {
  ticket.WaitForTurn();
  AutomationScope automation;
  body();
}

}  // namespace

void OnChannel1Clicked() { Click(1, ExtractChannel1); }
void OnChannel2Clicked() { Click(2, ExtractChannel2); }
void OnChannel3Clicked() { Click(3, ExtractChannel3); }

void ExtractChannel1() { RunWithTicket(TakeTicket(1), RunChannel1Body); }
void ExtractChannel2() { RunWithTicket(TakeTicket(2), RunChannel2Body); }
void ExtractChannel3() { RunWithTicket(TakeTicket(3), RunChannel3Body); }

void RunChannel(int channel) {
  switch (channel) {
    case 1:
      RunWithTicket(RunTicket::Enqueue(), RunChannel1Body);
      break;
    case 2:
      RunWithTicket(RunTicket::Enqueue(), RunChannel2Body);
      break;
    case 3:
      RunWithTicket(RunTicket::Enqueue(), RunChannel3Body);
      break;
    default:
      break;
  }
}

}  // namespace qvod

// Start-up, the window's events and the banner, with headless controls standing
// in for the window.
#include "app/startup.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/controls.h"
#include "app/shared_state.h"
#include "app/workers.h"
#include "automation/automation.h"
#include "descramble/descramble.h"

namespace qvod {
namespace {

using namespace std::chrono_literals;

// Headless controls that also keep every caption given to the banner label and
// every colour change, in order.
class RecordingControls : public HeadlessControls {
 public:
  struct Event {
    std::string what;  // "text" or "color"
    Control control;
    std::string text;
    Rgb color;
  };

  void SetText(Control control, std::string_view text) override {
    HeadlessControls::SetText(control, Shown(control, text));
    Record({"text", control, std::string(text), {}});
  }
  void SetTextColor(Control control, Rgb color) override {
    HeadlessControls::SetTextColor(control, color);
    Record({"color", control, {}, color});
  }

  std::vector<Event> Events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  std::vector<std::string> BannerSteps() const {
    std::vector<std::string> steps;
    for (const Event& event : Events()) {
      if (event.what == "text" && event.control == Control::kBannerLabel) {
        steps.push_back(event.text);
      }
    }
    return steps;
  }

  // A label that drops trailing blanks, as some labels do, so that a banner
  // ending in a blank never reads back byte for byte.
  bool trims_banner = false;

 private:
  std::string Shown(Control control, std::string_view text) const {
    std::string shown(text);
    if (trims_banner && control == Control::kBannerLabel) {
      while (!shown.empty() && shown.back() == ' ') {
        shown.pop_back();
      }
    }
    return shown;
  }
  void Record(Event event) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
  }

  mutable std::mutex mutex_;
  std::vector<Event> events_;
};

class StartUpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitSharedState();
    controls_ = std::make_shared<RecordingControls>();
    SetControls(controls_);
  }
  void TearDown() override { SetControls(nullptr); }

  // Runs RevealBannerText on a thread of its own, as the banner thread does;
  // fails instead of hanging when it does not end.
  void RevealAndWait(const std::string& banner) {
    auto done = std::async(std::launch::async, [banner] { RevealBannerText(banner); });
    ASSERT_EQ(done.wait_for(30s), std::future_status::ready) << "the banner never ended";
  }

  // Waits for the banner thread that OnMainWindowCreated started to end.
  void WaitForBannerThread() {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (controls_->TextColor(Control::kVersionLink) != kBlack &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(10ms);
    }
    ASSERT_EQ(controls_->TextColor(Control::kVersionLink), kBlack) << "the banner never ended";
  }

  std::shared_ptr<RecordingControls> controls_;
};

TEST_F(StartUpTest, StartUpCreatesTheStateAndRegistersTheComponents) {
  ReleaseSharedState();
  StartUp();
  const auto state = SharedStateRef();
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(state->OutputLock, nullptr);
  EXPECT_TRUE(state->LockRecords.empty());
  EXPECT_TRUE(state->HttpRequester.IsEmpty());
  for (const char* prog_id : {"MSXML2.XMLHTTP", "Microsoft.XMLHTTP", "VBScript.RegExp"}) {
    EXPECT_NE(automation::CreateObject(prog_id), nullptr) << prog_id;
  }
}

TEST_F(StartUpTest, WindowCreatedSetsLockLookCaptionLinkInOrderAndStartsTheBanner) {
  bool look_ran = false;
  OnMainWindowCreated([&] {
    look_ran = true;
    // The look comes after the lock and before the caption and the link.
    EXPECT_NE(SharedStateRef()->OutputLock, nullptr);
    EXPECT_EQ(controls_->WindowCaption(), "");
    EXPECT_EQ(controls_->LinkAddress(), "");
  });
  EXPECT_TRUE(look_ran);
  const auto state = SharedStateRef();
  ASSERT_NE(state->OutputLock, nullptr);
  ASSERT_EQ(state->LockRecords.size(), 1u);
  EXPECT_EQ(state->LockRecords.front(), state->OutputLock);
  EXPECT_EQ(controls_->WindowCaption(), CaptionText());
  EXPECT_EQ(controls_->LinkAddress(), LinkTarget());
  EXPECT_FALSE(CaptionText().empty());
  EXPECT_FALSE(LinkTarget().empty());

  // The banner thread types the banner and then turns both colours black.
  WaitForBannerThread();
  EXPECT_EQ(controls_->Text(Control::kBannerLabel), BannerText());
  EXPECT_EQ(controls_->TextColor(Control::kBannerLabel), kBlack);
  EXPECT_EQ(controls_->TextColor(Control::kVersionLink), kBlack);
}

TEST_F(StartUpTest, WindowDestroyingDeletesTheLockButKeepsItsRecord) {
  OnMainWindowCreated();
  OnMainWindowDestroying();
  WaitForBannerThread();
  const auto state = SharedStateRef();
  EXPECT_EQ(state->OutputLock, nullptr);
  EXPECT_EQ(state->LockRecords.size(), 1u);
}

TEST_F(StartUpTest, BannerIsTypedTwoBytesAtATimeThenTurnsBlack) {
  struct Case {
    const char* name;
    std::string banner;
    std::vector<std::string> steps;
  };
  const Case cases[] = {
      {"empty", "", {}},
      {"five bytes", "abcde", {"ab", "abcd", "abcde"}},
      // 银色 (GBK) after one ASCII byte: the second step ends inside a character.
      {"odd byte first", "a\xD2\xF8\xC9\xAB", {"a\xD2", "a\xD2\xF8\xC9", "a\xD2\xF8\xC9\xAB"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    controls_ = std::make_shared<RecordingControls>();
    SetControls(controls_);
    RevealAndWait(c.banner);
    EXPECT_EQ(controls_->BannerSteps(), c.steps);
    const auto events = controls_->Events();
    ASSERT_EQ(events.size(), c.steps.size() + 2);
    // Both colours change once, after the last step: the banner, then the link.
    EXPECT_EQ(events[c.steps.size()].what, "color");
    EXPECT_EQ(events[c.steps.size()].control, Control::kBannerLabel);
    EXPECT_EQ(events[c.steps.size() + 1].control, Control::kVersionLink);
    EXPECT_EQ(controls_->TextColor(Control::kBannerLabel), kBlack);
    EXPECT_EQ(controls_->TextColor(Control::kVersionLink), kBlack);
  }
}

TEST_F(StartUpTest, BannerEndsWhenTheLabelDoesNotReadBackByteForByte) {
  controls_->trims_banner = true;
  RevealAndWait("ab c ");
  EXPECT_EQ(controls_->BannerSteps(), (std::vector<std::string>{"ab", "ab c", "ab c "}));
  EXPECT_EQ(controls_->TextColor(Control::kBannerLabel), kBlack);
  EXPECT_EQ(controls_->TextColor(Control::kVersionLink), kBlack);
}

TEST_F(StartUpTest, BannerStopsWhenTheProgramIsEnding) {
  ReleaseSharedState();
  RevealAndWait("abcdef");
  EXPECT_TRUE(controls_->Events().empty());
  EXPECT_EQ(controls_->TextColor(Control::kBannerLabel), kSilver);
}

TEST_F(StartUpTest, ClearEmptiesOnlyTheAddressBox) {
  controls_->SetText(Control::kAddressBox, "http://127.0.0.1/movie.asp?id=1");
  controls_->SetText(Control::kResultBox, "qvod://1|A|a|\r\n");
  OnClearClicked();
  EXPECT_EQ(controls_->Text(Control::kAddressBox), "");
  EXPECT_EQ(controls_->Text(Control::kResultBox), "qvod://1|A|a|\r\n");
}

}  // namespace
}  // namespace qvod

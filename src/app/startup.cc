#include "app/startup.h"

#include <algorithm>
#include <chrono>
#include <string_view>
#include <thread>

#include "app/controls.h"
#include "app/shared_state.h"
#include "app/workers.h"
#include "descramble/descramble.h"
#include "extract/regexp.h"
#include "fetch/xml_http.h"

namespace qvod {
namespace {

constexpr std::size_t kBannerStepBytes = 2;
constexpr auto kBannerStepTime = std::chrono::milliseconds(100);

}  // namespace

void RegisterComponents() {
  RegisterXmlHttpComponent();
  RegisterRegExpComponent();
}

void StartUp() {
  RegisterComponents();
  InitSharedState();
  RegisterExitProcedure(ReleaseSharedState);
}

void OnMainWindowCreated(const std::function<void()>& switch_on_silver_look) {
  if (auto state = SharedStateRef()) {
    state->OutputLock = CreateLock();
  }
  if (switch_on_silver_look) {
    switch_on_silver_look();
  }
  const std::shared_ptr<Controls> controls = GetControls();
  controls->SetWindowCaption(CaptionText());
  controls->SetLinkAddress(LinkTarget());
  StartWorker(RevealBanner);
}

void OnMainWindowDestroying() {
  if (auto state = SharedStateRef()) {
    DeleteLock(state->OutputLock);
  }
}

void RevealBannerText(const std::string& banner) {
  const std::string_view text(banner);
  std::size_t shown = 0;
  for (;;) {
    if (!SharedStateRef()) {
      return;
    }
    // The count ends the typing even when the label does not give the text
    // back byte for byte; otherwise such a label would keep the thread forever.
    if (shown >= text.size() || GetControls()->Text(Control::kBannerLabel) == text) {
      break;
    }
    shown = std::min(shown + kBannerStepBytes, text.size());
    GetControls()->SetText(Control::kBannerLabel, text.substr(0, shown));
    std::this_thread::sleep_for(kBannerStepTime);
  }
  if (!SharedStateRef()) {
    return;
  }
  const std::shared_ptr<Controls> controls = GetControls();
  controls->SetTextColor(Control::kBannerLabel, kBlack);
  controls->SetTextColor(Control::kVersionLink, kBlack);
}

void RevealBanner() { RevealBannerText(BannerText()); }

void OnClearClicked() { GetControls()->SetText(Control::kAddressBox, ""); }

void OnForceQuitClicked() { EndProcess(0); }

}  // namespace qvod

// The control operations through which the core reaches the main window's
// controls. Every operation may be called from any thread and has taken effect
// when it returns. Texts are GBK. The window installs an implementation over
// Qt; the CLI and the tests install HeadlessControls.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace qvod {

// The controls that the core names.
enum class Control {
  kAddressBox,   // 编辑框1
  kResultBox,    // 编辑框2
  kFindBox,      // 编辑框3
  kReplaceBox,   // 编辑框4
  kBannerLabel,  // 标签2
  kVersionLink,  // 超级链接框1
};

struct Rgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kSilver{192, 192, 192};
inline constexpr Rgb kBlack{0, 0, 0};

class Controls {
 public:
  virtual ~Controls() = default;

  // Returns the text (caption for a label) of control.
  virtual std::string Text(Control control) = 0;
  // Sets the text (caption for a label) of control.
  virtual void SetText(Control control, std::string_view text) = 0;
  // Appends text at the end of the result box, scrolled into view; adds no line break.
  virtual void AppendResult(std::string_view text) = 0;
  // Sets the caption of the main window.
  virtual void SetWindowCaption(std::string_view text) = 0;
  // Sets the web address of the version link.
  virtual void SetLinkAddress(std::string_view address) = 0;
  // Sets the text colour of the banner label or the normal colour of the version link.
  virtual void SetTextColor(Control control, Rgb color) = 0;
  // Tells the window whether any channel run is active or queued (the busy cursor).
  virtual void SetBusy(bool busy) = 0;
};

// Installs the controls that the core uses from now on.
void SetControls(std::shared_ptr<Controls> controls);

// Returns the installed controls; a HeadlessControls when none were installed.
std::shared_ptr<Controls> GetControls();

// Controls kept in memory, for the CLI and the tests. Thread-safe.
class HeadlessControls : public Controls {
 public:
  std::string Text(Control control) override;
  void SetText(Control control, std::string_view text) override;
  void AppendResult(std::string_view text) override;
  void SetWindowCaption(std::string_view text) override;
  void SetLinkAddress(std::string_view address) override;
  void SetTextColor(Control control, Rgb color) override;
  void SetBusy(bool busy) override;

  // Returns the text of control and leaves the control empty: the CLI takes a
  // result box of many megabytes out this way instead of copying it.
  std::string TakeText(Control control);

  std::string WindowCaption() const;
  std::string LinkAddress() const;
  Rgb TextColor(Control control) const;
  bool Busy() const;

 private:
  mutable std::mutex mutex_;
  std::string texts_[6];
  Rgb colors_[6] = {kBlack, kBlack, kBlack, kBlack, kSilver, kSilver};
  std::string caption_;
  std::string link_;
  bool busy_ = false;
};

}  // namespace qvod

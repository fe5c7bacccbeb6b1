#include "app/controls.h"

#include <utility>

namespace qvod {
namespace {

std::mutex g_controls_mutex;
std::shared_ptr<Controls> g_controls;

std::size_t Index(Control control) { return static_cast<std::size_t>(control); }

}  // namespace

void SetControls(std::shared_ptr<Controls> controls) {
  std::lock_guard lock(g_controls_mutex);
  g_controls = std::move(controls);
}

std::shared_ptr<Controls> GetControls() {
  std::lock_guard lock(g_controls_mutex);
  if (!g_controls) {
    g_controls = std::make_shared<HeadlessControls>();
  }
  return g_controls;
}

std::string HeadlessControls::Text(Control control) {
  std::lock_guard lock(mutex_);
  return texts_[Index(control)];
}

void HeadlessControls::SetText(Control control, std::string_view text) {
  std::lock_guard lock(mutex_);
  texts_[Index(control)] = std::string(text);
}

std::string HeadlessControls::TakeText(Control control) {
  std::lock_guard lock(mutex_);
  return std::exchange(texts_[Index(control)], std::string());
}

void HeadlessControls::AppendResult(std::string_view text) {
  std::lock_guard lock(mutex_);
  texts_[Index(Control::kResultBox)].append(text);
}

void HeadlessControls::SetWindowCaption(std::string_view text) {
  std::lock_guard lock(mutex_);
  caption_ = std::string(text);
}

void HeadlessControls::SetLinkAddress(std::string_view address) {
  std::lock_guard lock(mutex_);
  link_ = std::string(address);
}

void HeadlessControls::SetTextColor(Control control, Rgb color) {
  std::lock_guard lock(mutex_);
  colors_[Index(control)] = color;
}

void HeadlessControls::SetBusy(bool busy) {
  std::lock_guard lock(mutex_);
  busy_ = busy;
}

std::string HeadlessControls::WindowCaption() const {
  std::lock_guard lock(mutex_);
  return caption_;
}

std::string HeadlessControls::LinkAddress() const {
  std::lock_guard lock(mutex_);
  return link_;
}

Rgb HeadlessControls::TextColor(Control control) const {
  std::lock_guard lock(mutex_);
  return colors_[Index(control)];
}

bool HeadlessControls::Busy() const {
  std::lock_guard lock(mutex_);
  return busy_;
}

}  // namespace qvod

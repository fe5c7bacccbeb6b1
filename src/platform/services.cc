#include "platform/services.h"

#include <utility>

namespace qvod::platform {
namespace {

std::mutex g_services_mutex;
std::shared_ptr<Services> g_services;

}  // namespace

void SetServices(std::shared_ptr<Services> services) {
  std::lock_guard lock(g_services_mutex);
  g_services = std::move(services);
}

std::shared_ptr<Services> GetServices() {
  std::lock_guard lock(g_services_mutex);
  if (!g_services) {
    g_services = std::make_shared<HeadlessServices>();
  }
  return g_services;
}

HeadlessServices::HeadlessServices(std::string desktop_directory)
    : desktop_(std::move(desktop_directory)) {}

std::string HeadlessServices::DesktopDirectory() {
  std::lock_guard lock(mutex_);
  return desktop_;
}

MessageAnswer HeadlessServices::ShowMessage(std::string_view gbk_text, std::string_view gbk_caption,
                                            MessageStyle style) {
  std::lock_guard lock(mutex_);
  messages_.push_back({std::string(gbk_text), std::string(gbk_caption), style});
  if (!answers_.empty()) {
    const MessageAnswer answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  return style == MessageStyle::kYesNo ? MessageAnswer::kYes : MessageAnswer::kOk;
}

bool HeadlessServices::OpenFolder(const std::string& path) {
  std::lock_guard lock(mutex_);
  folders_.push_back(path);
  return true;
}

bool HeadlessServices::OpenUrl(const std::string& url) {
  std::lock_guard lock(mutex_);
  urls_.push_back(url);
  return true;
}

void HeadlessServices::SetDesktopDirectory(std::string path) {
  std::lock_guard lock(mutex_);
  desktop_ = std::move(path);
}

void HeadlessServices::PushAnswer(MessageAnswer answer) {
  std::lock_guard lock(mutex_);
  answers_.push_back(answer);
}

std::vector<HeadlessServices::Message> HeadlessServices::Messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::vector<std::string> HeadlessServices::OpenedFolders() const {
  std::lock_guard lock(mutex_);
  return folders_;
}

std::vector<std::string> HeadlessServices::OpenedUrls() const {
  std::lock_guard lock(mutex_);
  return urls_;
}

}  // namespace qvod::platform

// The desktop services that the core reaches through a small interface: the
// desktop directory, message boxes, and the shell's "open" and "explore".
// The window installs an implementation over Qt; the CLI and the tests install
// HeadlessServices.
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace qvod::platform {

enum class MessageStyle {
  kOk,             // OK button, no icon
  kInformationOk,  // information icon, OK button
  kYesNo,          // Yes and No buttons, no icon; Yes is the default
};

enum class MessageAnswer { kOk, kYes, kNo };

class Services {
 public:
  virtual ~Services() = default;

  // Returns the current user's desktop directory as a file-system path (UTF-8),
  // or an empty text when it cannot be determined. Never creates it.
  virtual std::string DesktopDirectory() = 0;

  // Shows a modal message without owner window and returns the answer. Texts are GBK.
  virtual MessageAnswer ShowMessage(std::string_view gbk_text, std::string_view gbk_caption,
                                    MessageStyle style) = 0;

  // Opens the folder (a UTF-8 path) in the file manager. Returns true when handed over.
  virtual bool OpenFolder(const std::string& path) = 0;

  // Opens a web address in the user's browser. Returns true when handed over.
  virtual bool OpenUrl(const std::string& url) = 0;
};

// Installs the services that the core uses from now on.
void SetServices(std::shared_ptr<Services> services);

// Returns the installed services; HeadlessServices when none were installed.
std::shared_ptr<Services> GetServices();

// Services for the CLI and the tests: a fixed desktop directory, scripted
// answers to messages, and a record of everything asked for. Thread-safe.
class HeadlessServices : public Services {
 public:
  struct Message {
    std::string text;     // GBK
    std::string caption;  // GBK
    MessageStyle style;
  };

  explicit HeadlessServices(std::string desktop_directory = {});

  std::string DesktopDirectory() override;
  // Answers with the next scripted answer, or with Yes (Yes/No) or OK when none is left.
  MessageAnswer ShowMessage(std::string_view gbk_text, std::string_view gbk_caption,
                            MessageStyle style) override;
  bool OpenFolder(const std::string& path) override;
  bool OpenUrl(const std::string& url) override;

  void SetDesktopDirectory(std::string path);
  void PushAnswer(MessageAnswer answer);
  std::vector<Message> Messages() const;
  std::vector<std::string> OpenedFolders() const;
  std::vector<std::string> OpenedUrls() const;

 private:
  mutable std::mutex mutex_;
  std::string desktop_;
  std::deque<MessageAnswer> answers_;
  std::vector<Message> messages_;
  std::vector<std::string> folders_;
  std::vector<std::string> urls_;
};

}  // namespace qvod::platform

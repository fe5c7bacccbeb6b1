#include "output/address_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/controls.h"
#include "platform/services.h"
#include "support/test_support.h"

namespace qvod {
namespace {

namespace fs = std::filesystem;
using platform::HeadlessServices;
using platform::MessageStyle;
using qvod::testing::Gbk;
using qvod::testing::ReadFile;
using qvod::testing::TempHome;

class AddressListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetServices(services_);
    SetControls(controls_);
  }
  void TearDown() override {
    platform::SetServices(nullptr);
    SetControls(nullptr);
  }

  void Save(std::string_view result_text) {
    controls_->SetText(Control::kResultBox, result_text);
    SaveAddressList();
  }

  std::vector<std::string> DesktopEntries() const {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(home_.desktop())) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  TempHome home_;
  const std::string list_path_ = home_.desktop() + "/种子地址.txt";
  std::shared_ptr<HeadlessServices> services_ = std::make_shared<HeadlessServices>(home_.desktop());
  std::shared_ptr<HeadlessControls> controls_ = std::make_shared<HeadlessControls>();
};

TEST_F(AddressListTest, SavesTheResultBoxByteForByte) {
  const std::string text = "qvod://1024|ABCD|first.rmvb|\r\n" +
                           Gbk("qvod://2048|EF01|超级战舰.rmvb|\r\n") + std::string("\0\xFF", 2);
  Save(text);
  EXPECT_EQ(ReadFile(list_path_), text);
  EXPECT_EQ(DesktopEntries(), std::vector<std::string>{"种子地址.txt"});
  EXPECT_TRUE(services_->Messages().empty());
}

TEST_F(AddressListTest, EachSaveReplacesTheWholeFile) {
  Save("qvod://1024|ABCD|first.rmvb|\r\nqvod://2048|EF01|second.rmvb|\r\n");
  Save(Gbk("请尝试其他通道"));
  EXPECT_EQ(ReadFile(list_path_), Gbk("请尝试其他通道"));
  EXPECT_EQ(DesktopEntries(), std::vector<std::string>{"种子地址.txt"});
}

TEST_F(AddressListTest, EmptyResultBoxKeepsTheEarlierFile) {
  qvod::testing::WriteFile(list_path_, "earlier");
  Save("");
  EXPECT_EQ(ReadFile(list_path_), "earlier");
  Save(" ");
  EXPECT_EQ(ReadFile(list_path_), " ");
  EXPECT_TRUE(services_->Messages().empty());
}

TEST_F(AddressListTest, WritesNothingWithoutAUsableDesktopDirectory) {
  services_->SetDesktopDirectory("");
  Save("list");
  EXPECT_FALSE(fs::exists("/种子地址.txt"));

  const std::string missing = home_.home() + "/NoDesktop";
  services_->SetDesktopDirectory(missing);
  Save("list");
  EXPECT_FALSE(fs::exists(missing));
  EXPECT_TRUE(services_->Messages().empty());
}

TEST_F(AddressListTest, FailedSaveLeavesNoTrace) {
  fs::create_directory(list_path_);
  EXPECT_FALSE(SaveAddressListTo(list_path_, "list"));
  EXPECT_TRUE(fs::is_directory(list_path_));
  EXPECT_EQ(DesktopEntries(), std::vector<std::string>{"种子地址.txt"});
}

struct RenameCase {
  const char* what;
  std::string result;
  std::string find;
  std::string replacement;
  std::string expected;  // the result box afterwards
  std::string refusal;   // the message shown, or empty
};

TEST_F(AddressListTest, BatchRenameReplacesThroughoutOrRefuses) {
  const RenameCase cases[] = {
      {"an empty find text is refused", "a.rmvb", "", "x", "a.rmvb", Gbk("请勿进行错误的操作")},
      {"a lone dot is refused", "a.rmvb", ".", "_", "a.rmvb",
       Gbk("禁止修改单个点，以防文件后缀错误，敬请谅解")},
      {"two dots are accepted", "a..b.rmvb", "..", "_", "a_b.rmvb", ""},
      {"a dot and a space are accepted", "a. b.rmvb", ". ", "_", "a_b.rmvb", ""},
      {"ASCII letters without regard to case", "x.rmvb|y.Rmvb|z.RMVB", "RMVB", "rmvb",
       "x.rmvb|y.rmvb|z.rmvb", ""},
      {"the replacement is not scanned again", "aba", "a", "aa", "aabaa", ""},
      {"an empty replacement deletes", "a-b-c", "-", "", "abc", ""},
      {"a find text that occurs nowhere", "a.rmvb", "zzz", "y", "a.rmvb", ""},
      {"every part of every line", "qvod://1|qvod.rmvb|\r\nqvod://2|b.rmvb|\r\n", "qvod", "QV",
       "QV://1|QV.rmvb|\r\nQV://2|b.rmvb|\r\n", ""},
      {"Chinese text", Gbk("超级战舰.预告片.rmvb"), Gbk(".预告片"), "", Gbk("超级战舰.rmvb"), ""},
  };
  for (const RenameCase& c : cases) {
    SCOPED_TRACE(c.what);
    services_ = std::make_shared<HeadlessServices>(home_.desktop());
    platform::SetServices(services_);
    controls_->SetText(Control::kResultBox, c.result);
    controls_->SetText(Control::kFindBox, c.find);
    controls_->SetText(Control::kReplaceBox, c.replacement);

    BatchRename();

    EXPECT_EQ(controls_->Text(Control::kResultBox), c.expected);
    const std::vector<HeadlessServices::Message> messages = services_->Messages();
    if (c.refusal.empty()) {
      EXPECT_TRUE(messages.empty());
      EXPECT_EQ(controls_->Text(Control::kFindBox), "");
      EXPECT_EQ(controls_->Text(Control::kReplaceBox), "");
    } else {
      ASSERT_EQ(messages.size(), 1u);
      EXPECT_EQ(messages[0].text, c.refusal);
      EXPECT_EQ(messages[0].caption, Gbk("信息："));
      EXPECT_EQ(messages[0].style, MessageStyle::kInformationOk);
      EXPECT_EQ(controls_->Text(Control::kFindBox), c.find);
      EXPECT_EQ(controls_->Text(Control::kReplaceBox), c.replacement);
    }
  }
}

}  // namespace
}  // namespace qvod

#include "output/seed_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
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
using platform::MessageAnswer;
using platform::MessageStyle;
using qvod::testing::Gbk;
using qvod::testing::ReadFile;
using qvod::testing::TempHome;
using Files = std::map<std::string, std::string>;  // UTF-8 file name -> content

// The seed file format, written out independently of the writer.
std::string Seed(std::string_view line) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
         "<qsed version=\"5.0.77.0\"><entry><ref href=\"" +
         std::string(line) + "\"/></entry></qsed>";
}

Files FolderContents(const std::string& folder) {
  Files files;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    files[entry.path().filename().string()] =
        entry.is_regular_file() ? ReadFile(entry.path().string()) : "<folder>";
  }
  return files;
}

// --- The split rule and the name list ---

struct SplitCase {
  const char* what;
  std::string text;
  std::string delimiter;
  std::vector<std::string> pieces;
};

const SplitCase kSplitCases[] = {
    {"empty text", "", "\r\n", {}},
    {"empty delimiter", "a\r\nb", "", {"a\r\nb"}},
    {"no delimiter", "abc", "|", {"abc"}},
    {"lines ending with CR LF", "a\r\nb\r\n", "\r\n", {"a", "b"}},
    {"an empty line inside", "a\r\n\r\nb", "\r\n", {"a", "", "b"}},
    {"an empty line at the end", "a\r\n\r\n", "\r\n", {"a", ""}},
    {"a lone CR LF", "\r\n", "\r\n", {""}},
    {"delimiters at the start and in a row", "|a||b", "|", {"", "a", "", "b"}},
    {"a delimiter inside a double-byte character", "\xB0|x|y", "|", {"\xB0|x", "y"}},
    {"a lead byte at the very end", "a|\xB0", "|", {"a", "\xB0"}},
    {"a longer delimiter", "xabyab", "ab", {"x", "y"}},
    {"a delimiter compared with case", "xAByab", "ab", {"xABy"}},
};

TEST(SplitText, CutsByTheSplitRule) {
  for (const SplitCase& c : kSplitCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(SplitText(c.text, c.delimiter), c.pieces);
  }
}

struct NamesCase {
  const char* what;
  std::string text;
  std::vector<std::string> names;
  std::string marker = ".";
  bool case_insensitive = false;
  int maximum_length = 0;
  std::string prefix = "";
  std::string suffix = "";
  bool delimiter_in_front = false;
  bool marker_behind = false;
};

const NamesCase kNamesCases[] = {
    {.what = "link lines", .text = "q://1|a.rmvb|\r\nq://2|b.avi|\r\n", .names = {"a", "b"}},
    {.what = "the first piece gives none", .text = "a.rmvb|b.rmvb", .names = {"b"}},
    {.what = "a piece without marker gives none", .text = "q|abc|d.e", .names = {"d"}},
    {.what = "cut at the first marker", .text = "q|a.b.rmvb", .names = {"a"}},
    {.what = "a piece that begins with the marker", .text = "q|.x", .names = {""}},
    {.what = "a marker inside a double-byte character", .text = "q|\xB0.x.y", .names = {"\xB0.x"}},
    {.what = "marker compared with case", .text = "q|aXb|cxd", .names = {"a"}, .marker = "X"},
    {.what = "marker without regard to case",
     .text = "q|aXb|cxd",
     .names = {"a", "c"},
     .marker = "X",
     .case_insensitive = true},
    {.what = "an empty marker occurs nowhere", .text = "q|a.b", .names = {}, .marker = ""},
    {.what = "a maximum length", .text = "q|abc.x|abcd.x", .names = {"abc"}, .maximum_length = 3},
    {.what = "a negative maximum length", .text = "q|abc.x", .names = {}, .maximum_length = -1},
    {.what = "prefix and suffix", .text = "q|a.x", .names = {"<a>"}, .prefix = "<", .suffix = ">"},
    {.what = "delimiter in front", .text = "q|a.x", .names = {"|a"}, .delimiter_in_front = true},
    {.what = "marker behind", .text = "q|a.x", .names = {"a."}, .marker_behind = true},
    {.what = "every affix at once",
     .text = "q|a.x",
     .names = {"|<a>."},
     .prefix = "<",
     .suffix = ">",
     .delimiter_in_front = true,
     .marker_behind = true},
};

TEST(CollectNames, TakesTheNameOfEveryPieceAfterTheFirst) {
  for (const NamesCase& c : kNamesCases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> names = {"left over"};
    EXPECT_EQ(CollectNames(c.text, "|", c.marker, names, c.case_insensitive, c.maximum_length,
                           c.prefix, c.suffix, c.delimiter_in_front, c.marker_behind),
              static_cast<int>(c.names.size()));
    EXPECT_EQ(names, c.names);
  }
}

// --- Seed file paths ---

TEST(SeedFilePath, KeepsEveryFileInsideTheFolder) {
  const std::string folder = "/desk/seeds";
  EXPECT_EQ(SeedFilePath(folder, "first"), folder + "/first.qsed");
  EXPECT_EQ(SeedFilePath(folder, ""), folder + "/.qsed");
  EXPECT_EQ(SeedFilePath(folder, ".."), folder + "/...qsed");
  EXPECT_EQ(SeedFilePath(folder, Gbk("超级战舰")), folder + "/超级战舰.qsed");
  EXPECT_EQ(SeedFilePath(folder, std::string(250, 'n')),
            folder + "/" + std::string(250, 'n') + ".qsed");

  EXPECT_EQ(SeedFilePath(folder, "../up"), std::nullopt);
  EXPECT_EQ(SeedFilePath(folder, "/etc/x"), std::nullopt);
  EXPECT_EQ(SeedFilePath(folder, std::string("a\0b", 3)), std::nullopt);
  EXPECT_EQ(SeedFilePath(folder, std::string(251, 'n')), std::nullopt);
  // 84 characters: 168 bytes in GBK, 252 in UTF-8, too long with ".qsed".
  std::string chinese;
  for (int i = 0; i < 84; ++i) {
    chinese += Gbk("种");
  }
  EXPECT_EQ(SeedFilePath(folder, chinese), std::nullopt);
}

// --- 一键转种 ---

class WriteSeedFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetServices(services_);
    SetControls(controls_);
  }
  void TearDown() override {
    platform::SetServices(nullptr);
    SetControls(nullptr);
  }

  void Run(std::string_view result_text, MessageAnswer answer = MessageAnswer::kYes) {
    controls_->SetText(Control::kResultBox, result_text);
    services_->PushAnswer(answer);
    WriteSeedFiles();
  }

  // The messages after the confirmation.
  std::vector<HeadlessServices::Message> Reports() const {
    std::vector<HeadlessServices::Message> messages = services_->Messages();
    EXPECT_FALSE(messages.empty());
    if (!messages.empty()) {
      messages.erase(messages.begin());
    }
    return messages;
  }

  TempHome home_;
  const std::string folder_ = home_.desktop() + "/种子文件";
  std::shared_ptr<HeadlessServices> services_ = std::make_shared<HeadlessServices>(home_.desktop());
  std::shared_ptr<HeadlessControls> controls_ = std::make_shared<HeadlessControls>();
};

const std::string kTwoLines = "qvod://1024|ABCD|first.rmvb|\r\nqvod://2048|EF01|second.rmvb|\r\n";

TEST_F(WriteSeedFilesTest, AsksFirstAndDoesNothingOnNo) {
  Run(kTwoLines, MessageAnswer::kNo);
  const std::vector<HeadlessServices::Message> messages = services_->Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, Gbk("种子文件名不允许存在两个点或者没有点，|超级战舰.预告片.rmvb|或|"
                                  "超级战舰rmvb|\r\n为了确保转换质量，如有上述情况请使用批量更名"
                                  "功能！"));
  EXPECT_EQ(messages[0].caption, Gbk("使用需知"));
  EXPECT_EQ(messages[0].style, MessageStyle::kYesNo);
  EXPECT_FALSE(fs::exists(folder_));
  EXPECT_TRUE(services_->OpenedFolders().empty());
}

TEST_F(WriteSeedFilesTest, WritesOneFilePerLinkAndOpensTheFolder) {
  Run(kTwoLines);
  const std::string first = Seed("qvod://1024|ABCD|first.rmvb|");
  EXPECT_EQ(first.size(), 129u);
  EXPECT_EQ(FolderContents(folder_),
            (Files{{"first.qsed", first}, {"second.qsed", Seed("qvod://2048|EF01|second.rmvb|")}}));
  EXPECT_EQ(services_->OpenedFolders(), std::vector<std::string>{folder_});
  EXPECT_TRUE(Reports().empty());
  EXPECT_EQ(controls_->Text(Control::kResultBox), kTwoLines);
}

TEST_F(WriteSeedFilesTest, EmptyResultBoxCreatesNothing) {
  Run("");
  const std::vector<HeadlessServices::Message> reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].text, Gbk("没有任何种子文件"));
  EXPECT_EQ(reports[0].caption, Gbk("信息："));
  EXPECT_EQ(reports[0].style, MessageStyle::kInformationOk);
  EXPECT_FALSE(fs::exists(folder_));
  EXPECT_TRUE(services_->OpenedFolders().empty());
}

TEST_F(WriteSeedFilesTest, TextWithoutNamesLeavesAnEmptyFolderUnopened) {
  for (const std::string& text : {std::string("movie.rmvb"), Gbk("请尝试其他通道")}) {
    SCOPED_TRACE(text);
    Run(text);
    const std::vector<HeadlessServices::Message> reports = Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].text, Gbk("请选择正确的种子文件！"));
    EXPECT_EQ(reports[0].caption, Gbk("信息："));
    EXPECT_EQ(reports[0].style, MessageStyle::kOk);
    EXPECT_TRUE(fs::is_directory(folder_));
    EXPECT_TRUE(FolderContents(folder_).empty());
    EXPECT_TRUE(services_->OpenedFolders().empty());
    services_ = std::make_shared<HeadlessServices>(home_.desktop());
    platform::SetServices(services_);
  }
}

struct PairingCase {
  const char* what;
  std::string text;
  Files files;  // content given as the link line
};

const PairingCase kPairingCases[] = {
    {"two dots: cut at the first",
     "qvod://1|A|a.b.rmvb|\r\n",
     {{"a.qsed", "qvod://1|A|a.b.rmvb|"}}},
    {"a name without a dot shifts the later names onto earlier lines",
     "qvod://1|A|one|\r\nqvod://2|B|two.rmvb|\r\nqvod://3|C|three.rmvb|\r\n",
     {{"two.qsed", "qvod://1|A|one|"}, {"three.qsed", "qvod://2|B|two.rmvb|"}}},
    {"an empty line counts as a line",
     "qvod://1|A|one.rmvb|\r\n\r\nqvod://2|B|two.rmvb|\r\n",
     {{"one.qsed", "qvod://1|A|one.rmvb|"}, {"two.qsed", ""}}},
    {"more lines than names",
     "qvod://1|A|one.rmvb|\r\nplain line\r\n",
     {{"one.qsed", "qvod://1|A|one.rmvb|"}}},
    {"a dot in the hash gives an extra name and shifts the pairing",
     "qvod://1|A.B|one.rmvb|\r\nqvod://2|C|two.rmvb|\r\n",
     {{"A.qsed", "qvod://1|A.B|one.rmvb|"}, {"one.qsed", "qvod://2|C|two.rmvb|"}}},
    {"equal names: the later one wins",
     "qvod://1|A|same.rmvb|\r\nqvod://2|B|same.avi|\r\n",
     {{"same.qsed", "qvod://2|B|same.avi|"}}},
    {"names outnumbering lines",
     "qvod://1|A|one.rmvb|two.rmvb|three.rmvb|",
     {{"one.qsed", "qvod://1|A|one.rmvb|two.rmvb|three.rmvb|"}}},
    {"a name that begins with the dot", "qvod://1|A|.rmvb|\r\n", {{".qsed", "qvod://1|A|.rmvb|"}}},
    {"the first piece gives no name", "a.rmvb|b.rmvb", {{"b.qsed", "a.rmvb|b.rmvb"}}},
    {"XML characters are written unchanged",
     "qvod://1|A&<\"|x.rmvb|\r\n",
     {{"x.qsed", "qvod://1|A&<\"|x.rmvb|"}}},
    {"a name with a slash is skipped and cannot climb out",
     "qvod://1|A|../up.rmvb|\r\nqvod://2|B|sub/x.rmvb|\r\nqvod://3|C|ok.rmvb|\r\n",
     {{".qsed", "qvod://1|A|../up.rmvb|"}, {"ok.qsed", "qvod://3|C|ok.rmvb|"}}},
};

TEST_F(WriteSeedFilesTest, PairsNameIWithLineI) {
  for (const PairingCase& c : kPairingCases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(folder_);
    services_ = std::make_shared<HeadlessServices>(home_.desktop());
    platform::SetServices(services_);
    Run(c.text);
    Files expected;
    for (const auto& [name, line] : c.files) {
      expected[name] = Seed(line);
    }
    EXPECT_EQ(FolderContents(folder_), expected);
    EXPECT_EQ(services_->OpenedFolders(), std::vector<std::string>{folder_});
    EXPECT_TRUE(Reports().empty());
    EXPECT_EQ(FolderContents(home_.desktop()).size(), 1u);
  }
}

TEST_F(WriteSeedFilesTest, ChineseNamesBecomeUtf8FileNamesWithGbkContents) {
  const std::string line = Gbk("qvod://1|A|超级战舰.预告片.rmvb|");
  Run(line + "\r\n");
  EXPECT_EQ(FolderContents(folder_), (Files{{"超级战舰.qsed", Seed(line)}}));
}

TEST_F(WriteSeedFilesTest, ReusesTheFolderAndReplacesOnlyItsOwnFiles) {
  fs::create_directory(folder_);
  qvod::testing::WriteFile(folder_ + "/other.txt", "stays");
  qvod::testing::WriteFile(folder_ + "/first.qsed", std::string(500, 'o'));
  Run(kTwoLines);
  EXPECT_EQ(FolderContents(folder_),
            (Files{{"other.txt", "stays"},
                   {"first.qsed", Seed("qvod://1024|ABCD|first.rmvb|")},
                   {"second.qsed", Seed("qvod://2048|EF01|second.rmvb|")}}));
}

TEST_F(WriteSeedFilesTest, SkipsAFileThatCannotBeWritten) {
  fs::create_directories(folder_ + "/first.qsed");
  Run(kTwoLines);
  EXPECT_EQ(
      FolderContents(folder_),
      (Files{{"first.qsed", "<folder>"}, {"second.qsed", Seed("qvod://2048|EF01|second.rmvb|")}}));
  EXPECT_EQ(services_->OpenedFolders(), std::vector<std::string>{folder_});
  EXPECT_TRUE(Reports().empty());
}

TEST_F(WriteSeedFilesTest, NeverCreatesTheDesktopDirectory) {
  const std::string missing = home_.home() + "/NoDesktop";
  services_->SetDesktopDirectory(missing);
  Run(kTwoLines);
  EXPECT_FALSE(fs::exists(missing));
  EXPECT_TRUE(Reports().empty());
}

TEST_F(WriteSeedFilesTest, WritesNothingWithoutADesktopDirectory) {
  services_->SetDesktopDirectory("");
  Run(kTwoLines);
  EXPECT_FALSE(fs::exists("/种子文件"));
  EXPECT_TRUE(services_->OpenedFolders().empty());
  EXPECT_TRUE(Reports().empty());
}

TEST(WriteSeedFilesTo, ReportsWhatItWroteAndSkipped) {
  TempHome home;
  const std::string folder = home.desktop() + "/seeds";
  const SeedReport report =
      WriteSeedFilesTo(folder, "qvod://1|A|one.rmvb|\r\nqvod://2|B|x/y.rmvb|extra.rmvb|");
  EXPECT_EQ(report.names, 3);
  EXPECT_EQ(report.written, 1);
  EXPECT_EQ(report.skipped, (std::vector<std::string>{"x/y", "extra"}));
  EXPECT_EQ(FolderContents(folder), (Files{{"one.qsed", Seed("qvod://1|A|one.rmvb|")}}));
}

}  // namespace
}  // namespace qvod

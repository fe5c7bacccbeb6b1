#include "cli/cli.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>

#include "app/controls.h"
#include "app/shared_state.h"
#include "app/startup.h"
#include "app/workers.h"
#include "extract/channels.h"
#include "fetch/fetcher.h"
#include "output/address_list.h"
#include "output/seed_files.h"
#include "platform/codepage.h"
#include "platform/services.h"

namespace qvod {
namespace {

struct Options {
  std::optional<int> channel;  // empty: auto
  bool raw = false;
  std::string save_file;
  std::string seeds_dir;
  std::vector<std::string> urls;
};

// Brings up the core once per process: components, shared state, headless
// controls and services, and the output lock that the window would create.
void EnsureStarted() {
  static std::once_flag once;
  std::call_once(once, [] {
    StartUp();
    SetControls(std::make_shared<HeadlessControls>());
    platform::SetServices(std::make_shared<platform::HeadlessServices>());
    if (auto state = SharedStateRef()) {
      state->OutputLock = CreateLock();
    }
  });
}

std::string Utf8Lines(std::string_view gbk) {
  std::string utf8 = platform::GbkToUtf8(gbk);
  // CR LF becomes LF in place.
  std::size_t kept = 0;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') {
      continue;
    }
    utf8[kept++] = utf8[i];
  }
  utf8.resize(kept);
  return utf8;
}

std::string FailureReason(int channel) {
  const FetchOutcome outcome = LastFetchOutcome();
  const std::string form = "no links of channel " + std::to_string(channel) + "'s form";
  switch (outcome.failure) {
    case FetchFailure::kNone:
      if (outcome.http_status >= 400) {
        return form + " (HTTP status " + std::to_string(outcome.http_status) + ")";
      }
      return form;
    case FetchFailure::kNoComponent:
      return "no HTTP component available";
    case FetchFailure::kRefused:
      return "fetch failed: connection refused" +
             (outcome.message.empty() ? std::string() : " (" + outcome.message + ")");
    case FetchFailure::kTimedOut:
      return "fetch failed: timed out" +
             (outcome.message.empty() ? std::string() : " (" + outcome.message + ")");
    case FetchFailure::kTooLarge:
      return "fetch failed: page too large";
    case FetchFailure::kBadUrl:
      return "fetch failed: bad address" +
             (outcome.message.empty() ? std::string() : " (" + outcome.message + ")");
    case FetchFailure::kOther:
      break;
  }
  return "fetch failed" + (outcome.message.empty() ? std::string() : ": " + outcome.message);
}

// Runs channel over the address now in the address box; returns the result
// box, taken out of the headless controls rather than copied.
std::string RunOne(int channel) {
  const auto controls = GetControls();
  controls->SetText(Control::kResultBox, "");
  RunChannel(channel);
  if (auto* headless = dynamic_cast<HeadlessControls*>(controls.get())) {
    return headless->TakeText(Control::kResultBox);
  }
  return controls->Text(Control::kResultBox);
}

bool HasLinks(const std::string& box) { return !box.empty() && box != kNoMatchText; }

// Returns 0 on success, 2 with a message on err for a usage error, or -1 for
// --help/--version (already answered).
int Parse(const std::vector<std::string>& args, Options& options, std::ostream& out,
          std::ostream& err) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= args.size()) {
        err << "qvodgrab-cli: " << arg << " needs a value\n";
        return false;
      }
      into = args[++i];
      return true;
    };
    if (arg == "-h" || arg == "--help") {
      out << CliUsage();
      return -1;
    }
    if (arg == "--version") {
      out << "qvodgrab-cli " << QVOD_VERSION << "\n";
      return -1;
    }
    if (arg == "--raw") {
      options.raw = true;
    } else if (arg == "-c" || arg == "--channel") {
      std::string channel;
      if (!value(channel)) {
        return 2;
      }
      if (channel == "1" || channel == "2" || channel == "3") {
        options.channel = channel[0] - '0';
      } else if (channel == "auto") {
        options.channel.reset();
      } else {
        err << "qvodgrab-cli: unknown channel '" << channel << "' (1, 2, 3 or auto)\n";
        return 2;
      }
    } else if (arg == "-o" || arg == "--save") {
      if (!value(options.save_file)) {
        return 2;
      }
    } else if (arg == "--seeds") {
      if (!value(options.seeds_dir)) {
        return 2;
      }
    } else if (arg == "--") {
      options.urls.insert(options.urls.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    } else if (arg.size() > 1 && arg[0] == '-') {
      err << "qvodgrab-cli: unknown option '" << arg << "'\n";
      return 2;
    } else {
      options.urls.push_back(arg);
    }
  }
  if (options.urls.empty()) {
    err << "qvodgrab-cli: no address given (try --help)\n";
    return 2;
  }
  return 0;
}

}  // namespace

std::string CliUsage() {
  return "Usage: qvodgrab-cli [OPTION]... URL...\n"
         "Fetch each movie page URL and print the qvod:// links it carries, one per line.\n"
         "\n"
         "  -c, --channel N   extraction channel: 1, 2, 3 or auto (default: auto,\n"
         "                    tries 1, 2, 3 in turn and keeps the first that finds links)\n"
         "                      1  links written qvod://a|b|c| (colon and bars may be %-encoded)\n"
         "                      2  links written qvod%3A%2F%2Fa%7Cb%7Cc%7C\n"
         "                      3  links held in the page's /playdata/ script\n"
         "      --raw         write the result box's exact bytes (GBK, CR LF)\n"
         "                    instead of UTF-8 lines ending in LF\n"
         "  -o, --save FILE   also save the links as the address list file FILE\n"
         "      --seeds DIR   also write one .qsed seed file per link into DIR\n"
         "  -h, --help        show this help and exit\n"
         "      --version     show the version and exit\n"
         "\n"
         "Exit status: 0 when every URL gave links, 1 when one gave none (the reason\n"
         "is printed on standard error), 2 on a usage error.\n";
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Options options;
  const int parsed = Parse(args, options, out, err);
  if (parsed == -1) {
    return 0;
  }
  if (parsed != 0) {
    return parsed;
  }
  EnsureStarted();
  const auto controls = GetControls();

  int status = 0;
  const bool keeps_all = !options.save_file.empty() || !options.seeds_dir.empty();
  std::string all;  // every run's result box, in turn, when a file is to be written from them
  for (const std::string& url : options.urls) {
    controls->SetText(Control::kAddressBox, platform::Utf8ToGbk(url));
    std::string box;
    std::string reason;
    const int first = options.channel.value_or(1);
    const int last = options.channel.value_or(3);
    for (int channel = first; channel <= last; ++channel) {
      box = RunOne(channel);
      if (HasLinks(box)) {
        break;
      }
      reason = FailureReason(channel);
      // A fetch that failed fails the same way on every channel.
      if (LastFetchOutcome().failure != FetchFailure::kNone) {
        break;
      }
    }
    if (!HasLinks(box)) {
      if (!options.channel && reason.rfind("no links", 0) == 0) {
        reason = "no links of any channel's form";
      }
      err << "qvodgrab-cli: " << url << ": " << reason << "\n";
      status = 1;
      continue;
    }
    if (options.raw) {
      out << box;
    } else {
      out << Utf8Lines(box);
    }
    out.flush();
    if (keeps_all) {
      if (all.empty()) {
        all = std::move(box);
      } else {
        all += box;
      }
    }
  }

  if (!options.save_file.empty() && !all.empty()) {
    if (!SaveAddressListTo(options.save_file, all)) {
      err << "qvodgrab-cli: could not write " << options.save_file << "\n";
      status = 1;
    }
  }
  if (!options.seeds_dir.empty() && !all.empty()) {
    const SeedReport report = WriteSeedFilesTo(options.seeds_dir, all);
    for (const std::string& name : report.skipped) {
      err << "qvodgrab-cli: skipped seed file '" << platform::GbkToUtf8(name) << "'\n";
    }
    if (report.names == 0) {
      err << "qvodgrab-cli: no seed file names found\n";
    }
  }
  return status;
}

}  // namespace qvod

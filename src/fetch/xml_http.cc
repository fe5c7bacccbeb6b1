#include "fetch/xml_http.h"

#include <curl/curl.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "automation/automation.h"
#include "platform/codepage.h"

namespace qvod {
namespace {

using automation::CallKind;
using automation::MemberIs;
using automation::Variant;
using Clock = std::chrono::steady_clock;

// Disguise as a browser: some sites answer other clients with a different page.
constexpr char kUserAgent[] =
    "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/120.0.0.0 Safari/537.36";

std::mutex g_limits_mutex;
HttpLimits g_limits;

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool IsToken(std::string_view text) {
  if (text.empty()) {
    return false;
  }
  return std::all_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u > 0x20 && u < 0x7F &&
           std::string_view("()<>@,;:\\\"/[]?={}").find(c) == std::string_view::npos;
  });
}

// Returns true when text would end a header line early or split it.
bool BreaksHeaderLine(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos ||
         text.find('\0') != std::string_view::npos;
}

// The address as curl takes it: Unicode as UTF-8, and every byte that may not
// stand in a URL (blanks, controls, non-ASCII) percent-encoded, as a browser
// sends it.
std::string WireUrl(std::string_view gbk) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const std::string utf8 = platform::GbkToUtf8(gbk);
  std::string out;
  out.reserve(utf8.size());
  for (const char c : utf8) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7F) {
      out.push_back('%');
      out.push_back(kHex[u >> 4]);
      out.push_back(kHex[u & 0x0F]);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// The XML HTTP request object over one curl easy handle.
class XmlHttpRequest final : public automation::Object {
 public:
  XmlHttpRequest(CURL* curl, const HttpLimits& limits) : curl_(curl), limits_(limits) {}
  ~XmlHttpRequest() override { curl_easy_cleanup(curl_); }
  XmlHttpRequest(const XmlHttpRequest&) = delete;
  XmlHttpRequest& operator=(const XmlHttpRequest&) = delete;

  bool Invoke(std::string_view member, CallKind kind, std::span<const Variant> args,
              Variant& result) override {
    std::lock_guard lock(mutex_);
    if (kind == CallKind::kPut) {
      return false;
    }
    if (MemberIs(member, "open")) {
      return Open(args);
    }
    if (MemberIs(member, "setRequestHeader")) {
      return SetRequestHeader(args);
    }
    if (MemberIs(member, "send")) {
      return Send(args);
    }
    if (!args.empty()) {
      return false;
    }
    if (MemberIs(member, "abort")) {
      // Requests are synchronous, so nothing is in flight: the object forgets
      // the request and its response, and gives back the body's storage.
      ForgetResponse();
      opened_ = false;
      headers_.clear();
      return true;
    }
    if (MemberIs(member, "responseBody")) {
      if (!has_response_) {
        return false;
      }
      result = automation::Bytes{body_};
      return true;
    }
    if (MemberIs(member, "takeResponseBody")) {
      if (!has_response_) {
        return false;
      }
      result = automation::Bytes{std::exchange(body_, std::string())};
      return true;
    }
    if (MemberIs(member, "status")) {
      // Also after a failure that came after the status line (a body too large).
      if (status_ == 0) {
        return false;
      }
      result = static_cast<std::int32_t>(status_);
      return true;
    }
    if (MemberIs(member, "statusText")) {
      if (!has_response_) {
        return false;
      }
      result = status_text_;
      return true;
    }
    if (MemberIs(member, "failureKind")) {
      result = static_cast<std::int32_t>(failure_);
      return true;
    }
    if (MemberIs(member, "failureText")) {
      result = failure_text_;
      return true;
    }
    return false;
  }

 private:
  using Headers = std::vector<std::pair<std::string, std::string>>;
  static constexpr int kMaxRedirects = 10;

  struct Transfer {
    XmlHttpRequest* self;
    Clock::time_point window_start;
    curl_off_t window_bytes = 0;
    bool stalled = false;
    bool too_large = false;
  };

  // Empties the body and gives its storage back: the object lives as long as
  // the program, and a body refused at the cap has grown it to the cap.
  void DropBody() { std::string().swap(body_); }

  void ForgetResponse() {
    has_response_ = false;
    DropBody();
    status_ = 0;
    status_text_.clear();
    failure_ = HttpFailureKind::kNone;
    failure_text_.clear();
  }

  // open(method, url[, async]). Requests are always synchronous.
  bool Open(std::span<const Variant> args) {
    std::string method;
    std::string url;
    if (args.size() < 2 || args.size() > 5 || !args[0].ToText(method) || !args[1].ToText(url) ||
        !IsToken(method)) {
      return false;
    }
    ForgetResponse();
    for (char& c : method) {
      if (c >= 'a' && c <= 'z') {
        c = static_cast<char>(c - 'a' + 'A');
      }
    }
    method_ = std::move(method);
    url_ = WireUrl(url);
    headers_.clear();
    opened_ = true;
    return true;
  }

  bool SetRequestHeader(std::span<const Variant> args) {
    std::string name;
    std::string value;
    if (!opened_ || args.size() != 2 || !args[0].ToText(name) || !args[1].ToText(value) ||
        !IsToken(name) || BreaksHeaderLine(value)) {
      return false;
    }
    headers_.emplace_back(std::move(name), std::move(value));
    return true;
  }

  // The header lines as set. A Content-Length that disagrees with the body is
  // corrected in place, so the server never waits for bytes that do not come.
  static curl_slist* HeaderList(const Headers& headers, bool sends_body, std::size_t body_size) {
    curl_slist* list = curl_slist_append(nullptr, "Expect:");
    for (const auto& [name, value] : headers) {
      std::string line = name;
      if (MemberIs(name, "Content-Length")) {
        if (!sends_body) {
          continue;
        }
        line += ": " + std::to_string(body_size);
      } else if (value.empty()) {
        // "Name;" is curl's way of sending a header with an empty value.
        line += ";";
      } else {
        line += ": " + value;
      }
      list = curl_slist_append(list, line.c_str());
    }
    return list;
  }

  // Runs one exchange with the server, without following a redirect.
  CURLcode Perform(const std::string& url, const std::string& method, const std::string& body,
                   curl_slist* headers, Transfer& transfer, char* error) {
    DropBody();
    status_text_.clear();
    transfer.window_start = Clock::now();
    transfer.window_bytes = 0;

    curl_easy_reset(curl_);
    curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl_, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl_, CURLOPT_ACCEPT_ENCODING, "");
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(curl_, CURLOPT_PROTOCOLS_STR, "http,https");
#else
    curl_easy_setopt(curl_, CURLOPT_PROTOCOLS, CURLPROTO_HTTP | CURLPROTO_HTTPS);
#endif
    curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(limits_.connect_timeout.count()));
    curl_easy_setopt(curl_, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(std::min<std::uint64_t>(
                         limits_.max_body, std::numeric_limits<curl_off_t>::max())));
    // Large reads: fewer wake-ups per megabyte on big pages.
    curl_easy_setopt(curl_, CURLOPT_BUFFERSIZE, 512L * 1024);
    curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, &XmlHttpRequest::OnBody);
    curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl_, CURLOPT_HEADERFUNCTION, &XmlHttpRequest::OnHeader);
    curl_easy_setopt(curl_, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl_, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl_, CURLOPT_XFERINFOFUNCTION, &XmlHttpRequest::OnProgress);
    curl_easy_setopt(curl_, CURLOPT_XFERINFODATA, &transfer);
    if (method == "GET") {
      curl_easy_setopt(curl_, CURLOPT_HTTPGET, 1L);
    } else if (method == "HEAD") {
      curl_easy_setopt(curl_, CURLOPT_NOBODY, 1L);
    } else {
      curl_easy_setopt(curl_, CURLOPT_POST, 1L);
      curl_easy_setopt(curl_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
      curl_easy_setopt(curl_, CURLOPT_POSTFIELDS, body.data());
      if (method != "POST") {
        curl_easy_setopt(curl_, CURLOPT_CUSTOMREQUEST, method.c_str());
      }
    }
    const CURLcode code = curl_easy_perform(curl_);
    long status = 0;
    curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &status);
    status_ = status;
    return code;
  }

  // Redirects are followed here rather than by curl, because curl would repeat
  // a set Content-Length on the GET that follows a POST, and the server would
  // then wait for a body that never comes.
  bool Send(std::span<const Variant> args) {
    std::string body;
    if (!opened_ || args.size() > 1 ||
        (args.size() == 1 && !args[0].IsEmpty() && !args[0].ToText(body) &&
         !args[0].ToBytes(body))) {
      return false;
    }
    ForgetResponse();
    opened_ = false;

    std::string method = method_;
    std::string url = url_;
    Headers headers = headers_;
    char error[CURL_ERROR_SIZE] = {};
    Transfer transfer{this, Clock::now()};
    for (int redirects = 0;; ++redirects) {
      // A browser sends no body with GET or HEAD.
      const bool sends_body = method != "GET" && method != "HEAD";
      if (!sends_body) {
        body.clear();
      }
      error[0] = '\0';
      curl_slist* list = HeaderList(headers, sends_body, body.size());
      const CURLcode code = Perform(url, method, body, list, transfer, error);
      curl_slist_free_all(list);
      if (code != CURLE_OK) {
        DropBody();
        RecordFailure(code, error, transfer);
        return false;
      }
      const char* location = nullptr;
      const bool redirected =
          status_ == 301 || status_ == 302 || status_ == 303 || status_ == 307 || status_ == 308;
      if (!redirected || curl_easy_getinfo(curl_, CURLINFO_REDIRECT_URL, &location) != CURLE_OK ||
          location == nullptr) {
        break;
      }
      if (redirects == kMaxRedirects) {
        DropBody();
        failure_ = HttpFailureKind::kOther;
        failure_text_ = "more than " + std::to_string(kMaxRedirects) + " redirects";
        return false;
      }
      url = location;
      // As browsers do: 303 turns any method but HEAD into GET, 301 and 302 turn POST into GET.
      if ((status_ == 303 && method != "HEAD") ||
          ((status_ == 301 || status_ == 302) && method == "POST")) {
        method = "GET";
        std::erase_if(headers, [](const auto& header) {
          return MemberIs(header.first, "Content-Length") || MemberIs(header.first, "Content-Type");
        });
      }
    }
    has_response_ = true;
    if (status_ >= 400) {
      failure_text_ = "HTTP status " + std::to_string(status_);
      if (!status_text_.empty()) {
        failure_text_ += " " + status_text_;
      }
    }
    return true;
  }

  void RecordFailure(CURLcode code, const char* error, const Transfer& transfer) {
    const std::string detail = *error != '\0' ? error : curl_easy_strerror(code);
    if (transfer.too_large || code == CURLE_FILESIZE_EXCEEDED) {
      failure_ = HttpFailureKind::kTooLarge;
      failure_text_ = "the page is larger than " + std::to_string(limits_.max_body) + " bytes";
      return;
    }
    if (transfer.stalled) {
      failure_ = HttpFailureKind::kTimedOut;
      failure_text_ = "fewer than " + std::to_string(limits_.stall_bytes) + " bytes arrived in " +
                      std::to_string(limits_.stall_time.count()) + " ms";
      return;
    }
    failure_text_ = detail;
    switch (code) {
      case CURLE_COULDNT_CONNECT:
      case CURLE_COULDNT_RESOLVE_HOST:
      case CURLE_COULDNT_RESOLVE_PROXY:
        failure_ = HttpFailureKind::kRefused;
        break;
      case CURLE_OPERATION_TIMEDOUT:
        failure_ = HttpFailureKind::kTimedOut;
        break;
      case CURLE_URL_MALFORMAT:
      case CURLE_UNSUPPORTED_PROTOCOL:
        failure_ = HttpFailureKind::kBadUrl;
        break;
      case CURLE_OUT_OF_MEMORY:
        // curl's answer to response headers past its limit, too.
        failure_ = HttpFailureKind::kOther;
        failure_text_ = "response headers too large, or out of memory";
        break;
      default:
        failure_ = HttpFailureKind::kOther;
        break;
    }
  }

  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    XmlHttpRequest* self = transfer->self;
    const std::size_t bytes = size * count;
    if (bytes > self->limits_.max_body -
                    std::min<std::uint64_t>(self->body_.size(), self->limits_.max_body)) {
      transfer->too_large = true;
      return 0;
    }
    if (self->body_.empty()) {
      // One allocation for a body of announced size instead of repeated growth.
      curl_off_t announced = -1;
      if (curl_easy_getinfo(self->curl_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) ==
              CURLE_OK &&
          announced > 0) {
        self->body_.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(
            static_cast<std::uint64_t>(announced), self->limits_.max_body)));
      }
    }
    self->body_.append(data, bytes);
    return bytes;
  }

  // Keeps the reason phrase of the status line.
  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    std::string_view line(data, bytes);
    if (line.substr(0, 5) == "HTTP/") {
      std::string& text = transfer->self->status_text_;
      text.clear();
      const std::size_t code_at = line.find(' ');
      const std::size_t reason_at =
          code_at == std::string_view::npos ? code_at : line.find(' ', code_at + 1);
      if (reason_at != std::string_view::npos) {
        text = line.substr(reason_at + 1);
        while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) {
          text.pop_back();
        }
      }
    }
    return bytes;
  }

  // Gives up when fewer than stall_bytes arrived since the window began and
  // stall_time has passed; every stall_bytes received start a new window.
  static int OnProgress(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow) {
    auto* transfer = static_cast<Transfer*>(user);
    const HttpLimits& limits = transfer->self->limits_;
    const curl_off_t moved = dlnow + ulnow;
    const Clock::time_point now = Clock::now();
    if (moved - transfer->window_bytes >= limits.stall_bytes) {
      transfer->window_bytes = moved;
      transfer->window_start = now;
      return 0;
    }
    if (now - transfer->window_start >= limits.stall_time) {
      transfer->stalled = true;
      return 1;
    }
    return 0;
  }

  std::mutex mutex_;
  CURL* const curl_;
  const HttpLimits limits_;

  bool opened_ = false;
  std::string method_;
  std::string url_;
  Headers headers_;

  bool has_response_ = false;
  std::string body_;
  long status_ = 0;
  std::string status_text_;
  HttpFailureKind failure_ = HttpFailureKind::kNone;
  std::string failure_text_;
};

automation::ObjectRef MakeXmlHttpRequest() {
  InitCurlOnce();
  CURL* curl = curl_easy_init();
  if (curl == nullptr) {
    return nullptr;
  }
  return std::make_shared<XmlHttpRequest>(curl, GetHttpLimits());
}

}  // namespace

void RegisterXmlHttpComponent() {
  InitCurlOnce();
  automation::RegisterProgId("MSXML2.XMLHTTP", MakeXmlHttpRequest);
  automation::RegisterProgId("Microsoft.XMLHTTP", MakeXmlHttpRequest);
}

void SetHttpLimits(const HttpLimits& limits) {
  std::lock_guard lock(g_limits_mutex);
  g_limits = limits;
}

HttpLimits GetHttpLimits() {
  std::lock_guard lock(g_limits_mutex);
  return g_limits;
}

}  // namespace qvod

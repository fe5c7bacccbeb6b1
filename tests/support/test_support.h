// What the tests share: the local HTTP server on 127.0.0.1, a temporary HOME
// with a desktop folder, and small helpers for files and GBK text.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qvod::testing {

// One request as the local server saw it.
struct RecordedRequest {
  std::string method;
  std::string path;                                          // with its query
  std::vector<std::pair<std::string, std::string>> headers;  // in the order received
  std::string body;
};

// The local HTTP server (tests/server/server.py) on 127.0.0.1 and a free port,
// started on first use and stopped when the test program ends. Pages are put
// into it by the tests; see server.py for the built-in behaviours.
class LocalHttpServer {
 public:
  // Returns the one server of this test program, started if needed.
  static LocalHttpServer& Get();

  int port() const { return port_; }
  // Returns "http://127.0.0.1:PORT" + path.
  std::string Url(std::string_view path) const;

  // Serves body (raw bytes) at path (with its query, if any) from now on.
  void Put(std::string_view path, std::string_view body, int status = 200,
           std::string_view content_type = "text/html", int delay_ms = 0);
  // Returns the requests received since the last ClearRequests, oldest first.
  std::vector<RecordedRequest> Requests() const;
  void ClearRequests();

  ~LocalHttpServer();

 private:
  LocalHttpServer();
  int pid_ = -1;
  int port_ = 0;
};

// A temporary HOME for one test: HOME and XDG_DESKTOP_DIR point into a fresh
// folder with an empty "Desktop" inside; both are restored and the folder
// removed at the end.
class TempHome {
 public:
  TempHome();
  ~TempHome();
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;

  const std::string& home() const { return home_; }
  const std::string& desktop() const { return desktop_; }

 private:
  std::string home_;
  std::string desktop_;
  std::map<std::string, std::string> saved_env_;
};

// Returns a port on 127.0.0.1 that nothing listens on.
int ClosedPort();

// Returns the whole content of path, or an empty text when it cannot be read.
std::string ReadFile(const std::string& path);
// Writes bytes to path (whole). Returns false on failure.
bool WriteFile(const std::string& path, std::string_view bytes);
// Returns the GBK bytes of a UTF-8 literal.
std::string Gbk(std::string_view utf8);
// Returns the UTF-8 form of GBK bytes.
std::string Utf8(std::string_view gbk);

}  // namespace qvod::testing

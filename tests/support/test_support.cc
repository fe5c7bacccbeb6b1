#include "support/test_support.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/codepage.h"

extern char** environ;

namespace qvod::testing {
namespace {

// The write end of the server's standard input. The server ends when it sees
// end of file there, so it also goes when this process dies without cleanup.
int g_server_stdin = -1;

[[noreturn]] void Die(const std::string& message) {
  std::fprintf(stderr, "test support: %s\n", message.c_str());
  std::fflush(stderr);
  std::abort();
}

std::string ServerScript() {
  if (const char* path = std::getenv("QVOD_TEST_SERVER"); path != nullptr && *path != '\0') {
    return path;
  }
  return std::string(QVOD_SOURCE_DIR) + "/tests/server/server.py";
}

// Reads one line from fd, waiting at most timeout_ms in all.
std::string ReadLine(int fd, int timeout_ms) {
  std::string line;
  for (;;) {
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, timeout_ms) <= 0) {
      return line;
    }
    char c = 0;
    if (read(fd, &c, 1) != 1 || c == '\n') {
      return line;
    }
    line.push_back(c);
  }
}

std::size_t AppendToString(char* data, std::size_t size, std::size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

// Sends one control request to the server and returns the response body.
std::string Control(int port, const char* method, std::string_view path,
                    const std::vector<std::string>& headers, std::string_view body) {
  CURL* curl = curl_easy_init();
  if (curl == nullptr) {
    Die("curl_easy_init failed");
  }
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + std::string(path);
  std::string response;
  curl_slist* list = curl_slist_append(nullptr, "Expect:");
  for (const std::string& header : headers) {
    list = curl_slist_append(list, header.c_str());
  }
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROXY, "");
  curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
  if (std::string_view(method) == "POST") {
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  }
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, AppendToString);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &response);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 30L);
  const CURLcode code = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_slist_free_all(list);
  curl_easy_cleanup(curl);
  if (code != CURLE_OK || status != 200) {
    Die("control request " + std::string(path) + " failed: " + curl_easy_strerror(code));
  }
  return response;
}

std::string FromHex(std::string_view hex) {
  std::string out;
  if (hex == "-") {
    return out;
  }
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

// A saved value that stands for "was not set": no environment value can hold a NUL.
const std::string kUnset(1, '\0');

}  // namespace

LocalHttpServer& LocalHttpServer::Get() {
  static LocalHttpServer server;
  return server;
}

LocalHttpServer::LocalHttpServer() {
  int in_pipe[2];
  int out_pipe[2];
  if (pipe2(in_pipe, O_CLOEXEC) != 0 || pipe2(out_pipe, O_CLOEXEC) != 0) {
    Die("pipe2 failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_pipe[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
  const std::string script = ServerScript();
  char python[] = "python3";
  char port_flag[] = "--port";
  char port_zero[] = "0";
  std::string script_arg = script;
  char* argv[] = {python, script_arg.data(), port_flag, port_zero, nullptr};
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, python, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(in_pipe[0]);
  close(out_pipe[1]);
  if (rc != 0) {
    Die("cannot start python3 " + script);
  }
  pid_ = pid;
  g_server_stdin = in_pipe[1];
  const std::string line = ReadLine(out_pipe[0], 20000);
  close(out_pipe[0]);
  if (line.rfind("PORT ", 0) != 0) {
    Die("the server " + script + " did not report its port");
  }
  port_ = std::atoi(line.c_str() + 5);
  if (port_ <= 0) {
    Die("the server reported a bad port: " + line);
  }
}

LocalHttpServer::~LocalHttpServer() {
  if (g_server_stdin >= 0) {
    close(g_server_stdin);
    g_server_stdin = -1;
  }
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

std::string LocalHttpServer::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

void LocalHttpServer::Put(std::string_view path, std::string_view body, int status,
                          std::string_view content_type, int delay_ms) {
  Control(
      port_, "POST", "/__put",
      {"X-Path: " + std::string(path), "X-Status: " + std::to_string(status),
       "X-Content-Type: " + std::string(content_type), "X-Delay-Ms: " + std::to_string(delay_ms)},
      body);
}

std::vector<RecordedRequest> LocalHttpServer::Requests() const {
  std::vector<RecordedRequest> requests;
  std::istringstream lines(Control(port_, "GET", "/__requests", {}, {}));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string kind;
    std::string a;
    std::string b;
    std::string c;
    fields >> kind >> a >> b >> c;
    if (kind == "R") {
      requests.push_back({FromHex(a), FromHex(b), {}, FromHex(c)});
    } else if (kind == "H" && !requests.empty()) {
      requests.back().headers.emplace_back(FromHex(a), FromHex(b));
    }
  }
  return requests;
}

void LocalHttpServer::ClearRequests() { Control(port_, "POST", "/__clear", {}, {}); }

TempHome::TempHome() {
  std::string pattern = "/tmp/qvod-home-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    Die("mkdtemp failed");
  }
  home_ = pattern;
  desktop_ = home_ + "/Desktop";
  std::filesystem::create_directories(desktop_);
  std::filesystem::create_directories(home_ + "/.config");
  const std::pair<const char*, std::string> values[] = {
      {"HOME", home_}, {"XDG_DESKTOP_DIR", desktop_}, {"XDG_CONFIG_HOME", home_ + "/.config"}};
  for (const auto& [name, value] : values) {
    const char* old = std::getenv(name);
    saved_env_[name] = old != nullptr ? std::string(old) : kUnset;
    setenv(name, value.c_str(), 1);
  }
}

TempHome::~TempHome() {
  for (const auto& [name, value] : saved_env_) {
    if (value == kUnset) {
      unsetenv(name.c_str());
    } else {
      setenv(name.c_str(), value.c_str(), 1);
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(home_, ignored);
}

int ClosedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  bind(fd, reinterpret_cast<sockaddr*>(&address), length);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return {};
  }
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    return false;
  }
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

std::string Gbk(std::string_view utf8) { return platform::Utf8ToGbk(utf8); }

std::string Utf8(std::string_view gbk) { return platform::GbkToUtf8(gbk); }

}  // namespace qvod::testing

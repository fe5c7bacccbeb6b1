#include "output/file_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <string>

namespace qvod {
namespace {

// Returns the folder part of path with its trailing "/", or "" for a bare name.
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Opens a new file next to the target, never one that exists (O_EXCL). The
// name is short and fixed in form so that it fits wherever the target's name
// fits, and its ".tmp" ending can never be mistaken for a seed file. Mode 0666
// lets the umask decide, as for any file the user saves.
int CreateTemporary(const std::string& folder, std::string& temporary_path) {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, ".qvod-%012llx.tmp",
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFULL));
    temporary_path = folder + name;
    const int fd = ::open(temporary_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) {
      return fd;
    }
  }
  return -1;
}

}  // namespace

bool WriteFileWhole(const std::string& path, std::string_view bytes) {
  if (path.empty() || path.back() == '/') {
    return false;
  }
  std::string temporary_path;
  const int fd = CreateTemporary(FolderOf(path), temporary_path);
  if (fd < 0) {
    return false;
  }
  // fsync before the rename: after a crash the target holds either the old or
  // the new content, never an empty or partial file.
  bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(temporary_path.c_str(), path.c_str()) == 0) {
    return true;
  }
  ::unlink(temporary_path.c_str());
  return false;
}

}  // namespace qvod

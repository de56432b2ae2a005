#include "core/atomic_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void CloseQuietly(int fd) {
  // A close interrupted by a signal has still released the descriptor on
  // Linux; retrying could close a descriptor another call just received.
  (void)::close(fd);
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) return false;
    data.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A settings file reached through a link is updated where the link points,
// so the link itself survives the rename.
std::string ResolveTarget(const std::string& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::string target(resolved);
  std::free(resolved);
  return target;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& content, size_t maxBytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0 ||
      static_cast<unsigned long long>(info.st_size) > maxBytes) {
    CloseQuietly(fd);
    return false;
  }
  std::string data;
  data.reserve(static_cast<size_t>(info.st_size));
  char chunk[16384];
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      CloseQuietly(fd);
      return false;
    }
    if (got == 0) break;
    // The file may grow while we read it; the cap holds regardless.
    if (data.size() + static_cast<size_t>(got) > maxBytes) {
      CloseQuietly(fd);
      return false;
    }
    data.append(chunk, static_cast<size_t>(got));
  }
  CloseQuietly(fd);
  content.swap(data);
  return true;
}

bool WriteFileAtomically(const std::string& path, std::string_view content) {
  if (path.empty()) return false;
  const std::string target = ResolveTarget(path);
  const std::string folder = FolderOf(target);

  // Keep the temporary's name well inside NAME_MAX whatever the target's is.
  std::string stem = NameOf(target).substr(0, 200);
  std::string tempPath;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    tempPath = folder + "/." + stem + ".tmp" + std::to_string(::getpid()) + "." + std::to_string(attempt);
    fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;

  bool ok = true;
  struct stat old;
  if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    // The new file keeps whatever access the user gave the old one.
    ok = ::fchmod(fd, old.st_mode & 07777) == 0;
  }
  ok = ok && WriteAll(fd, content);
  ok = ok && ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  ok = ok && ::rename(tempPath.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(tempPath.c_str());
    return false;
  }

  // Make the rename itself durable; the data is already safe if this fails.
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    (void)::fsync(dirFd);
    CloseQuietly(dirFd);
  }
  return true;
}

bool CreateFolders(const std::string& dir, unsigned mode) {
  if (dir.empty()) return false;
  struct stat info;
  size_t pos = 0;
  for (;;) {
    pos = dir.find('/', pos + 1);
    const std::string part = dir.substr(0, pos);
    if (!part.empty() && ::stat(part.c_str(), &info) != 0) {
      if (::mkdir(part.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST) return false;
    }
    if (pos == std::string::npos) break;
  }
  return ::stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

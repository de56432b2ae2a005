#include "core/atomic_file.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <set>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
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

// A target reached through a link is updated where the link points, so the
// link itself survives the rename.
std::string ResolveTarget(const std::string& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::string target(resolved);
  std::free(resolved);
  return target;
}

// ---- deferred syncs ---------------------------------------------------------------

std::atomic<bool> gDeferSyncs{false};
std::mutex gDeferredMutex;
std::set<std::string> gDeferredFolders;

// The process's file-creation mask, read without changing it: umask() both
// reads and sets, and saves run on several threads, so setting it for a
// moment could let another thread's file be created with the wrong mode.
mode_t CurrentUmask() {
  if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status)) found = std::sscanf(line, "Umask: %o", &mask) == 1;
    std::fclose(status);
    if (found) return static_cast<mode_t>(mask);
  }
  static std::mutex once;
  std::lock_guard<std::mutex> lock(once);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

// ---- temporaries removed on SIGINT / SIGTERM ---------------------------------

// Fixed storage: the handler may only touch memory that is always there.
constexpr int kTempSlots = 8;
char gTempPaths[kTempSlots][PATH_MAX];
volatile std::sig_atomic_t gTempUsed[kTempSlots];

int RememberTemporary(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kTempSlots; ++i) {
    if (gTempUsed[i]) continue;
    std::memcpy(gTempPaths[i], path.c_str(), path.size() + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    gTempUsed[i] = 1;
    return i;
  }
  return -1;
}

void ForgetTemporary(int slot) {
  if (slot >= 0) gTempUsed[slot] = 0;
}

extern "C" void RemoveTemporariesAndExit(int sig) {
  for (int i = 0; i < kTempSlots; ++i)
    if (gTempUsed[i]) ::unlink(gTempPaths[i]);
  // End the way the signal would have ended the process.
  std::signal(sig, SIG_DFL);
  ::raise(sig);
}

}  // namespace

void InstallSaveSignalHandling() {
  std::signal(SIGXFSZ, SIG_IGN);
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = RemoveTemporariesAndExit;
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  for (int sig : {SIGINT, SIGTERM}) {
    struct sigaction old;
    // A signal the parent told us to ignore stays ignored.
    if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(sig, &action, nullptr);
  }
}

// ---- reading -------------------------------------------------------------------

bool ReadWholeFile(const std::string& path, std::string& content, size_t maxBytes) {
  // Non-blocking, so that a FIFO without a writer cannot hang the open.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0 ||
      static_cast<unsigned long long>(info.st_size) > maxBytes) {
    const bool regular = S_ISREG(info.st_mode);
    CloseQuietly(fd);
    errno = regular ? EFBIG : EINVAL;
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
      errno = EFBIG;
      return false;
    }
    data.append(chunk, static_cast<size_t>(got));
  }
  CloseQuietly(fd);
  content.swap(data);
  return true;
}

// ---- staged writing --------------------------------------------------------------

int mvStagedFile::Begin(const std::string& path) {
  Discard();
  if (path.empty() || path.back() == '/') {
    errno = EISDIR;
    return -1;
  }
  TargetPath = ResolveTarget(path);
  IsDirect = false;
  struct stat old;
  const bool exists = ::stat(TargetPath.c_str(), &old) == 0;
  Replacing = exists;
  if (exists && S_ISDIR(old.st_mode)) {
    errno = EISDIR;
    return -1;
  }
  if (exists && !S_ISREG(old.st_mode)) {
    // A device or FIFO is written in place. Non-blocking open: a FIFO
    // without a reader is refused (ENXIO) rather than waited on.
    int fd = ::open(TargetPath.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return -1;
    struct stat info;
    if (::fstat(fd, &info) != 0 || S_ISREG(info.st_mode) || S_ISDIR(info.st_mode) || ::fcntl(fd, F_SETFL, 0) != 0) {
      CloseQuietly(fd);
      errno = EINVAL;
      return -1;
    }
    IsDirect = true;
    return fd;
  }

  // A short fixed name: the target's own name plus a suffix could exceed NAME_MAX.
  const std::string folder = FolderOf(TargetPath);
  TempPath = (folder == "/" ? std::string() : folder) + "/.orvelle-save-XXXXXX";
  int fd = ::mkstemp(TempPath.data());
  if (fd < 0) {
    TempPath.clear();
    return -1;
  }
  Slot = RememberTemporary(TempPath);
  mode_t mode;
  if (exists) {
    // The new file keeps whatever access the user gave the old one.
    mode = old.st_mode & 07777;
  } else {
    // A new file gets the permissions a plain create would give it.
    mode = 0666 & ~CurrentUmask();
  }
  if (::fchmod(fd, mode) != 0) {
    CloseQuietly(fd);
    Discard();
    return -1;
  }
  return fd;
}

bool mvStagedFile::NeedsSync() const {
  // Pipes and terminals cannot be synced.
  return !IsDirect && (Replacing || !gDeferSyncs.load());
}

bool mvStagedFile::Finish(int fd) {
  bool ok = !NeedsSync() || ::fsync(fd) == 0;
  if (::close(fd) != 0 && errno != EINTR) ok = false;
  return ok;
}

bool mvStagedFile::Commit() {
  if (IsDirect) return true;
  if (TempPath.empty()) return false;
  if (::rename(TempPath.c_str(), TargetPath.c_str()) != 0) {
    const int saved = errno;
    Discard();
    errno = saved;
    return false;
  }
  TempPath.clear();
  ForgetTemporary(Slot);
  Slot = -1;
  if (!NeedsSync()) {
    std::lock_guard<std::mutex> lock(gDeferredMutex);
    gDeferredFolders.insert(FolderOf(TargetPath));
    return true;
  }
  // Make the rename itself durable; the data is already safe if this fails.
  const int dirFd = ::open(FolderOf(TargetPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    (void)::fsync(dirFd);
    CloseQuietly(dirFd);
  }
  return true;
}

void mvStagedFile::Discard() {
  if (!TempPath.empty()) ::unlink(TempPath.c_str());
  TempPath.clear();
  ForgetTemporary(Slot);
  Slot = -1;
}

bool StageFileContent(mvStagedFile& staged, const std::string& path, std::string_view content) {
  const int fd = staged.Begin(path);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, content);
  const int saved = errno;
  if (!staged.Finish(fd) || !written) {
    staged.Discard();
    if (!written) errno = saved;
    return false;
  }
  return true;
}

bool WriteFileAtomically(const std::string& path, std::string_view content) {
  mvStagedFile staged;
  return StageFileContent(staged, path, content) && staged.Commit();
}

void DeferSyncs(bool on) { gDeferSyncs.store(on); }

bool SyncDeferred() {
  std::set<std::string> folders;
  {
    std::lock_guard<std::mutex> lock(gDeferredMutex);
    folders.swap(gDeferredFolders);
  }
  bool ok = true;
  for (const std::string& folder : folders) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) continue;  // gone meanwhile: nothing of ours left to keep
    // One sync of the whole filesystem writes every deferred file and
    // folder entry on it; it also reports write errors since they happened.
    if (::syncfs(fd) != 0) ok = false;
    CloseQuietly(fd);
  }
  return ok;
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
  if (::stat(dir.c_str(), &info) != 0) return false;
  if (!S_ISDIR(info.st_mode)) {
    errno = ENOTDIR;
    return false;
  }
  return true;
}

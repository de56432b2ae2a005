#include "app/settings/settings_location.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace {

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::optional<std::string> AbsoluteFolder(const std::optional<std::string>& value) {
  // Relative values are to be ignored: they would depend on the current directory.
  if (!value || value->empty() || value->front() != '/') return std::nullopt;
  std::string folder = *value;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

}  // namespace

std::string IniPathBesideExecutable(const std::string& exePath) {
  if (exePath.empty()) return {};
  const size_t nameStart = exePath.rfind('/') == std::string::npos ? 0 : exePath.rfind('/') + 1;
  const size_t dot = exePath.rfind('.');
  if (dot != std::string::npos && dot > nameStart) return exePath.substr(0, dot) + ".ini";
  return exePath + ".ini";
}

namespace {

// The XDG base folder named by variable, else $HOME + fallback; nothing
// when neither is an absolute path. "/" comes back empty, ready for "/name".
std::optional<std::string> BaseFolder(const EnvironmentLookup& env, const char* variable, const char* fallback) {
  std::optional<std::string> base = AbsoluteFolder(env(variable));
  if (!base) {
    const std::optional<std::string> home = AbsoluteFolder(env("HOME"));
    if (!home) return std::nullopt;
    base = (*home == "/" ? std::string() : *home) + fallback;
  }
  return *base == "/" ? std::string() : *base;
}

std::optional<std::string> ProcessEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (!value) return std::nullopt;
  return std::string(value);
}

}  // namespace

std::string UserSettingsPath(const EnvironmentLookup& env) {
  const std::optional<std::string> base = BaseFolder(env, "XDG_CONFIG_HOME", "/.config");
  return base ? *base + "/orvelle/orvelle.ini" : std::string();
}

std::string StockFolderPath(const EnvironmentLookup& env) {
  const std::optional<std::string> base = BaseFolder(env, "XDG_DATA_HOME", "/.local/share");
  return base ? *base + "/orvelle/stock" : std::string();
}

std::string StockFolderPath() { return StockFolderPath(ProcessEnvironment); }

bool IsWritableFolder(const std::string& folder) {
  if (folder.empty() || ::access(folder.c_str(), W_OK | X_OK) != 0) return false;
  for (int attempt = 0; attempt < 10; ++attempt) {
    const std::string probe = folder + "/.orvelle-probe-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::close(fd);
      ::unlink(probe.c_str());
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

std::string ExecutablePath() {
  std::vector<char> buffer(1024);
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return {};
    if (static_cast<size_t>(length) < buffer.size()) {
      std::string path(buffer.data(), static_cast<size_t>(length));
      // A program replaced while running (an update) is reported with this
      // suffix; its settings still belong to the name it was started as.
      const std::string deleted = " (deleted)";
      if (path.size() > deleted.size() && path.ends_with(deleted) && !IsRegularFile(path)) {
        path.resize(path.size() - deleted.size());
      }
      return path;
    }
    if (buffer.size() >= (1u << 20)) return {};
    buffer.resize(buffer.size() * 2);
  }
}

SettingsLocation LocateSettingsFile(const std::string& exePath, const EnvironmentLookup& env,
                                    const FolderCheck& isWritable) {
  const std::string beside = IniPathBesideExecutable(exePath);
  if (!beside.empty() && isWritable(FolderOf(beside))) return {beside, beside};
  const std::string user = UserSettingsPath(env);
  if (user.empty()) return {beside, beside};
  if (IsRegularFile(user)) return {user, user};
  // Settings left beside a program in a read-only folder are picked up once;
  // from then on they live in the per-user file.
  if (IsRegularFile(beside)) return {beside, user};
  return {user, user};
}

SettingsLocation LocateSettingsFile() { return LocateSettingsFile(ExecutablePath(), ProcessEnvironment); }

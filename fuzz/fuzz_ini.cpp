// The settings file on any bytes: every setting the program reads, then a
// change written back and read again.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "app/settings/app_settings.h"
#include "app/settings/ini_file_settings.h"
#include "core/atomic_file.h"

namespace {

std::string FilePath() {
  static const std::string path = [] {
    // Memory-backed when there is such a folder: every write is synced.
    const char* dir = std::getenv("TMPDIR");
    std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : dir && *dir ? dir : "/tmp";
    std::string p = base + "/orvelle-fuzz-ini-" + std::to_string(::getpid());
    return p + ".ini";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = FilePath();
  if (!WriteFileAtomically(path, std::string_view(reinterpret_cast<const char*>(data), size))) return 0;
  AppSettings values;
  LoadAppSettings(path, values);
  {
    IniFileSettings store;
    if (store.Open(path.c_str(), "Settings", IniModeRead | IniModeWrite, 0)) {
      char text[64];
      int32_t numbers[8];
      size_t count = 8;
      uint8_t bytes[16];
      size_t byteCount = sizeof bytes;
      store.ReadString("Name", text, sizeof text);
      store.ReadIntArray("Sizes", numbers, count);
      store.ReadBinary("Blob", bytes, byteCount);
      store.WriteString("Probe", "a = \"b\" ; c");
      store.WriteIntArray("Sizes", numbers, count);
    }
  }
  IniFileSettings again;
  if (again.Open(path.c_str(), "Settings", IniModeRead, 0)) {
    char text[64];
    if (!again.ReadString("Probe", text, sizeof text) || std::string(text) != "a = \"b\" ; c") __builtin_trap();
  }
  ::unlink(path.c_str());
  return 0;
}

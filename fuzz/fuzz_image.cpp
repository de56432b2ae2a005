// One image reader on any bytes: a result code, never a crash, a hang or a
// picture out of proportion to the file. Built once per codec
// (ORVELLE_FUZZ_CODEC names the process-wide instance). The PNG build also
// walks the chunks for the recipe text, as commands that take a recipe do.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "codecs/codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  mvMemoryStream stream(std::vector<uint8_t>(data, data + size));
  mvImage image;
  ORVELLE_FUZZ_CODEC.ReadImage(stream, image, nullptr);
  if constexpr (std::is_same_v<std::remove_cvref_t<decltype(ORVELLE_FUZZ_CODEC)>,
                               std::remove_cvref_t<decltype(PNGCodec)>>) {
    static const int fd = ::memfd_create("png", 0);
    if (fd >= 0 && ::ftruncate(fd, 0) == 0 && ::pwrite(fd, data, size, 0) == static_cast<ssize_t>(size)) {
      std::string text;
      ReadPNGText(("/proc/self/fd/" + std::to_string(fd)).c_str(), kRecipeKeyword, 1 << 20, text);
    }
  }
  return 0;
}

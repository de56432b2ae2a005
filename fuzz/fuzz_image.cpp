// One image reader on any bytes: a result code, never a crash, a hang or a
// picture out of proportion to the file. Built once per codec
// (ORVELLE_FUZZ_CODEC names the process-wide instance).
#include <cstdint>
#include <vector>

#include "codecs/codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  mvMemoryStream stream(std::vector<uint8_t>(data, data + size));
  mvImage image;
  ORVELLE_FUZZ_CODEC.ReadImage(stream, image, nullptr);
  return 0;
}

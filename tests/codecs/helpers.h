#pragma once
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "codecs/codecs.h"

// A fresh folder under the test temp dir, removed with its files at the end.
class TempFolder {
public:
  TempFolder() {
    std::string pattern = "/tmp/orvelle-codecs-XXXXXX";
    Path = mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempFolder() {
    if (!Path.empty()) std::system(("rm -rf '" + Path + "'").c_str());
  }
  std::string File(const std::string& name) const { return Path + "/" + name; }
  std::string Path;
};

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline uint32_t LE32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
}
inline uint32_t LE16(const std::vector<uint8_t>& b, size_t at) { return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8; }
inline uint32_t BE32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t{b[at]} << 24 | uint32_t{b[at + 1]} << 16 | uint32_t{b[at + 2]} << 8 | uint32_t{b[at + 3]};
}

// An RGBA 8-bit texture with distinct, partly transparent pixels.
inline void MakeTexture(mvImage& image, int32_t w, int32_t h) {
  image.Create(w, h, ColorTypeRGB, 8, 4);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      uint8_t* p = image.Picture.Row(y) + 4 * x;
      p[0] = static_cast<uint8_t>(x * 255 / (w > 1 ? w - 1 : 1));
      p[1] = static_cast<uint8_t>(y * 255 / (h > 1 ? h - 1 : 1));
      p[2] = static_cast<uint8_t>((x + y) * 7);
      p[3] = static_cast<uint8_t>(128 + (x & 1) * 127);
    }
}

inline bool HaveTool(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

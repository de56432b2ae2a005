#pragma once
// The byte layout shared by the effect fuzzer and the seed maker: which
// effect, which picture, which field values, then the pixels.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/picture.h"
#include "effects/effect.h"
#include "effects/fields.h"
#include "effects/stream.h"

namespace fuzz {

// Reads values from the front of the input; past its end every value is 0.
class ByteReader {
public:
  ByteReader(const uint8_t* data, size_t size) : Data(data), Size(size) {}
  template <class T>
  T Take() {
    T v{};
    const size_t n = std::min(sizeof(T), Size - At);
    std::memcpy(&v, Data + At, n);
    At += n;
    return v;
  }
  bool Empty() const { return At >= Size; }
  void Skip(size_t n) { At += std::min(n, Size - At); }
  const uint8_t* Rest() const { return Data + At; }
  size_t RestSize() const { return Size - At; }

private:
  const uint8_t* Data;
  size_t Size;
  size_t At = 0;
};

template <class T>
void Put(std::vector<uint8_t>& out, T v) {
  const auto* p = reinterpret_cast<const uint8_t*>(&v);
  out.insert(out.end(), p, p + sizeof(T));
}

struct Format {
  uint32_t ColorType, BitDepth, Channels;
};

// Every picture format there is.
inline const std::vector<Format>& Formats() {
  static const std::vector<Format> list = [] {
    std::vector<Format> f;
    for (uint32_t t : {ColorTypeRGB, ColorTypeGray, ColorTypeIndexed})
      for (uint32_t d : {8u, 16u})
        for (uint32_t c = 1; c <= 4; ++c)
          if (IsValidFormat(t, d, c)) f.push_back({t, d, c});
    return f;
  }();
  return list;
}

// Field values in declaration order, each in its parameter-stream form, so
// a value is what a stream load makes of it (load rules included); a colour
// is then given one of every format by one more byte.
inline void ReadFields(ByteReader& in, mvEffect& effect) {
  mvMemoryStream stream(std::vector<uint8_t>(in.Rest(), in.Rest() + in.RestSize()));
  for (const FieldInfo& f : effect.Class().Fields) {
    if (!TraitsOf(f.Type).Read(f, effect, stream)) break;
    if (f.Type != FieldType::Color) continue;
    uint8_t pick = 0;
    stream.ReadAll(1, &pick);
    const Format& fmt = Formats()[pick % Formats().size()];
    const mvColor rgba = f.Of<mvColor>(effect);
    mvColor c;
    c.ColorType = fmt.ColorType;
    c.BitDepth = fmt.BitDepth;
    c.Channels = fmt.Channels;
    for (uint32_t k = 0; k < c.Channels; ++k) {
      const uint32_t v = rgba.Sample(static_cast<int>(k));
      c.SetSample(static_cast<int>(k), fmt.BitDepth == 16 ? v : v >> 8);
    }
    f.Of<mvColor>(effect) = c;
  }
  in.Skip(stream.ReadPos);
}

inline void WriteFields(std::vector<uint8_t>& out, const mvEffect& effect) {
  mvMemoryStream stream;
  for (const FieldInfo& f : effect.Class().Fields) {
    TraitsOf(f.Type).Write(f, effect, stream);
    if (f.Type != FieldType::Color) continue;
    const mvColor& c = f.Of<mvColor>(effect);
    uint8_t index = 0;
    for (size_t k = 0; k < Formats().size(); ++k)
      if (Formats()[k].ColorType == c.ColorType && Formats()[k].BitDepth == c.BitDepth &&
          Formats()[k].Channels == c.Channels)
        index = static_cast<uint8_t>(k);
    stream.WriteAll(1, &index);
  }
  out.insert(out.end(), stream.Data.begin(), stream.Data.end());
}

}  // namespace fuzz

#pragma once
// The byte layout shared by the effect fuzzer and the seed maker: which
// effect, which picture, which field values, then the pixels.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/picture.h"
#include "effects/effect.h"

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

inline constexpr size_t kMaxSegments = 6;

// Field values in declaration order: integers as 4 bytes, booleans as 1,
// doubles as 8, colours as a format byte and four 16-bit samples, gradients
// as a count byte and that many segments.
inline void ReadFields(ByteReader& in, mvEffect& effect) {
  for (const FieldInfo& f : effect.Class().Fields) {
    switch (f.Type) {
      case FieldType::Int: f.Of<int32_t>(effect) = in.Take<int32_t>(); break;
      case FieldType::UInt: f.Of<uint32_t>(effect) = in.Take<uint32_t>(); break;
      case FieldType::Bool: f.Of<bool>(effect) = (in.Take<uint8_t>() & 1) != 0; break;
      case FieldType::Double: f.Of<double>(effect) = in.Take<double>(); break;
      case FieldType::Color: {
        const Format& fmt = Formats()[in.Take<uint8_t>() % Formats().size()];
        mvColor c;
        c.ColorType = fmt.ColorType;
        c.BitDepth = fmt.BitDepth;
        c.Channels = fmt.Channels;
        for (int i = 0; i < 4; ++i) {
          const uint16_t v = in.Take<uint16_t>();
          if (static_cast<uint32_t>(i) < c.Channels) c.SetSample(i, fmt.BitDepth == 16 ? v : v & 255u);
        }
        f.Of<mvColor>(effect) = c;
        break;
      }
      case FieldType::Gradient: {
        mvGradient g;
        const size_t n = in.Take<uint8_t>() % (kMaxSegments + 1);
        for (size_t i = 0; i < n; ++i) {
          GradientSegment s;
          s.Left = in.Take<double>();
          s.Middle = in.Take<double>();
          s.Right = in.Take<double>();
          for (uint8_t& b : s.LeftColor) b = in.Take<uint8_t>();
          for (uint8_t& b : s.RightColor) b = in.Take<uint8_t>();
          s.BlendFunction = in.Take<uint8_t>() % 5;
          s.ColoringType = in.Take<uint8_t>() % 3;
          g.AppendSegment(s);
        }
        f.Of<mvGradient>(effect) = g;
        break;
      }
    }
    // What a stream load would make of the value.
    if (f.Type == FieldType::Int || f.Type == FieldType::UInt) {
      int64_t v = f.Type == FieldType::Int ? int64_t{f.Of<int32_t>(effect)} : int64_t{f.Of<uint32_t>(effect)};
      switch (f.Rule) {
        case LoadRule::Clamp: v = std::clamp(v, f.Lo, f.Hi); break;
        case LoadRule::ZeroBecomesOne: v = v == 0 ? 1 : v; break;
        case LoadRule::NonZeroIsOne: v = v != 0; break;
        default: break;
      }
      if (f.Type == FieldType::Int)
        f.Of<int32_t>(effect) = static_cast<int32_t>(v);
      else
        f.Of<uint32_t>(effect) = static_cast<uint32_t>(v);
    }
  }
}

inline void WriteFields(std::vector<uint8_t>& out, const mvEffect& effect) {
  for (const FieldInfo& f : effect.Class().Fields) {
    switch (f.Type) {
      case FieldType::Int: Put(out, f.Of<int32_t>(effect)); break;
      case FieldType::UInt: Put(out, f.Of<uint32_t>(effect)); break;
      case FieldType::Bool: Put<uint8_t>(out, f.Of<bool>(effect)); break;
      case FieldType::Double: Put(out, f.Of<double>(effect)); break;
      case FieldType::Color: {
        const mvColor& c = f.Of<mvColor>(effect);
        uint8_t index = 0;
        for (size_t i = 0; i < Formats().size(); ++i)
          if (Formats()[i].ColorType == c.ColorType && Formats()[i].BitDepth == c.BitDepth &&
              Formats()[i].Channels == c.Channels)
            index = static_cast<uint8_t>(i);
        Put(out, index);
        for (int i = 0; i < 4; ++i)
          Put<uint16_t>(out, static_cast<uint32_t>(i) < c.Channels ? static_cast<uint16_t>(c.Sample(i)) : 0);
        break;
      }
      case FieldType::Gradient: {
        const mvGradient& g = f.Of<mvGradient>(effect);
        const size_t n = std::min(g.Segments.size(), kMaxSegments);
        Put<uint8_t>(out, static_cast<uint8_t>(n));
        for (size_t i = 0; i < n; ++i) {
          const GradientSegment& s = g.Segments[i];
          Put(out, s.Left);
          Put(out, s.Middle);
          Put(out, s.Right);
          for (uint8_t b : s.LeftColor) Put(out, b);
          for (uint8_t b : s.RightColor) Put(out, b);
          Put<uint8_t>(out, static_cast<uint8_t>(s.BlendFunction));
          Put<uint8_t>(out, static_cast<uint8_t>(s.ColoringType));
        }
        break;
      }
    }
  }
}

}  // namespace fuzz

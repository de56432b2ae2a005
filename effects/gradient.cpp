#include "effects/gradient.h"

#include <cstring>

#include "effects/stream.h"

bool GradientSegment::operator==(const GradientSegment& o) const {
  return Left == o.Left && Middle == o.Middle && Right == o.Right &&
         std::memcmp(LeftColor, o.LeftColor, 4) == 0 && std::memcmp(RightColor, o.RightColor, 4) == 0 &&
         BlendFunction == o.BlendFunction && ColoringType == o.ColoringType;
}

bool mvGradient::AppendSegment(const GradientSegment& segment) {
  // Grows in steps of eight entries.
  if (Segments.size() == Segments.capacity()) {
    try {
      Segments.reserve(Segments.size() + 8);
    } catch (...) {
      return false;
    }
  }
  Segments.push_back(segment);
  return true;
}

void mvGradient::Clear() {
  Segments.clear();
  Segments.shrink_to_fit();
  Name.clear();
  FileName.clear();
}

int32_t mvGradient::FindSegment(double p) const {
  for (size_t i = 0; i < Segments.size(); ++i) {
    if (Segments[i].Left > p) return -1;
    if (Segments[i].Left <= p && p <= Segments[i].Right) return static_cast<int32_t>(i);
  }
  return -1;
}

namespace {
void PutDouble(uint8_t* p, double d) { std::memcpy(p, &d, 8); }
double GetDouble(const uint8_t* p) {
  double d;
  std::memcpy(&d, p, 8);
  return d;
}
}  // namespace

bool mvGradient::SaveBlock(mvFileStream& stream) const {
  const uint32_t count = static_cast<uint32_t>(Segments.size());
  if (!stream.WriteU32(34 * count) || !stream.WriteU32(count)) return false;
  for (const GradientSegment& s : Segments) {
    uint8_t b[34];
    PutDouble(b, s.Left);
    PutDouble(b + 8, s.Middle);
    PutDouble(b + 16, s.Right);
    std::memcpy(b + 24, s.LeftColor, 4);
    std::memcpy(b + 28, s.RightColor, 4);
    b[32] = static_cast<uint8_t>(s.BlendFunction);
    b[33] = static_cast<uint8_t>(s.ColoringType);
    if (!stream.WriteAll(34, b)) return false;
  }
  return true;
}

bool mvGradient::LoadBlock(mvFileStream& stream) {
  uint32_t bytes, count;
  if (!stream.ReadU32(bytes) || !stream.ReadU32(count)) return false;
  // The count must agree with the byte size; this also bounds it, so a
  // hostile count cannot make us allocate or loop without end.
  if (count < 1 || count > 0xFFFFFFFFu / 34 || bytes != 34 * count) return false;
  // Read everything first: a failure part way leaves the gradient as it was.
  std::vector<GradientSegment> read;
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t b[34];
    if (!stream.ReadAll(34, b)) return false;
    GradientSegment s;
    s.Left = GetDouble(b);
    s.Middle = GetDouble(b + 8);
    s.Right = GetDouble(b + 16);
    std::memcpy(s.LeftColor, b + 24, 4);
    std::memcpy(s.RightColor, b + 28, 4);
    s.BlendFunction = b[32];
    s.ColoringType = b[33];
    read.push_back(s);
  }
  Segments.clear();
  for (const GradientSegment& s : read)
    if (!AppendSegment(s)) return false;
  return true;
}

#include "effects/gradient.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

#include "core/color.h"

#include "effects/stream.h"

bool GradientSegment::operator==(const GradientSegment& o) const {
  return Left == o.Left && Middle == o.Middle && Right == o.Right && std::memcmp(LeftColor, o.LeftColor, 4) == 0 &&
         std::memcmp(RightColor, o.RightColor, 4) == 0 && BlendFunction == o.BlendFunction &&
         ColoringType == o.ColoringType;
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

bool mvSegmentFinder::Build(const mvGradient& g) {
  Gradient = &g;
  const size_t n = g.Segments.size();
  try {
    Bound.assign(n + 1, -std::numeric_limits<double>::infinity());
    Open.assign(n + 1, 0);
  } catch (...) {
    Bound.clear();
    Open.clear();
    return false;
  }
  for (size_t i = 0; i < n; ++i) {
    const GradientSegment& s = g.Segments[i];
    // FindSegment passes over segment i where neither Left > p nor
    // Left <= p <= Right holds: everywhere if Left is NaN, else p > Right
    // when Right >= Left, else (Right below Left or NaN) p >= Left.
    double t = -std::numeric_limits<double>::infinity();
    bool open = false;
    if (s.Left == s.Left) {
      if (s.Right >= s.Left) {
        t = s.Right;
        open = true;
      } else {
        t = s.Left;
      }
    }
    Bound[i + 1] = std::max(Bound[i], t);
    Open[i + 1] = Bound[i] > t ? Open[i] : (t > Bound[i] ? open : static_cast<uint8_t>(Open[i] || open));
  }
  return true;
}

int32_t mvSegmentFinder::Find(double p) const {
  if (!Gradient) return -1;
  if (Bound.empty()) return Gradient->FindSegment(p);
  if (p != p) return -1;
  // The largest m whose interval holds p: FindSegment passes over 0 .. m-1
  // and stops at m.
  size_t lo = 0, hi = Bound.size() - 1;
  while (lo < hi) {
    const size_t m = (lo + hi + 1) / 2;
    if (Open[m] ? p > Bound[m] : p >= Bound[m]) lo = m;
    else hi = m - 1;
  }
  if (lo == Gradient->Segments.size() || Gradient->Segments[lo].Left > p) return -1;
  return static_cast<int32_t>(lo);
}

namespace {

constexpr double kEpsilon = 1e-10;

// Blend factor at pos within a segment whose half-way point is mid.
double LinearFactor(double mid, double pos) {
  if (pos <= mid) return mid < kEpsilon ? 0.0 : 0.5 * pos / mid;
  const double rest = pos - mid;
  const double span = 1 - mid;
  return span < kEpsilon ? 1.0 : 0.5 + 0.5 * rest / span;
}

// Stored segments come from streams and recipes; a Middle outside the segment
// can push the curved factor to infinity, so it is held to 0..1 (NaN to 0),
// which keeps every well-formed segment's value unchanged.
double ClampUnit(double x) {
  if (!(x > 0)) return 0;
  return x > 1 ? 1 : x;
}

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
  // An empty table (what Save writes for a gradient without segments) reads
  // back as empty, so every saved gradient map can be loaded again.
  if (count > 0xFFFFFFFFu / 34 || bytes != 34 * count) return false;
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

bool mvGradient::GetColor(double p, bool reverse, double& r, double& g, double& b, double& a,
                          const mvSegmentFinder* finder) const {
  if (p < 0) p = 0;
  if (p > 1) p = 1;
  if (reverse) p = 1 - p;
  const int32_t index = finder ? finder->Find(p) : FindSegment(p);
  if (index < 0) return false;
  const GradientSegment& s = Segments[static_cast<size_t>(index)];
  const double len = s.Right - s.Left;
  double pos, mid;
  if (len < kEpsilon) {
    pos = 0.5;
    mid = 0.5;
  } else {
    pos = (p - s.Left) / len;
    mid = (s.Middle - s.Left) / len;
  }
  const double lin = LinearFactor(mid, pos);
  double f;
  switch (s.BlendFunction) {
    case 1: f = std::pow(pos, std::log(0.5) / std::log(mid > kEpsilon ? mid : kEpsilon)); break;
    case 2: f = (std::sin(std::numbers::pi * lin - std::numbers::pi / 2) + 1) / 2; break;
    case 3: f = std::sqrt(1 - (lin - 1) * (lin - 1)); break;
    case 4: f = 1 - std::sqrt(1 - lin * lin); break;
    default: f = lin; break;
  }
  f = ClampUnit(f);
  const uint8_t* lc = s.LeftColor;
  const uint8_t* rc = s.RightColor;
  switch (s.ColoringType) {
    case 0:
      r = (lc[0] + (rc[0] - lc[0]) * f) / 255;
      g = (lc[1] + (rc[1] - lc[1]) * f) / 255;
      b = (lc[2] + (rc[2] - lc[2]) * f) / 255;
      break;
    case 1:
    case 2: {
      double h0, s0, v0, h1, s1, v1;
      RGBToHSV(lc[0], lc[1], lc[2], h0, s0, v0);
      RGBToHSV(rc[0], rc[1], rc[2], h1, s1, v1);
      const double sat = s0 + (s1 - s0) * f;
      const double val = v0 + (v1 - v0) * f;
      double h;
      if (s.ColoringType == 1) {
        if (h0 < h1) {
          h = h0 + (h1 - h0) * f;
        } else {
          h = h0 + (1 - (h0 - h1)) * f;
          if (h > 1) h -= 1;
        }
      } else {
        if (h1 < h0) {
          h = h0 - (h0 - h1) * f;
        } else {
          h = h0 - (1 - (h1 - h0)) * f;
          if (h < 0) h += 1;
        }
      }
      HSVToRGBDouble(h, sat, val, r, g, b);
      break;
    }
    default: return false;
  }
  a = (lc[3] + (rc[3] - lc[3]) * f) / 255;
  return true;
}

bool mvGradient::GetColor8(double p, bool reverse, uint8_t out[4], const mvSegmentFinder* finder) const {
  double c[4];
  if (!GetColor(p, reverse, c[0], c[1], c[2], c[3], finder)) return false;
  // The samples are clamped to 0..1 first, so adding a half and truncating
  // rounds half up: the rule stored textures were made with.
  // NOLINTNEXTLINE(bugprone-incorrect-roundings)
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(ClampUnit(c[i]) * 255 + 0.5);
  return true;
}

bool mvGradient::GetColor16(double p, bool reverse, uint16_t out[4], const mvSegmentFinder* finder) const {
  double c[4];
  if (!GetColor(p, reverse, c[0], c[1], c[2], c[3], finder)) return false;
  // NOLINTNEXTLINE(bugprone-incorrect-roundings): as in GetColor8
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint16_t>(ClampUnit(c[i]) * 65535 + 0.5);
  return true;
}

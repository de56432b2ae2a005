#pragma once
#include <cstdint>
#include <string>
#include <vector>

class mvFileStream;
class mvSegmentFinder;

struct GradientSegment {
  double Left = 0;
  double Middle = 0.5;
  double Right = 1;
  uint8_t LeftColor[4] = {0, 0, 0, 255};  // red, green, blue, alpha
  uint8_t RightColor[4] = {255, 255, 255, 255};
  int32_t BlendFunction = 0;  // 0 linear, 1 curved, 2 sine, 3 sphere increasing, 4 sphere decreasing
  int32_t ColoringType = 0;   // 0 RGB, 1 HSV counter-clockwise, 2 HSV clockwise

  bool operator==(const GradientSegment& o) const;
};

// A gradient colour table: segments in ascending position order.
class mvGradient {
public:
  bool AppendSegment(const GradientSegment& segment);
  void Clear();
  int32_t FindSegment(double p) const;
  // Colour at position p as doubles in 0..1; false when no segment covers p.
  // A finder built for this gradient makes the segment search logarithmic.
  bool GetColor(double p, bool reverse, double& r, double& g, double& b, double& a,
                const mvSegmentFinder* finder = nullptr) const;
  bool GetColor8(double p, bool reverse, uint8_t out[4], const mvSegmentFinder* finder = nullptr) const;
  bool GetColor16(double p, bool reverse, uint16_t out[4], const mvSegmentFinder* finder = nullptr) const;
  // Stream block: a word 34 * Count, a word Count, then 34 bytes per segment.
  bool SaveBlock(mvFileStream& stream) const;
  bool LoadBlock(mvFileStream& stream);
  uint32_t BlockSize() const { return 8 + 34 * static_cast<uint32_t>(Segments.size()); }

  int32_t Count() const { return static_cast<int32_t>(Segments.size()); }
  bool operator==(const mvGradient& o) const {
    return Segments == o.Segments && Name == o.Name && FileName == o.FileName;
  }

  std::vector<GradientSegment> Segments;
  std::string Name;      // kept and copied, not used
  std::string FileName;  // kept and copied, not used
};

// FindSegment in logarithmic time, for callers that look up many positions
// (a gradient of a thousand segments must not cost a thousand tests a pixel).
// Segment i is passed over exactly for the positions of an interval [T, 1]
// or (T, 1]; the positions that pass over all of 0 .. m-1 are the
// intersection of those intervals, which shrinks as m grows, so the first
// segment FindSegment stops at is found by bisection. Unordered, overlapping
// and NaN-bounded segments give the answers FindSegment gives.
class mvSegmentFinder {
public:
  // false when out of memory (the finder then answers as FindSegment).
  bool Build(const mvGradient& g);
  int32_t Find(double p) const;

private:
  const mvGradient* Gradient = nullptr;
  std::vector<double> Bound;  // Bound[m]: the interval passing over segments 0 .. m-1 starts here
  std::vector<uint8_t> Open;  // ... and excludes its start
};

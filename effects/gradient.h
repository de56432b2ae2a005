#pragma once
#include <cstdint>
#include <string>
#include <vector>

class mvFileStream;

struct GradientSegment {
  double Left = 0;
  double Middle = 0.5;
  double Right = 1;
  uint8_t LeftColor[4] = {0, 0, 0, 255};   // red, green, blue, alpha
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
  bool GetColor(double p, bool reverse, double& r, double& g, double& b, double& a) const;
  bool GetColor8(double p, bool reverse, uint8_t out[4]) const;
  bool GetColor16(double p, bool reverse, uint16_t out[4]) const;
  // Stream block: a word 34 * Count, a word Count, then 34 bytes per segment.
  bool SaveBlock(mvFileStream& stream) const;
  bool LoadBlock(mvFileStream& stream);
  uint32_t BlockSize() const { return 8 + 34 * static_cast<uint32_t>(Segments.size()); }

  int32_t Count() const { return static_cast<int32_t>(Segments.size()); }
  bool operator==(const mvGradient& o) const { return Segments == o.Segments && Name == o.Name && FileName == o.FileName; }

  std::vector<GradientSegment> Segments;
  std::string Name;      // kept and copied, not used
  std::string FileName;  // kept and copied, not used
};

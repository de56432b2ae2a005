#include "effects/render/gradient_map.h"

#include <algorithm>
#include <atomic>
#include <cstdint>

#include "core/parallel.h"
#include "effects/frame.h"

const mvEffectClass& mvGradientMapEffect::Describe() {
  static const mvEffectClass c = [] {
    mvEffectClass k = mvEffectClass::Make<mvGradientMapEffect>(
        271, "mvGradientMapEffect",
        {Field("Gradient", &mvGradientMapEffect::Gradient).NotCompared().Help("the colour table"),
         Field("Reverse", &mvGradientMapEffect::Reverse).Help("evaluate the gradient from its right end")});
    k.InStreamOrder({"Reverse", "Gradient"});
    // The size word counts four bytes fewer than follow; only a floor is checked.
    k.SizeWordAdjust = -4;
    k.MinSizeWord = 5;
    return k;
  }();
  return c;
}

namespace {

// The colour of a luminance key is a function of the key alone: the weighted
// sum 299r + 587g + 114b (or the gray sample) is all the gradient sees. An
// entry holds what a pixel of that key is given: the colour samples (for
// gray pictures the colour's luminance) and the alpha.
template <class F>
struct Entry {
  typename F::Sample S[4];
};

template <class F>
uint64_t KeyOf(const typename F::Sample* s) {
  if constexpr (F::kRgb) return 299 * uint64_t{s[0]} + 587 * uint64_t{s[1]} + 114 * uint64_t{s[2]};
  else return s[0];
}

// The entry of one key; false when no segment covers its position (the
// pixel is then left as it is).
template <class F>
bool Lookup(const mvGradient& g, const mvSegmentFinder& finder, bool reverse, uint64_t key, Entry<F>& e) {
  using T = typename F::Sample;
  const double k = static_cast<double>(key);
  const double p = F::kRgb ? k / (1000.0 * F::kMax) : k / static_cast<double>(F::kMax);
  T c[4];
  bool found;
  if constexpr (F::kWide) found = g.GetColor16(p, reverse, c, &finder);
  else found = g.GetColor8(p, reverse, c, &finder);
  if (!found) return false;
  if constexpr (F::kRgb) {
    for (int i = 0; i < 3; ++i) e.S[i] = c[i];
    e.S[3] = c[3];
  } else {
    e.S[0] = static_cast<T>((19596 * uint64_t{c[0]} + 38470 * uint64_t{c[1]} + 7471 * uint64_t{c[2]}) >> 16);
    e.S[1] = c[3];
  }
  return true;
}

// Writes an entry to a target pixel.
template <class F>
inline void Put(typename F::Sample* d, const Entry<F>& e) {
  for (uint32_t i = 0; i < F::kColours; ++i) d[i] = e.S[i];
  if constexpr (F::kAlpha) d[F::kColours] = e.S[F::kRgb ? 3 : 1];
}

// Every key's entry, filled on the pool before the rows are mapped.
template <class F>
struct Table {
  frame::Buffer<Entry<F>> Entries;
  frame::Buffer<uint8_t> Found;
  bool AllFound = true;

  bool Build(const mvGradient& g, const mvSegmentFinder& finder, bool reverse, int64_t keys) {
    if (!Entries.Allocate(keys) || !Found.Allocate(keys)) return false;
    constexpr int64_t kChunk = 4096;
    std::atomic<bool> gap{false};
    parallel::For((keys + kChunk - 1) / kChunk, [&](int64_t c) {
      bool all = true;
      for (int64_t k = c * kChunk, end = std::min(keys, k + kChunk); k < end; ++k) {
        Found[k] = Lookup<F>(g, finder, reverse, static_cast<uint64_t>(k), Entries[k]);
        all = all && Found[k];
      }
      if (!all) gap.store(true, std::memory_order_relaxed);
      return true;
    });
    AllFound = !gap.load();
    return true;
  }
};

// Pictures smaller than this share of the key range are mapped key by key:
// a table would cost more than it saves.
constexpr int64_t kTableShare = 4;
// Keys of 16-bit RGB pictures (up to 65,535,000) are too many for a table.
constexpr int64_t kMaxTableKeys = 1 << 20;

template <class F>
bool Map(frame::Frame& f, const mvGradient& g, bool reverse) {
  using T = typename F::Sample;
  constexpr uint32_t ch = F::kChannels;
  const int64_t keys = (F::kRgb ? 1000 : 1) * int64_t{F::kMax} + 1;
  mvSegmentFinder finder;
  finder.Build(g);  // out of memory: it searches as FindSegment does
  Table<F> table;
  const bool tabled = keys <= kMaxTableKeys && int64_t{f.Rows()} * f.Cols() >= keys / kTableShare &&
                      table.Build(g, finder, reverse, keys);
  return f.ForRows([&](int32_t top, int32_t bottom) {
    // Key by key, neighbouring pixels often share a luminance: the last
    // lookup is kept.
    uint64_t lastKey = ~uint64_t{0};
    Entry<F> last{};
    bool lastFound = false;
    for (int32_t y = top; y < bottom; ++y) {
      const T* s = frame::PixelAt<F>(f.Source, f.A.Left, y);
      T* d = frame::PixelAt<F>(f.Target, f.A.Left, y);
      for (int32_t x = f.A.Left; x < f.A.Right; ++x, s += ch, d += ch) {
        if (F::kAlpha && s[ch - 1] == 0) continue;
        const uint64_t key = KeyOf<F>(s);
        if (tabled) {
          if (table.AllFound || table.Found[static_cast<int64_t>(key)])
            Put<F>(d, table.Entries[static_cast<int64_t>(key)]);
          continue;
        }
        if (key != lastKey) {
          lastKey = key;
          lastFound = Lookup<F>(g, finder, reverse, key, last);
        }
        if (lastFound) Put<F>(d, last);
      }
    }
    return true;
  });
}

}  // namespace

bool mvGradientMapEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress, frame::Pair::InPlace);
  if (!f.Begin()) return f.Answer();
  return f.Dispatch(frame::kRgbOrGray, [&](auto fmt) {
    f.Announce(f.Rows());
    return Map<decltype(fmt)>(f, Gradient, Reverse);
  });
}

void RegisterGradientMapEffect(mvEffectRegistry& registry) { registry.Add(mvGradientMapEffect::Describe()); }

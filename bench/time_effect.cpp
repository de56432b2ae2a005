// time_effect: the compute-only time of one effect, for the side-by-side
// comparison with other tools (bench/compare-peers.sh). It reads no file:
// it makes the noise picture in memory, applies the effect a few times and
// prints the median.
//
//   time_effect [--size WxH] [--threads N] [--runs N] CLASS [FIELD=VALUE ...]
//
// prints "median_ms=... min_ms=... mpix_per_s=... threads=... runs=...".
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "bench/typical.h"
#include "core/limits.h"
#include "core/parallel.h"

namespace {

int Usage(const char* why) {
  std::fprintf(stderr,
               "time_effect: %s\nusage: time_effect [--size WxH] [--threads N] [--runs N] CLASS [FIELD=VALUE ...]\n",
               why);
  return 2;
}

bool Whole(std::string_view t, int64_t lo, int64_t hi, int64_t& out) {
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), out);
  return ec == std::errc() && end == t.data() + t.size() && out >= lo && out <= hi;
}

}  // namespace

int main(int argc, char** argv) {
  int64_t width = 2048, height = 2048, threads = 0, runs = 7;
  std::string cls;
  std::vector<std::string> params;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if ((a == "--size" || a == "--threads" || a == "--runs") && i + 1 == argc)
      return Usage("an option needs its value");
    if (a == "--size") {
      const std::string_view v = argv[++i];
      const size_t x = v.find('x');
      if (x == std::string_view::npos || !Whole(v.substr(0, x), limits::kMinSide, limits::kMaxSide, width) ||
          !Whole(v.substr(x + 1), limits::kMinSide, limits::kMaxSide, height))
        return Usage("--size takes WIDTHxHEIGHT, each 1..5000");
    } else if (a == "--threads") {
      if (!Whole(argv[++i], 1, parallel::kMaxThreads, threads)) return Usage("--threads takes 1..256");
    } else if (a == "--runs") {
      if (!Whole(argv[++i], 1, 1000, runs)) return Usage("--runs takes 1..1000");
    } else if (a.starts_with("--")) {
      return Usage("unknown option");
    } else if (cls.empty()) {
      cls = a;
    } else {
      params.emplace_back(a);
    }
  }
  if (cls.empty()) return Usage("no effect class given");
  std::string error;
  std::unique_ptr<mvEffect> effect = bench::MakeEffect(cls, params, error);
  if (!effect) return Usage(error.c_str());
  parallel::SetThreadCount(static_cast<int>(threads));

  mvPicture source = bench::NoisePicture(static_cast<int32_t>(width), static_cast<int32_t>(height));
  mvPicture target(source);
  if (!source.Pixels || !target.Pixels) return Usage("not enough memory for the pictures");
  // One untimed run first: page faults of the target and cold caches
  // belong to no steady-state figure.
  if (!bench::ApplyOnce(*effect, source, target)) return Usage("the effect failed");
  std::vector<double> ms;
  for (int64_t r = 0; r < runs; ++r) {
    const auto start = std::chrono::steady_clock::now();
    const bool ok = bench::ApplyOnce(*effect, source, target);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    if (!ok) return Usage("the effect failed");
    ms.push_back(took.count());
  }
  std::sort(ms.begin(), ms.end());
  const size_t n = ms.size();
  const double median = n % 2 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2;
  std::printf("median_ms=%.3f min_ms=%.3f mpix_per_s=%.1f threads=%d runs=%lld\n", median, ms.front(),
              static_cast<double>(width) * static_cast<double>(height) / 1e3 / median, parallel::ThreadCount(),
              static_cast<long long>(runs));
  return 0;
}

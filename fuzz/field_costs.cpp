// Developer survey, not a test: for every effect and every numeric field,
// the time of one Apply on a 64 x 64 picture at extreme values against the
// time at the class defaults. Each run is a child process with a time limit,
// so an unbounded value shows as "> limit" instead of hanging the survey.
// Usage: fuzz_field_costs [SECONDS_LIMIT] [SIDE]
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "effects/effect.h"

namespace {

int gSide = 64;

// Milliseconds of one Apply of c with field f set to v (f null: defaults);
// negative when the child ran out of time or failed.
double TimeApply(const mvEffectClass& c, const FieldInfo* f, double v, int limit) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return -2;
  const pid_t child = ::fork();
  if (child == 0) {
    ::alarm(static_cast<unsigned>(limit));
    std::unique_ptr<mvEffect> e(c.Create());
    if (f) {
      switch (f->Type) {
        case FieldType::Int: f->Of<int32_t>(*e) = static_cast<int32_t>(v); break;
        case FieldType::UInt: f->Of<uint32_t>(*e) = static_cast<uint32_t>(v); break;
        case FieldType::Double: f->Of<double>(*e) = v; break;
        default: break;
      }
    }
    mvPicture picture;
    picture.Create(gSide, gSide, ColorTypeRGB, 8, 4);
    uint32_t state = 1;
    for (int32_t y = 0; y < gSide; ++y)
      for (uint32_t x = 0; x < picture.Stride; ++x)
        picture.Row(y)[x] = static_cast<uint8_t>((state = state * 1103515245u + 12345u) >> 24);
    const auto start = std::chrono::steady_clock::now();
    ApplyTo(*e, picture);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    (void)!::write(pipeFds[1], &ms, sizeof ms);
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  double ms = -1;
  if (::read(pipeFds[0], &ms, sizeof ms) != sizeof ms) ms = -1;
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  const int limit = argc > 1 ? std::atoi(argv[1]) : 20;
  if (argc > 2) gSide = std::atoi(argv[2]);
  const double kInts[] = {-2147483648.0, -65536, -1, 0, 1, 1000, 65535, 1 << 20, 2147483647.0};
  const double kUInts[] = {0, 1, 1000, 65535, 1 << 20, 4294967295.0};
  const double kDoubles[] = {
      -1e300, -1e9, 0, 1e9, 1e300, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()};
  for (const mvEffectClass* c : RegisteredEffects()) {
    double base = 1e9;
    for (int i = 0; i < 3; ++i) base = std::min(base, TimeApply(*c, nullptr, 0, limit));
    std::printf("%-28s defaults %.3f ms\n", c->Name.c_str(), base);
    for (const FieldInfo& f : c->Fields) {
      std::vector<double> values;
      if (f.Type == FieldType::Int) values.assign(std::begin(kInts), std::end(kInts));
      else if (f.Type == FieldType::UInt) values.assign(std::begin(kUInts), std::end(kUInts));
      else if (f.Type == FieldType::Double) values.assign(std::begin(kDoubles), std::end(kDoubles));
      else continue;
      for (double v : values) {
        const double ms = TimeApply(*c, &f, v, limit);
        if (ms < 0 || ms > 10 * base + 5)
          std::printf("    %-18s = %-12g %s\n", f.Name.c_str(), v,
                      ms < 0 ? ("> " + std::to_string(limit) + " s (or crashed)").c_str()
                             : (std::to_string(ms) + " ms").c_str());
      }
    }
    std::fflush(stdout);
  }
  return 0;
}

// Sample conversion: the scalar reference against known codes, and every kernel
// against it on random blocks of many lengths, alignments, channels and phases.
#include "driver/convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

using driver::ConvertSample;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kMax = std::numeric_limits<double>::max();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Halves go to even, beyond the codes saturates, invalid arithmetic gives the
// lowest code; +-10 V (scale 3200) and 0..10 V (offset 5, scale 6400) span +-32000.
TEST(ConvertSample, GivesKnownCodes) {
  const struct {
    double value, offset, scale;
    std::int16_t code;
  } cases[] = {
      {0.5, 0, 1, 0}, {1.5, 0, 1, 2}, {2.5, 0, 1, 2}, {-0.5, 0, 1, 0}, {-1.5, 0, 1, -2}, {-2.5, 0, 1, -2},
      {0.49999999999999994, 0, 1, 0}, {1.4999999999999998, 0, 1, 1}, {-0.0, 0, 1, 0}, {32766.5, 0, 1, 32766},
      {32767.49, 0, 1, 32767}, {32767.5, 0, 1, 32767}, {4294967296.0, 0, 1, 32767}, {kInf, 0, 1, 32767},
      {-32767.49, 0, 1, -32767}, {-32767.5, 0, 1, -32768}, {-32768.5, 0, 1, -32768}, {-kInf, 0, 1, -32768},
      {-2147483649.0, 0, 1, -32768}, {kNaN, 0, 1, -32768},
      {10, 0, 3200, 32000}, {-10, 0, 3200, -32000}, {20, 0, 3200, 32767}, {1e12, 0, 3200, 32767},
      {5, 5, 6400, 0}, {0, 5, 6400, -32000}, {7.5, 5, 6400, 16000}, {-5, 5, 6400, -32768},
      {kInf, kInf, 1, -32768}, {kInf, 0, 0, -32768}, {1, kNaN, 1, -32768}, {1, 0, kNaN, -32768},
      {kMax, -kMax, 1, 32767}, {1, 0, kMax, 32767}, {-1, 0, kMax, -32768}, {2, 0, -3, -6},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ConvertSample(c.value, c.offset, c.scale), c.code) << "case " << &c - cases;
  }
}

struct Block {
  std::vector<double> scales, offsets, values;
  std::size_t first = 0;  // channel of values[0]
  std::size_t Of(std::size_t i) const { return (first + i) % scales.size(); }
};

// Converts the block with input and output shifted by some elements; a read past
// the input trips the sanitizer, and guards around the output stay untouched.
testing::AssertionResult MatchesReference(driver::ConvertFn convert, const Block& b, std::size_t in_shift,
                                          std::size_t out_shift) {
  const std::size_t n = b.values.size();
  const std::size_t begin = 32 + out_shift;
  std::vector<double> in(in_shift + n);
  std::copy(b.values.begin(), b.values.end(), in.begin() + static_cast<std::ptrdiff_t>(in_shift));
  std::vector<std::int16_t> out(begin + n + 32, 0x5A5A);
  std::vector<std::int16_t> expected = out;
  for (std::size_t i = 0; i < n; ++i) {
    expected[begin + i] = ConvertSample(b.values[i], b.offsets[b.Of(i)], b.scales[b.Of(i)]);
  }
  const driver::ConversionPattern pattern(b.scales, b.offsets);
  convert(in.data() + in_shift, out.data() + begin, n, pattern, b.first);
  const auto wrong = std::mismatch(out.begin(), out.end(), expected.begin());
  if (wrong.first == out.end()) return testing::AssertionSuccess();
  const std::ptrdiff_t at = (wrong.first - out.begin()) - static_cast<std::ptrdiff_t>(begin);
  return testing::AssertionFailure() << b.scales.size() << " channels, " << n << " values from channel "
                                     << b.first << ", shifted " << in_shift << "/" << out_shift << ": at "
                                     << at << " is " << *wrong.first << ", expected " << *wrong.second;
}

enum class Kind { kNoOffsets, kOffsets, kHostile };

// Seeded from NIADC_TEST_SEED when it is set, otherwise afresh; printed so
// that a failing run can be repeated.
const std::uint64_t kSeed = [] {
  const char* given = std::getenv("NIADC_TEST_SEED");
  const std::uint64_t seed =
      given != nullptr && *given != '\0' ? std::strtoull(given, nullptr, 0) : std::random_device()();
  std::printf("random blocks: NIADC_TEST_SEED=%llu\n", static_cast<unsigned long long>(seed));
  return seed;
}();

// Random blocks: realistic channels with special values sprinkled in, or
// channels whose arithmetic overflows or is invalid.
class RandomBlocks {
 public:
  explicit RandomBlocks(std::uint64_t salt) : rng_(kSeed + salt) {}
  std::size_t Below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }

  Block Make(std::size_t channels, Kind kind, std::size_t count, std::size_t first) {
    const std::vector<double> scales{1.0, 3200.0, 6400.0, 3276.8, 0.5, 4096.0, -3200.0, 1.0e6};
    const std::vector<double> offsets{5.0, -2.5, 0.1, 1.0e-3, 0.0, -0.0};
    const std::pair<double, double> hostile[] = {{0.0, 0.0},  {kInf, 0.0},    {1e300, 1.0}, {1e-300, -1e300},
                                                 {1.0, kInf}, {3200.0, kNaN}, {kNaN, 0.0},  {-kInf, 2.0}};
    const std::vector<double> raw{kNaN, kInf, -kInf, 0.0, -0.0, 1e300, -1e300, kMax, 5e-324};
    // In code space: halves, the clip limits and their neighbours, int32 limits.
    const std::vector<double> codes{0.5,      1.5,         -2.5,        -0.5,        2.5,      32766.5,
                                    32767.5,  32767.4999,  32767.5001,  32768.0,     -32767.5, -32768.5,
                                    -32768.4999,           -32768.5001, -32769.0,    65535.5,  2147483648.0,
                                    -2147483649.0,         4294967296.5};
    Block b{{}, {}, std::vector<double>(count), first};
    for (std::size_t c = 0; c < channels; ++c) {
      b.scales.push_back(Below(4) == 0 ? std::exp(Uniform(0.0, 14.0)) : Pick(scales));
      b.offsets.push_back(Below(3) == 0 ? Uniform(-10.0, 10.0) : Pick(offsets));
      if (kind == Kind::kNoOffsets) b.offsets[c] = Pick({0.0, -0.0});
      if (kind == Kind::kHostile) std::tie(b.scales[c], b.offsets[c]) = hostile[Below(std::size(hostile))];
    }
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t pick = Below(10);
      const double code = pick == 1 ? Pick(codes) : Uniform(-4e4, 4e4);
      b.values[i] = pick == 0 ? Pick(raw) : b.offsets[b.Of(i)] + code / b.scales[b.Of(i)];
    }
    return b;
  }

 private:
  double Uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
  double Pick(const std::vector<double>& from) { return from[Below(from.size())]; }
  std::mt19937_64 rng_;
};

TEST(Kernels, EveryKernelMatchesTheReference) {
  SCOPED_TRACE("NIADC_TEST_SEED=" + std::to_string(kSeed));
  for (const driver::Kernel& kernel : driver::Kernels()) {
    SCOPED_TRACE(kernel.name);
    if (!kernel.supported) continue;  // not on this processor
    RandomBlocks random(static_cast<std::uint64_t>(&kernel - driver::Kernels().data()));
    // Every short length, at random shifts and phases.
    for (std::size_t channels : {1, 2, 3, 4, 5, 7, 8, 16, 63, 64}) {
      for (Kind kind : {Kind::kNoOffsets, Kind::kOffsets, Kind::kHostile}) {
        for (std::size_t count = 0; count <= 300; ++count) {
          const Block b = random.Make(channels, kind, count, random.Below(channels));
          ASSERT_TRUE(MatchesReference(kernel.convert, b, random.Below(8), random.Below(8)));
        }
      }
    }
    // Large blocks, as a fast acquisition reads them, past the pattern's period.
    for (std::size_t channels : {1, 63, 64}) {
      const Block b = random.Make(channels, Kind::kOffsets, 4096 * channels + 3, random.Below(channels));
      ASSERT_TRUE(MatchesReference(kernel.convert, b, random.Below(8), random.Below(8)));
    }
    kernel.convert(&kMax, nullptr, 1, driver::ConversionPattern(), 0);  // no channels: nothing written
  }
}

#if defined(__i386__)
// 32-bit hosts leave the x87 unit at their own precision and rounding. The
// reference computes on x87 there and still gives the SSE2 kernel's codes,
// and hands the host's setting back unchanged.
TEST(ConvertSample, X87ReferenceGivesTheSse2CodesWhateverTheHostsPrecision) {
  const driver::Kernel& sse2 = driver::Kernels()[1];
  ASSERT_EQ(sse2.name, "sse2");
  if (!sse2.supported) GTEST_SKIP() << "this processor has no SSE2";
  std::uint16_t saved = 0, after = 0;
  __asm__ volatile("fnstcw %0" : "=m"(saved));
  RandomBlocks random(6);
  // 53, 64 and 24 bits to nearest; 64 bits toward zero and downward.
  for (const std::uint16_t setting : {0x027F, 0x037F, 0x007F, 0x0F7F, 0x077F}) {
    for (std::size_t channels : {1, 3, 16}) {
      const Block b = random.Make(channels, Kind::kOffsets, 1024, 0);
      __asm__ volatile("fldcw %0" : : "m"(setting));
      const auto reference = MatchesReference(sse2.convert, b, 0, 0);
      const auto scalar = MatchesReference(driver::Kernels().back().convert, b, 0, 0);
      __asm__ volatile("fnstcw %0" : "=m"(after));
      __asm__ volatile("fldcw %0" : : "m"(saved));
      EXPECT_EQ(after, setting);
      ASSERT_TRUE(reference) << "control word " << std::hex << setting;
      ASSERT_TRUE(scalar) << "control word " << std::hex << setting;
    }
  }
}
#endif

}  // namespace

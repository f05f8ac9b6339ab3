// Sample conversion: the scalar reference against known codes, and every
// kernel against the reference on random and hostile blocks of many lengths,
// alignments, channel counts and phases.
#include "driver/convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using driver::ConversionPattern;
using driver::ConvertSample;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kMax = std::numeric_limits<double>::max();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Halves go to even, everything beyond the codes saturates, invalid
// arithmetic gives the lowest code; a +-10 V channel (scale 3200) and a
// 0..10 V one (offset 5, scale 6400) put their limits at +-32000.
TEST(ConvertSample, GivesKnownCodes) {
  const struct {
    double value, offset, scale;
    std::int16_t code;
  } cases[] = {
      {0.5, 0, 1, 0},           {1.5, 0, 1, 2},          {2.5, 0, 1, 2},          {-0.5, 0, 1, 0},
      {-1.5, 0, 1, -2},         {-2.5, 0, 1, -2},        {1.4999999999999998, 0, 1, 1},
      {0.49999999999999994, 0, 1, 0},                    {-0.0, 0, 1, 0},         {32766.5, 0, 1, 32766},
      {32767.49, 0, 1, 32767},  {32767.5, 0, 1, 32767},  {65536, 0, 1, 32767},   {4294967296.0, 0, 1, 32767},
      {kInf, 0, 1, 32767},      {-32767.49, 0, 1, -32767},                        {-32767.5, 0, 1, -32768},
      {-32768.5, 0, 1, -32768}, {-2147483649.0, 0, 1, -32768},                    {-kInf, 0, 1, -32768},
      {kNaN, 0, 1, -32768},     {10, 0, 3200, 32000},    {-10, 0, 3200, -32000},  {5, 0, 3200, 16000},
      {20, 0, 3200, 32767},     {1e12, 0, 3200, 32767},  {5, 5, 6400, 0},         {0, 5, 6400, -32000},
      {7.5, 5, 6400, 16000},    {-5, 5, 6400, -32768},   {kInf, kInf, 1, -32768}, {kInf, 0, 0, -32768},
      {1, kNaN, 1, -32768},     {1, 0, kNaN, -32768},    {kMax, -kMax, 1, 32767}, {1, 0, kMax, 32767},
      {-1, 0, kMax, -32768},    {2, 0, -3, -6},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ConvertSample(c.value, c.offset, c.scale), c.code)
        << c.value << " - " << c.offset << " times " << c.scale;
  }
}

struct Channel {
  double scale, offset;
};

struct Block {
  std::vector<Channel> channels;
  std::vector<double> values;
  std::size_t first = 0;  // channel of values[0]
  const Channel& Of(std::size_t i) const { return channels[(first + i) % channels.size()]; }
};

ConversionPattern PatternOf(const std::vector<Channel>& channels) {
  std::vector<double> scales, offsets;
  for (const Channel& ch : channels) {
    scales.push_back(ch.scale);
    offsets.push_back(ch.offset);
  }
  return ConversionPattern(scales, offsets);
}

// Converts the block with input and output shifted by the given numbers of
// elements; the input ends where the block does (a read past it trips the
// sanitizer), and guards around the output must stay untouched.
testing::AssertionResult MatchesReference(driver::ConvertFn convert, const Block& b, std::size_t in_shift,
                                          std::size_t out_shift) {
  constexpr std::size_t kGuard = 32;
  constexpr std::int16_t kFill = 0x5A5A;
  const std::size_t n = b.values.size();
  std::vector<double> in(in_shift + n);
  std::copy(b.values.begin(), b.values.end(), in.begin() + static_cast<std::ptrdiff_t>(in_shift));
  std::vector<std::int16_t> out(kGuard + out_shift + n + kGuard, kFill);
  std::int16_t* const codes = out.data() + kGuard + out_shift;
  convert(in.data() + in_shift, codes, n, PatternOf(b.channels), b.first);
  const auto block = [&] {
    return std::to_string(b.channels.size()) + " channels, " + std::to_string(n) + " values from channel " +
           std::to_string(b.first) + ", shifted " + std::to_string(in_shift) + "/" + std::to_string(out_shift);
  };
  for (std::size_t i = 0; i < out.size(); ++i) {
    const bool inside = i >= kGuard + out_shift && i < kGuard + out_shift + n;
    if (!inside && out[i] != kFill) return testing::AssertionFailure() << "wrote outside the block: " << block();
  }
  for (std::size_t i = 0; i < n; ++i) {
    const std::int16_t expected = ConvertSample(b.values[i], b.Of(i).offset, b.Of(i).scale);
    if (codes[i] != expected) {
      return testing::AssertionFailure() << block() << ": value " << i << " (" << b.values[i] << ", scale "
                                         << b.Of(i).scale << ", offset " << b.Of(i).offset << ") gave "
                                         << codes[i] << ", expected " << expected;
    }
  }
  return testing::AssertionSuccess();
}

enum class Kind { kNoOffsets, kOffsets, kHostile };

// Random blocks of realistic channels with special values sprinkled in, or of
// channels whose arithmetic overflows or is invalid. Seeded from
// NIADC_TEST_SEED when it is set, otherwise afresh; the seed is printed so
// that a failing run can be repeated.
class BlockMaker {
 public:
  explicit BlockMaker(std::uint64_t salt) : rng_(RunSeed() + salt) {}

  static std::uint64_t RunSeed() {
    static const std::uint64_t seed = [] {
      const char* given = std::getenv("NIADC_TEST_SEED");
      const std::uint64_t chosen =
          given != nullptr && *given != '\0' ? std::strtoull(given, nullptr, 0) : std::random_device()();
      std::printf("random blocks: NIADC_TEST_SEED=%llu\n", static_cast<unsigned long long>(chosen));
      return chosen;
    }();
    return seed;
  }

  std::size_t Below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }

  std::vector<Channel> Channels(std::size_t count, Kind kind) {
    static const double kScales[] = {1.0, 3200.0, 6400.0, 3276.8, 0.5, 4096.0, -3200.0, 1.0e6};
    static const double kOffsets[] = {5.0, -2.5, 0.1, 1.0e-3, 0.0, -0.0};
    static const Channel kHostile[] = {{0.0, 0.0},  {kInf, 0.0},    {1e300, 1.0}, {1e-300, -1e300},
                                       {1.0, kInf}, {3200.0, kNaN}, {kNaN, 0.0},  {-kInf, 2.0}};
    std::vector<Channel> channels(count);
    for (Channel& ch : channels) {
      ch.scale = Below(4) == 0 ? std::exp(Uniform(0.0, 14.0)) : kScales[Below(std::size(kScales))];
      ch.offset = Below(3) == 0 ? Uniform(-10.0, 10.0) : kOffsets[Below(std::size(kOffsets))];
      if (kind == Kind::kNoOffsets) ch.offset = Below(2) == 0 ? 0.0 : -0.0;
      if (kind == Kind::kHostile) ch = kHostile[Below(std::size(kHostile))];
    }
    return channels;
  }

  Block Make(const std::vector<Channel>& channels, std::size_t count, std::size_t first) {
    static const double kRaw[] = {kNaN, kInf, -kInf, 0.0, -0.0, 1e300, -1e300, kMax,
                                  std::numeric_limits<double>::denorm_min()};
    // In code space: halves, the clip limits and their neighbours, int32 limits.
    static const double kCodes[] = {0.5,      1.5,         -2.5,          -0.5,         2.5,        32766.5,
                                    32767.5,  32767.4999,  32767.5001,    32768.0,      -32767.5,   -32768.5,
                                    -32768.4999, -32768.5001, -32769.0,   65535.5,      2147483648.0,
                                    -2147483649.0, 4294967296.5, 1e18};
    Block b{channels, std::vector<double>(count), first};
    for (std::size_t i = 0; i < count; ++i) {
      const Channel& ch = b.Of(i);
      const std::size_t pick = Below(10);
      b.values[i] = pick == 0   ? kRaw[Below(std::size(kRaw))]
                    : pick == 1 ? ch.offset + kCodes[Below(std::size(kCodes))] / ch.scale
                                : ch.offset + Uniform(-40000.0, 40000.0) / ch.scale;
    }
    return b;
  }

 private:
  double Uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
  std::mt19937_64 rng_;
};

class KernelTest : public testing::TestWithParam<std::size_t> {
 protected:
  void SetUp() override {
    if (!kernel().supported) GTEST_SKIP() << kernel().name << " is not supported by this processor";
  }
  const driver::Kernel& kernel() const { return driver::Kernels()[GetParam()]; }
};

TEST_P(KernelTest, MatchesTheReference) {
  const driver::ConvertFn convert = kernel().convert;
  BlockMaker make(GetParam());
  SCOPED_TRACE("NIADC_TEST_SEED=" + std::to_string(BlockMaker::RunSeed()));
  // Every short length, at random shifts and phases.
  for (std::size_t channels : {1, 2, 3, 4, 5, 7, 8, 16, 63, 64}) {
    for (Kind kind : {Kind::kNoOffsets, Kind::kOffsets, Kind::kHostile}) {
      const std::vector<Channel> chans = make.Channels(channels, kind);
      for (std::size_t count = 0; count <= 300; ++count) {
        ASSERT_TRUE(MatchesReference(convert, make.Make(chans, count, make.Below(channels)), make.Below(8),
                                     make.Below(8)));
      }
    }
  }
  // Every shift and phase of blocks around one step.
  for (std::size_t channels : {3, 8, 63}) {
    const std::vector<Channel> chans = make.Channels(channels, Kind::kOffsets);
    for (std::size_t count : {15, 16, 17, 33, 64}) {
      for (std::size_t first = 0; first < channels; ++first) {
        const Block b = make.Make(chans, count, first);
        for (std::size_t shifts = 0; shifts < 64; ++shifts) {
          ASSERT_TRUE(MatchesReference(convert, b, shifts / 8, shifts % 8));
        }
      }
    }
  }
  // Large blocks, as a fast acquisition reads them.
  for (const auto& [channels, count] : {std::pair<std::size_t, std::size_t>{1, 4096}, {7, 100003}, {64, 4096 * 64}}) {
    for (Kind kind : {Kind::kNoOffsets, Kind::kOffsets}) {
      const Block b = make.Make(make.Channels(channels, kind), count, make.Below(channels));
      ASSERT_TRUE(MatchesReference(convert, b, make.Below(8), make.Below(8)));
    }
  }
  // No channels: nothing to convert, nothing written.
  ASSERT_TRUE(MatchesReference(convert, Block{{}, {}, 0}, 0, 0));
}

INSTANTIATE_TEST_SUITE_P(AllKernels, KernelTest, testing::Range<std::size_t>(0, driver::Kernels().size()),
                         [](const auto& param) { return std::string(driver::Kernels()[param.param].name); });

#if defined(__i386__)
// 32-bit hosts leave the x87 unit at their own precision and rounding. The
// reference computes on x87 there and still gives the SSE2 kernel's codes,
// and hands the host's setting back unchanged.
std::uint16_t X87ControlWord() {
  std::uint16_t word = 0;
  __asm__ volatile("fnstcw %0" : "=m"(word));
  return word;
}

void SetX87ControlWord(std::uint16_t word) { __asm__ volatile("fldcw %0" : : "m"(word)); }

TEST(ConvertSample, X87ReferenceGivesTheSse2CodesWhateverTheHostsPrecision) {
  const driver::Kernel& sse2 = driver::Kernels()[1];
  ASSERT_EQ(sse2.name, "sse2");
  if (!sse2.supported) GTEST_SKIP() << "this processor has no SSE2";
  // 53, 64 and 24 bits to nearest; 64 bits toward zero and downward.
  const std::uint16_t kHostSettings[] = {0x027F, 0x037F, 0x007F, 0x0F7F, 0x077F};
  const std::uint16_t saved = X87ControlWord();
  BlockMaker make(6);
  for (std::uint16_t setting : kHostSettings) {
    for (std::size_t channels : {1, 3, 16}) {
      const Block b = make.Make(make.Channels(channels, Kind::kOffsets), 64 * ConversionPattern::kStep, 0);
      const std::size_t n = b.values.size();
      std::vector<std::int16_t> expected(n), block(n), single(n);
      sse2.convert(b.values.data(), expected.data(), n, PatternOf(b.channels), 0);
      SetX87ControlWord(setting);
      driver::Kernels().back().convert(b.values.data(), block.data(), n, PatternOf(b.channels), 0);
      for (std::size_t i = 0; i < n; ++i) single[i] = ConvertSample(b.values[i], b.Of(i).offset, b.Of(i).scale);
      const std::uint16_t after = X87ControlWord();
      SetX87ControlWord(saved);
      EXPECT_EQ(after, setting);
      ASSERT_EQ(block, expected) << "control word " << std::hex << setting;
      ASSERT_EQ(single, expected) << "control word " << std::hex << setting;
    }
  }
}
#endif

}  // namespace

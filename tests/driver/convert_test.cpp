// Sample conversion: the scalar reference against known codes, and every
// kernel against the reference on random and hostile blocks of many lengths,
// alignments, channel counts and phases.
#include "driver/convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <iterator>
#include <limits>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using driver::ConversionPattern;
using driver::ConvertSample;
using driver::Kernel;

constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Channel {
  double scale;
  double offset;
};

struct KnownCode {
  double value;
  std::int16_t code;
};

// Values of one channel with the codes they must give.
struct KnownChannel {
  Channel channel;
  std::vector<KnownCode> cases;
};

// Code space itself: halves, rounding boundaries, clipping and the values that
// a wrapping conversion would turn into small or negative codes.
const KnownChannel kUnit{{1.0, 0.0},
                         {{0.5, 0}, {1.5, 2}, {2.5, 2}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2},
                          {0.49999999999999994, 0}, {1.4999999999999998, 1}, {0.0, 0}, {-0.0, 0},
                          {32766.5, 32766}, {32767.0, 32767}, {32767.49, 32767}, {32767.5, 32767},
                          {32768.0, 32767}, {65536.0, 32767}, {2147483647.5, 32767}, {2147483648.0, 32767},
                          {4294967296.0, 32767}, {1e300, 32767}, {kInf, 32767}, {-32767.49, -32767},
                          {-32767.5, -32768}, {-32768.0, -32768}, {-32768.5, -32768}, {-65536.0, -32768},
                          {-2147483649.0, -32768}, {-1e300, -32768}, {-kInf, -32768}, {kNaN, -32768}}};

// A +-10 V channel: the range limits map to +-32000.
const KnownChannel kBipolar{{3200.0, 0.0},
                            {{10.0, 32000}, {-10.0, -32000}, {0.0, 0}, {5.0, 16000}, {20.0, 32767},
                             {-20.0, -32768}, {10.5, 32767}, {1e12, 32767}, {kNaN, -32768}}};

// A 0..10 V channel.
const KnownChannel kUnipolar{{6400.0, 5.0},
                             {{5.0, 0}, {10.0, 32000}, {0.0, -32000}, {7.5, 16000}, {15.0, 32767},
                              {-5.0, -32768}, {kInf, 32767}, {-kInf, -32768}, {kNaN, -32768}}};

std::string Describe(double v, const Channel& ch) {
  std::ostringstream text;
  text.precision(17);
  text << "value " << v << " (scale " << ch.scale << ", offset " << ch.offset << ")";
  return text.str();
}

// ---------------------------------------------------------------------------
// The scalar reference

TEST(ConvertSample, GivesKnownCodes) {
  for (const KnownChannel* known : {&kUnit, &kBipolar, &kUnipolar}) {
    const Channel ch = known->channel;
    for (const KnownCode& k : known->cases) {
      EXPECT_EQ(ConvertSample(k.value, ch.offset, ch.scale), k.code) << Describe(k.value, ch);
    }
  }
}

// Invalid arithmetic gives the lowest code; overflow saturates.
TEST(ConvertSample, InvalidOrOverflowingArithmetic) {
  const double max = std::numeric_limits<double>::max();
  const struct {
    double value, offset, scale;
    std::int16_t code;
  } cases[] = {{kInf, kInf, 1.0, -32768}, {kInf, 0.0, 0.0, -32768},  {1.0, kNaN, 1.0, -32768},
               {1.0, 0.0, kNaN, -32768},  {max, -max, 1.0, 32767},   {1.0, 0.0, max, 32767},
               {-1.0, 0.0, max, -32768},  {2.0, 0.0, -3.0, -6}};  // a negative scale inverts
  for (const auto& c : cases) {
    EXPECT_EQ(ConvertSample(c.value, c.offset, c.scale), c.code) << Describe(c.value, {c.scale, c.offset});
  }
}

// ---------------------------------------------------------------------------
// The pattern

TEST(ConversionPattern, KnowsWhetherAnyOffsetIsNonZero) {
  const std::vector<double> scales{1.0, 2.0, 3.0};
  EXPECT_FALSE(ConversionPattern(scales, std::vector<double>{0.0, -0.0, 0.0}).HasOffset());
  EXPECT_TRUE(ConversionPattern(scales, std::vector<double>{0.0, 0.0, 1e-300}).HasOffset());
  EXPECT_TRUE(ConversionPattern(scales, std::vector<double>{kNaN, 0.0, 0.0}).HasOffset());
}

TEST(ConversionPattern, PeriodRepeatsFramesAndStepsWithoutExpandingTheBlock) {
  for (std::size_t channels : {1, 2, 3, 5, 16, 63, 64, 100}) {
    const std::vector<double> values(channels, 1.0);
    const ConversionPattern p(values, values);
    EXPECT_EQ(p.Channels(), channels);
    EXPECT_EQ(p.Period() % channels, 0u) << channels;
    EXPECT_EQ(p.Period() % ConversionPattern::kStep, 0u) << channels;
    EXPECT_LE(p.Period(), channels * ConversionPattern::kStep) << channels;
  }
}

TEST(ConversionPattern, RejectsDifferentScaleAndOffsetCounts) {
  const std::vector<double> two{1.0, 1.0};
  const std::vector<double> three{1.0, 1.0, 1.0};
  EXPECT_THROW(ConversionPattern(two, three), std::invalid_argument);
}

// ---------------------------------------------------------------------------
// Kernels against the reference

// Output with guard zones on both sides, at a chosen misalignment.
class GuardedOutput {
 public:
  static constexpr std::size_t kGuard = 32;
  static constexpr std::int16_t kFill = 0x5A5A;

  GuardedOutput(std::size_t count, std::size_t misalign)
      : storage_(kGuard + misalign + count + kGuard, kFill),
        begin_(kGuard + misalign),
        count_(count) {}

  std::int16_t* data() { return storage_.data() + begin_; }
  const std::int16_t* data() const { return storage_.data() + begin_; }

  bool GuardsIntact() const {
    for (std::size_t i = 0; i < storage_.size(); ++i) {
      const bool inside = i >= begin_ && i < begin_ + count_;
      if (!inside && storage_[i] != kFill) return false;
    }
    return true;
  }

 private:
  std::vector<std::int16_t> storage_;
  std::size_t begin_;
  std::size_t count_;
};

// Input sized exactly to its end, so that a read past it trips the sanitizer.
class MisalignedInput {
 public:
  MisalignedInput(const std::vector<double>& values, std::size_t misalign)
      : storage_(misalign + values.size()), begin_(misalign) {
    std::copy(values.begin(), values.end(), storage_.begin() + static_cast<std::ptrdiff_t>(misalign));
  }
  const double* data() const { return storage_.data() + begin_; }

 private:
  std::vector<double> storage_;
  std::size_t begin_;
};

struct Block {
  std::vector<Channel> channels;
  std::vector<double> values;
  std::size_t first_channel = 0;

  const Channel& ChannelOf(std::size_t i) const {
    return channels[(first_channel + i) % channels.size()];
  }
};

ConversionPattern PatternOf(const std::vector<Channel>& channels) {
  std::vector<double> scales, offsets;
  for (const Channel& ch : channels) {
    scales.push_back(ch.scale);
    offsets.push_back(ch.offset);
  }
  return ConversionPattern(scales, offsets);
}

std::vector<std::int16_t> ReferenceCodes(const Block& b) {
  std::vector<std::int16_t> codes(b.values.size());
  for (std::size_t i = 0; i < codes.size(); ++i) {
    const Channel& ch = b.ChannelOf(i);
    codes[i] = ConvertSample(b.values[i], ch.offset, ch.scale);
  }
  return codes;
}

testing::AssertionResult SameCodes(const Block& b, const std::vector<std::int16_t>& expected,
                                   const std::int16_t* actual) {
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (actual[i] != expected[i]) {
      return testing::AssertionFailure()
             << "element " << i << " of " << expected.size() << ", "
             << Describe(b.values[i], b.ChannelOf(i)) << ": got " << actual[i] << ", expected "
             << expected[i];
    }
  }
  return testing::AssertionSuccess();
}

// Converts the block with `convert` at the given misalignments and compares
// with `expected`, including the guard zones around the output.
testing::AssertionResult ConvertsLike(driver::ConvertFn convert, const Block& b,
                                      const std::vector<std::int16_t>& expected,
                                      std::size_t in_misalign, std::size_t out_misalign) {
  const ConversionPattern pattern = PatternOf(b.channels);
  const MisalignedInput in(b.values, in_misalign);
  GuardedOutput out(b.values.size(), out_misalign);
  convert(in.data(), out.data(), b.values.size(), pattern, b.first_channel);
  if (!out.GuardsIntact()) {
    return testing::AssertionFailure() << "wrote outside out[0.." << b.values.size() << ")";
  }
  return SameCodes(b, expected, out.data());
}

testing::AssertionResult MatchesReference(driver::ConvertFn convert, const Block& b,
                                          std::size_t in_misalign, std::size_t out_misalign) {
  return ConvertsLike(convert, b, ReferenceCodes(b), in_misalign, out_misalign);
}

// Random blocks: realistic channels and values, with special values sprinkled in.
class BlockMaker {
 public:
  // Seeded from NIADC_TEST_SEED when it is set, otherwise afresh each run;
  // the seed is printed, so that a failing run can be repeated exactly.
  explicit BlockMaker(std::uint64_t salt) : rng_(RunSeed() + salt) {}

  static std::uint64_t RunSeed() {
    static const std::uint64_t seed = [] {
      const char* given = std::getenv("NIADC_TEST_SEED");
      const std::uint64_t chosen = given != nullptr && *given != '\0' ? std::strtoull(given, nullptr, 0)
                                                                        : std::random_device()();
      std::printf("random blocks: NIADC_TEST_SEED=%llu\n", static_cast<unsigned long long>(chosen));
      testing::Test::RecordProperty("NIADC_TEST_SEED", std::to_string(chosen));
      return chosen;
    }();
    return seed;
  }

  std::size_t Below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }

  std::vector<Channel> Channels(std::size_t count, bool with_offsets) {
    static const double kScales[] = {1.0, 3200.0, 6400.0, 3276.8, 0.5, 4096.0, -3200.0, 1.0e6};
    static const double kOffsets[] = {5.0, -2.5, 0.1, 1.0e-3, 0.0};
    std::vector<Channel> channels(count);
    for (Channel& ch : channels) {
      ch.scale = Below(4) == 0 ? std::exp(Uniform(0.0, 14.0)) : kScales[Below(std::size(kScales))];
      ch.offset = 0.0;
      if (with_offsets) ch.offset = Below(3) == 0 ? Uniform(-10.0, 10.0) : kOffsets[Below(std::size(kOffsets))];
      if (!with_offsets && Below(2) == 0) ch.offset = -0.0;
    }
    return channels;
  }

  // Channels whose arithmetic overflows or becomes invalid.
  std::vector<Channel> HostileChannels(std::size_t count) {
    static const Channel kHostile[] = {{0.0, 0.0},  {kInf, 0.0},     {1e300, 1.0}, {1e-300, -1e300},
                                       {1.0, kInf}, {3200.0, kNaN}, {kNaN, 0.0},  {-kInf, 2.0}};
    std::vector<Channel> channels(count);
    for (Channel& ch : channels) ch = kHostile[Below(std::size(kHostile))];
    return channels;
  }

  Block Make(const std::vector<Channel>& channels, std::size_t count, std::size_t first_channel) {
    Block b{channels, std::vector<double>(count), first_channel};
    for (std::size_t i = 0; i < count; ++i) b.values[i] = Value(b.ChannelOf(i));
    return b;
  }

 private:
  double Uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }

  double Value(const Channel& ch) {
    static const double kRaw[] = {kNaN, kInf, -kInf, 0.0, -0.0, 1e300, -1e300,
                                  std::numeric_limits<double>::max(),
                                  std::numeric_limits<double>::denorm_min()};
    // In code space: halves, clip boundaries and their neighbours, int32 limits.
    static const double kCodes[] = {0.5,        1.5,         -2.5,        -0.5,         2.5,
                                    32766.5,    32767.5,     32767.4999,  32767.5001,   32768.0,
                                    -32767.5,   -32768.5,    -32768.4999, -32768.5001,  -32769.0,
                                    65535.5,    2147483648.0, -2147483649.0, 4294967296.5, 1e18};
    switch (Below(10)) {
      case 0:
        return kRaw[Below(std::size(kRaw))];
      case 1:
        return ch.offset + kCodes[Below(std::size(kCodes))] / ch.scale;
      default:
        return ch.offset + Uniform(-40000.0, 40000.0) / ch.scale;
    }
  }

  std::mt19937_64 rng_;
};

const std::size_t kChannelCounts[] = {1, 2, 3, 4, 5, 7, 8, 16, 63, 64};

class KernelTest : public testing::TestWithParam<std::size_t> {
 protected:
  void SetUp() override {
    if (!kernel().supported) GTEST_SKIP() << kernel().name << " is not supported by this processor";
  }
  const Kernel& kernel() const { return driver::Kernels()[GetParam()]; }
  driver::ConvertFn convert() const { return kernel().convert; }
};

TEST_P(KernelTest, GivesKnownCodesAtEveryPosition) {
  const std::vector<KnownChannel> sets[] = {{kUnit}, {kUnit, kBipolar}, {kBipolar, kUnipolar, kUnit}};
  for (const std::vector<KnownChannel>& set : sets) {
    std::vector<Channel> channels;
    for (const KnownChannel& known : set) channels.push_back(known.channel);
    for (std::size_t shift = 0; shift < 40; ++shift) {
      for (std::size_t first = 0; first < set.size(); ++first) {
        // Each channel walks its own list, shifted so every case meets every lane.
        Block b{channels, {}, first};
        std::vector<std::int16_t> expected;
        for (std::size_t i = 0; i < 3 * ConversionPattern::kStep + 7; ++i) {
          const std::vector<KnownCode>& cases = set[(first + i) % set.size()].cases;
          const KnownCode& k = cases[(i / set.size() + shift) % cases.size()];
          b.values.push_back(k.value);
          expected.push_back(k.code);
        }
        ASSERT_TRUE(ConvertsLike(convert(), b, expected, shift % 8, shift % 5))
            << set.size() << " channels, shift " << shift << ", first channel " << first;
      }
    }
  }
}

TEST_P(KernelTest, MatchesReferenceOnRandomBlocksOfEveryShortLength) {
  BlockMaker make(0x5eed0001u + GetParam());
  SCOPED_TRACE("NIADC_TEST_SEED=" + std::to_string(BlockMaker::RunSeed()));
  for (std::size_t channels : kChannelCounts) {
    for (bool with_offsets : {false, true}) {
      const std::vector<Channel> chans = make.Channels(channels, with_offsets);
      for (std::size_t count = 0; count <= 300; ++count) {
        const Block b = make.Make(chans, count, make.Below(channels));
        const std::size_t in_misalign = make.Below(8), out_misalign = make.Below(8);
        ASSERT_TRUE(MatchesReference(convert(), b, in_misalign, out_misalign))
            << channels << " channels, offsets " << with_offsets << ", count " << count
            << ", first channel " << b.first_channel << ", misaligned by " << in_misalign << "/"
            << out_misalign;
      }
    }
  }
}

TEST_P(KernelTest, MatchesReferenceAtEveryAlignmentAndPhase) {
  BlockMaker make(0x5eed0002u + GetParam());
  SCOPED_TRACE("NIADC_TEST_SEED=" + std::to_string(BlockMaker::RunSeed()));
  for (std::size_t channels : {3, 8, 63}) {
    const std::vector<Channel> chans = make.Channels(channels, true);
    for (std::size_t count : {15, 16, 17, 33, 64}) {
      for (std::size_t first = 0; first < channels; ++first) {
        const Block b = make.Make(chans, count, first);
        for (std::size_t in_misalign = 0; in_misalign < 8; ++in_misalign) {
          for (std::size_t out_misalign = 0; out_misalign < 8; ++out_misalign) {
            ASSERT_TRUE(MatchesReference(convert(), b, in_misalign, out_misalign))
                << channels << " channels, count " << count << ", first channel " << first
                << ", misaligned by " << in_misalign << "/" << out_misalign;
          }
        }
      }
    }
  }
}

TEST_P(KernelTest, MatchesReferenceOnLargeBlocks) {
  BlockMaker make(0x5eed0003u + GetParam());
  SCOPED_TRACE("NIADC_TEST_SEED=" + std::to_string(BlockMaker::RunSeed()));
  const std::size_t cases[][2] = {{1, 4096}, {4, 4096 * 4}, {16, 4096 * 16 + 5},
                                  {64, 4096 * 64}, {7, 100003}, {63, 65536 + 13}};
  for (const auto& [channels, count] : cases) {
    for (bool with_offsets : {false, true}) {
      const Block b = make.Make(make.Channels(channels, with_offsets), count, make.Below(channels));
      ASSERT_TRUE(MatchesReference(convert(), b, make.Below(8), make.Below(8)))
          << channels << " channels, offsets " << with_offsets << ", count " << count;
    }
  }
}

TEST_P(KernelTest, MatchesReferenceWhenTheArithmeticOverflowsOrIsInvalid) {
  BlockMaker make(0x5eed0004u + GetParam());
  SCOPED_TRACE("NIADC_TEST_SEED=" + std::to_string(BlockMaker::RunSeed()));
  for (std::size_t channels : kChannelCounts) {
    for (std::size_t count : {1, 16, 31, 100, 257}) {
      const Block b = make.Make(make.HostileChannels(channels), count, make.Below(channels));
      ASSERT_TRUE(MatchesReference(convert(), b, make.Below(8), make.Below(8)))
          << channels << " channels, count " << count;
    }
  }
}

TEST_P(KernelTest, EmptyPatternWritesNothing) {
  const double in[4] = {1.0, 2.0, 3.0, 4.0};
  GuardedOutput out(0, 0);
  convert()(in, out.data(), 4, ConversionPattern(), 0);
  EXPECT_TRUE(out.GuardsIntact());
}

std::string KernelName(const testing::TestParamInfo<std::size_t>& info) {
  return std::string(driver::Kernels()[info.param].name);
}

INSTANTIATE_TEST_SUITE_P(AllKernels, KernelTest, testing::Range<std::size_t>(0, driver::Kernels().size()),
                         KernelName);

#if defined(__i386__)
// 32-bit hosts leave the x87 unit at their own precision and rounding (many
// at 64-bit precision). The reference computes on x87 there and still gives
// the SSE2 kernel's codes, and hands the host's setting back unchanged.
std::uint16_t X87ControlWord() {
  std::uint16_t word = 0;
  __asm__ volatile("fnstcw %0" : "=m"(word));
  return word;
}

void SetX87ControlWord(std::uint16_t word) { __asm__ volatile("fldcw %0" : : "m"(word)); }

TEST(ConvertSample, X87ReferenceGivesTheSse2CodesWhateverTheHostsPrecision) {
  const Kernel& sse2 = driver::Kernels()[driver::Kernels().size() - 2];
  ASSERT_EQ(sse2.name, "sse2");
  if (!sse2.supported) GTEST_SKIP() << "this processor has no SSE2";
  const std::uint16_t kHostSettings[] = {
      0x027F,  // 53-bit, to nearest: the Windows default
      0x037F,  // 64-bit, to nearest
      0x007F,  // 24-bit, to nearest
      0x0F7F,  // 64-bit, toward zero
      0x077F,  // 64-bit, downward
  };
  const std::uint16_t saved = X87ControlWord();
  BlockMaker make(0x5eed0006u);
  for (std::uint16_t setting : kHostSettings) {
    for (std::size_t channels : {1, 3, 16}) {
      const Block b = make.Make(make.Channels(channels, true), 64 * ConversionPattern::kStep, 0);
      const ConversionPattern pattern = PatternOf(b.channels);
      std::vector<std::int16_t> expected(b.values.size()), block(b.values.size()), single(b.values.size());
      sse2.convert(b.values.data(), expected.data(), b.values.size(), pattern, 0);
      SetX87ControlWord(setting);
      driver::Kernels().back().convert(b.values.data(), block.data(), b.values.size(), pattern, 0);
      for (std::size_t i = 0; i < single.size(); ++i) {
        single[i] = ConvertSample(b.values[i], b.ChannelOf(i).offset, b.ChannelOf(i).scale);
      }
      const std::uint16_t after = X87ControlWord();
      SetX87ControlWord(saved);
      EXPECT_EQ(after, setting);
      ASSERT_TRUE(SameCodes(b, expected, block.data())) << "control word " << std::hex << setting;
      ASSERT_TRUE(SameCodes(b, expected, single.data())) << "control word " << std::hex << setting;
    }
  }
}
#endif

// ---------------------------------------------------------------------------
// The selected kernel

TEST(Convert, SelectsTheFastestSupportedKernel) {
  if (std::getenv("NIADC_CONVERT_KERNEL") != nullptr) GTEST_SKIP() << "NIADC_CONVERT_KERNEL chooses the kernel";
  const driver::Kernel& selected = driver::SelectedKernel();
  EXPECT_TRUE(selected.supported);
  for (const Kernel& k : driver::Kernels()) {
    if (&k == &selected) break;
    EXPECT_FALSE(k.supported) << k.name << " is listed as faster and is supported";
  }
  EXPECT_EQ(driver::Kernels().back().name, "scalar");
#if defined(__x86_64__)
  bool sse2 = false;
  for (const Kernel& k : driver::Kernels()) sse2 = sse2 || (k.name == "sse2" && k.supported);
  EXPECT_TRUE(sse2) << "every x86_64 processor has SSE2";
#endif
}

TEST(Convert, BlockSplitAnywhereConvertsAsInOneCall) {
  BlockMaker make(0x5eed0005u);
  for (std::size_t channels : {1, 3, 16, 63}) {
    const Block b = make.Make(make.Channels(channels, true), channels * 40 + 3, 0);
    const ConversionPattern pattern = PatternOf(b.channels);
    const std::vector<std::int16_t> expected = ReferenceCodes(b);
    for (std::size_t split = 0; split <= b.values.size(); split += 1 + split / 7) {
      std::vector<std::int16_t> out(b.values.size(), 0x5A5A);
      driver::Convert(b.values.data(), out.data(), split, pattern, 0);
      driver::Convert(b.values.data() + split, out.data() + split, b.values.size() - split, pattern,
                      split % channels);
      ASSERT_TRUE(SameCodes(b, expected, out.data())) << channels << " channels, split at " << split;
    }
  }
}

}  // namespace

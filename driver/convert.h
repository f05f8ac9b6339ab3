// Conversion of acquired samples (doubles in a channel's units) to the signed
// 16-bit codes stored in the ring.
//
// For channel c: code = clip(round((v - offset[c]) * scale[c])), computed in
// double precision, rounded to nearest with exact halves to even (what
// cvtpd2dq does in the default rounding mode), clipped to -32768..32767.
// Non-finite and huge values saturate, never wrap:
//   +inf and anything above 32767 -> 32767
//   -inf and anything below -32768 -> -32768
//   NaN (also from inf - inf or inf * 0) -> -32768. An in-range value never
//   produces the lowest code (range limits map to +-32000), so -32768 marks
//   an invalid sample as well as a negative overload.
//
// The vector kernels assume the default floating-point environment (round to
// nearest, no denormal flushing), which every thread starts with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace driver {

// Code of one value. The scalar reference that every kernel matches exactly.
std::int16_t ConvertSample(double v, double offset, double scale);

// The per-channel scale and offset of an acquisition, laid out as a repeating
// frame pattern that a kernel walks alongside the interleaved block.
class ConversionPattern {
 public:
  // Values per step of the widest kernel; the pattern period is a multiple of it.
  static constexpr std::size_t kStep = 16;

  // What a kernel reads.
  struct Data {
    // period + kStep entries each: entry i belongs to channel i % channels, so
    // a step may start at any index below period without reading past the end.
    const double* scales;
    const double* offsets;  // all zero when has_offset is false
    std::size_t channels;
    std::size_t period;  // lcm(channels, kStep)
    bool has_offset;
  };

  // No channels: converts nothing.
  ConversionPattern() = default;
  // One entry per channel, channel 0 first. Throws std::invalid_argument when
  // the two sizes differ.
  ConversionPattern(std::span<const double> scales, std::span<const double> offsets);

  std::size_t Channels() const { return channels_; }
  std::size_t Period() const { return period_; }
  // False when every offset compares equal to 0, so kernels skip the subtraction.
  bool HasOffset() const { return has_offset_; }
  Data View() const;

 private:
  std::vector<double> scales_;
  std::vector<double> offsets_;
  std::size_t channels_ = 0;
  std::size_t period_ = 0;
  bool has_offset_ = false;
};

// Converts `count` interleaved values. in[0] belongs to channel
// `first_channel` (taken modulo the channel count; 0 when the block starts on
// a frame boundary), so a block split anywhere converts the same in two calls.
// `in` needs only double alignment, `out` only int16 alignment; nothing
// outside out[0..count) is written.
using ConvertFn = void (*)(const double* in, std::int16_t* out, std::size_t count,
                           const ConversionPattern& pattern, std::size_t first_channel);

struct Kernel {
  std::string_view name;
  ConvertFn convert;
  bool supported;  // this processor can run it
};

// Every kernel built in, fastest first; the last one is the scalar reference.
std::span<const Kernel> Kernels();
// The kernel named by NIADC_CONVERT_KERNEL (scalar, sse2, avx2) when this
// processor supports it, otherwise the fastest supported one; chosen on
// first use.
const Kernel& SelectedKernel();

// Converts with the selected kernel.
void Convert(const double* in, std::int16_t* out, std::size_t count,
             const ConversionPattern& pattern, std::size_t first_channel);

}  // namespace driver

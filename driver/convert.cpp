#include "driver/convert.h"

#include <array>
#include <cmath>
#include <numeric>
#include <optional>
#include <stdexcept>

#include "driver/convert_kernels.h"
#include "platform/system.h"

namespace driver {
namespace {

#if defined(__i386__) && !defined(__SSE2_MATH__)
// x87 arithmetic keeps intermediates with a 64-bit mantissa and a wider
// exponent; the vector kernels round every step to double. Switching the
// precision to 53 bits (and rounding to nearest) and storing each step makes
// the scalar results bit-identical to theirs.
class DoublePrecisionScope {
 public:
  DoublePrecisionScope() {
    __asm__ volatile("fnstcw %0" : "=m"(saved_));
    const std::uint16_t precise = (saved_ & ~0x0F00u) | 0x0200u;
    __asm__ volatile("fldcw %0" : : "m"(precise));
  }
  ~DoublePrecisionScope() { __asm__ volatile("fldcw %0" : : "m"(saved_)); }
  DoublePrecisionScope(const DoublePrecisionScope&) = delete;
  DoublePrecisionScope& operator=(const DoublePrecisionScope&) = delete;

 private:
  std::uint16_t saved_ = 0;
};

double ToDouble(double x) {
  volatile double stored = x;
  return stored;
}
#else
class DoublePrecisionScope {};

double ToDouble(double x) { return x; }
#endif

std::int16_t ConvertOne(double v, double offset, double scale) {
  const double x = ToDouble(ToDouble(v - offset) * scale);
  if (std::isnan(x)) return -32768;
  if (x >= 32767.0) return 32767;
  if (x <= -32768.0) return -32768;
  double r = std::floor(x);
  const double fraction = x - r;  // exact: |x| < 2^15
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(r, 2.0) != 0.0)) r += 1.0;
  return static_cast<std::int16_t>(r);
}

#if defined(NIADC_CONVERT_X86)
bool HasSse2() {
#if defined(__x86_64__)
  return true;
#else
  __builtin_cpu_init();
  return __builtin_cpu_supports("sse2");
#endif
}

// Also false when the system does not save the YMM registers.
bool HasAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}
#endif

// NIADC_CONVERT_KERNEL=scalar|sse2|avx2 forces a supported kernel (so that
// the tests can run an acquisition with each); otherwise the fastest.
const Kernel& ChooseKernel() {
  const std::optional<std::string> wanted = platform::GetEnv("NIADC_CONVERT_KERNEL");
  for (const Kernel& k : Kernels()) {
    if (k.supported && wanted && k.name == *wanted) return k;
  }
  for (const Kernel& k : Kernels()) {
    if (k.supported) return k;
  }
  return Kernels().back();
}

}  // namespace

std::int16_t ConvertSample(double v, double offset, double scale) {
  [[maybe_unused]] DoublePrecisionScope scope;
  return ConvertOne(v, offset, scale);
}

ConversionPattern::ConversionPattern(std::span<const double> scales,
                                     std::span<const double> offsets) {
  if (scales.size() != offsets.size()) {
    throw std::invalid_argument("conversion pattern: scale and offset counts differ");
  }
  if (scales.empty()) return;
  channels_ = scales.size();
  period_ = std::lcm(channels_, kStep);
  scales_.resize(period_ + kStep);
  offsets_.resize(period_ + kStep);
  for (std::size_t i = 0; i < scales_.size(); ++i) {
    scales_[i] = scales[i % channels_];
    offsets_[i] = offsets[i % channels_];
  }
  for (double o : offsets) {
    if (o != 0.0) has_offset_ = true;
  }
}

ConversionPattern::Data ConversionPattern::View() const {
  return {scales_.data(), offsets_.data(), channels_, period_, has_offset_};
}

namespace kernels {

void ConvertScalar(const double* in, std::int16_t* out, std::size_t count,
                   const ConversionPattern& pattern, std::size_t first_channel) {
  const ConversionPattern::Data p = pattern.View();
  if (count == 0 || p.channels == 0) return;
  [[maybe_unused]] DoublePrecisionScope scope;
  std::size_t c = first_channel % p.channels;
  for (std::size_t i = 0; i < count; ++i) {
    out[i] = ConvertOne(in[i], p.offsets[c], p.scales[c]);
    if (++c == p.channels) c = 0;
  }
}

}  // namespace kernels

std::span<const Kernel> Kernels() {
#if defined(NIADC_CONVERT_X86)
  static const std::array<Kernel, 3> list = {{
      {"avx2", kernels::ConvertAvx2, HasAvx2()},
      {"sse2", kernels::ConvertSse2, HasSse2()},
      {"scalar", kernels::ConvertScalar, true},
  }};
#else
  static const std::array<Kernel, 1> list = {{
      {"scalar", kernels::ConvertScalar, true},
  }};
#endif
  return list;
}

const Kernel& SelectedKernel() {
  static const Kernel& chosen = ChooseKernel();
  return chosen;
}

void Convert(const double* in, std::int16_t* out, std::size_t count,
             const ConversionPattern& pattern, std::size_t first_channel) {
  SelectedKernel().convert(in, out, count, pattern, first_channel);
}

}  // namespace driver

// AVX2 kernel: 16 values per step, four doubles per operation.
// Compiled with -mavx2 -mfma -ffp-contract=off: (v - o) * s must stay two
// roundings, as in the scalar reference.
#include <immintrin.h>

#include "driver/convert_kernels.h"

namespace driver::kernels {
namespace {

constexpr std::size_t kStep = ConversionPattern::kStep;
static_assert(kStep == 16, "one step is four vectors of four doubles");

// Four scaled values, ready for cvtpd2dq. That conversion turns NaN, -inf and
// anything outside the int32 range into 0x80000000, which packs to -32768:
// right for NaN and negative overload, wrong for positive overload, so values
// above 32767 are clamped first. vminpd returns its second operand when either
// is NaN, which lets NaN through.
template <bool kSubtract>
__m256d Scaled(const double* in, const double* scale, const double* offset) {
  __m256d v = _mm256_loadu_pd(in);
  if constexpr (kSubtract) v = _mm256_sub_pd(v, _mm256_loadu_pd(offset));
  v = _mm256_mul_pd(v, _mm256_loadu_pd(scale));
  return _mm256_min_pd(_mm256_set1_pd(32767.0), v);
}

template <bool kSubtract>
__m128i Codes4(const double* in, const double* scale, const double* offset) {
  return _mm256_cvtpd_epi32(Scaled<kSubtract>(in, scale, offset));
}

template <bool kSubtract>
void Run(const double* in, std::int16_t* out, std::size_t count,
         const ConversionPattern::Data& p, std::size_t pos) {
  std::size_t i = 0;
  for (; i + kStep <= count; i += kStep) {
    const double* s = p.scales + pos;
    const double* o = p.offsets + pos;
    const __m128i a = Codes4<kSubtract>(in + i, s, o);
    const __m128i b = Codes4<kSubtract>(in + i + 4, s + 4, o + 4);
    const __m128i c = Codes4<kSubtract>(in + i + 8, s + 8, o + 8);
    const __m128i d = Codes4<kSubtract>(in + i + 12, s + 12, o + 12);
    // packs works per 128-bit lane: (a, c | b, d); the permute restores a, b, c, d.
    const __m256i packed = _mm256_packs_epi32(_mm256_set_m128i(b, a), _mm256_set_m128i(d, c));
    const __m256i codes = _mm256_permute4x64_epi64(packed, _MM_SHUFFLE(3, 1, 2, 0));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), codes);
    pos += kStep;
    if (pos >= p.period) pos -= p.period;
  }
  for (; i < count; ++i, ++pos) out[i] = ConvertSample(in[i], p.offsets[pos], p.scales[pos]);
}

}  // namespace

void ConvertAvx2(const double* in, std::int16_t* out, std::size_t count,
                 const ConversionPattern& pattern, std::size_t first_channel) {
  const ConversionPattern::Data p = pattern.View();
  if (count == 0 || p.channels == 0) return;
  const std::size_t pos = first_channel % p.channels;
  if (p.has_offset) {
    Run<true>(in, out, count, p, pos);
  } else {
    Run<false>(in, out, count, p, pos);
  }
}

}  // namespace driver::kernels

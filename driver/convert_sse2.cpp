// SSE2 kernel: 16 values per step, two doubles per operation.
// Compiled with -msse2 (needed on i686) and -ffp-contract=off.
#include <emmintrin.h>

#include "driver/convert_kernels.h"

namespace driver::kernels {
namespace {

constexpr std::size_t kStep = ConversionPattern::kStep;
static_assert(kStep == 16, "one step is two groups of eight values");

// Two codes in the low half. cvtpd2dq turns NaN, -inf and anything outside the
// int32 range into 0x80000000, which packs to -32768: right for NaN and
// negative overload, wrong for positive overload, so values above 32767 are
// clamped first. minpd returns its second operand when either is NaN, which
// lets NaN through.
template <bool kSubtract>
__m128i Codes2(const double* in, const double* scale, const double* offset) {
  __m128d v = _mm_loadu_pd(in);
  if constexpr (kSubtract) v = _mm_sub_pd(v, _mm_loadu_pd(offset));
  v = _mm_mul_pd(v, _mm_loadu_pd(scale));
  return _mm_cvtpd_epi32(_mm_min_pd(_mm_set1_pd(32767.0), v));
}

template <bool kSubtract>
__m128i Codes8(const double* in, const double* scale, const double* offset) {
  const __m128i lo = _mm_unpacklo_epi64(Codes2<kSubtract>(in, scale, offset),
                                        Codes2<kSubtract>(in + 2, scale + 2, offset + 2));
  const __m128i hi = _mm_unpacklo_epi64(Codes2<kSubtract>(in + 4, scale + 4, offset + 4),
                                        Codes2<kSubtract>(in + 6, scale + 6, offset + 6));
  return _mm_packs_epi32(lo, hi);
}

template <bool kSubtract>
void Run(const double* in, std::int16_t* out, std::size_t count,
         const ConversionPattern::Data& p, std::size_t pos) {
  std::size_t i = 0;
  for (; i + kStep <= count; i += kStep) {
    const double* s = p.scales + pos;
    const double* o = p.offsets + pos;
    const __m128i first = Codes8<kSubtract>(in + i, s, o);
    const __m128i second = Codes8<kSubtract>(in + i + 8, s + 8, o + 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), first);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), second);
    pos += kStep;
    if (pos >= p.period) pos -= p.period;
  }
  for (; i < count; ++i, ++pos) out[i] = ConvertSample(in[i], p.offsets[pos], p.scales[pos]);
}

}  // namespace

void ConvertSse2(const double* in, std::int16_t* out, std::size_t count,
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

// Sample conversion throughput: the selected kernel, every kernel by name
// (the scalar one is the reference), the classic three-pass conversion over
// blocks expanded to full size (vectorised, as a vector library does it),
// and a memcpy of the input as the floor. Cases: 1, 4, 16 and 64 channels,
// at a 40 ms block that stays in cache (4096 frames at 100 kS/s per channel)
// and at 32 MiB of doubles that does not.
//
// The scalar reference branches on every value, so it sees fresh input at
// each iteration (the offsets move by a random fraction of a code): on a
// block that repeats, the branch predictor would learn the outcomes.
//
//   convert_bench --benchmark_format=json | python3 bench/ratios.py
#include <benchmark/benchmark.h>
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "driver/convert.h"

namespace {

constexpr std::size_t kBlockFrames = 4096;
constexpr std::size_t kLargeValues = (32u << 20) / sizeof(double);

struct Case {
  std::size_t channels;
  std::size_t values;
  const char* size_name;
};

// ±10 V and 0..10 V channels alternately; signals reach 5 % beyond the range.
struct Workload {
  std::vector<double> scales, offsets, in;
  std::vector<std::int16_t> out;

  explicit Workload(const Case& c) : scales(c.channels), offsets(c.channels), in(c.values), out(c.values) {
    std::vector<double> half_range(c.channels);
    for (std::size_t ch = 0; ch < c.channels; ++ch) {
      const bool bipolar = ch % 2 == 0;
      half_range[ch] = bipolar ? 10.0 : 5.0;
      offsets[ch] = bipolar ? 0.0 : 5.0;
      scales[ch] = 32000.0 / half_range[ch];
    }
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> unit(-1.05, 1.05);
    for (std::size_t i = 0; i < in.size(); ++i) {
      const std::size_t ch = i % c.channels;
      in[i] = offsets[ch] + unit(rng) * half_range[ch];
    }
  }
};

void Count(benchmark::State& state, std::size_t values) {
  const auto n = static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(values);
  state.SetItemsProcessed(n);
  state.SetBytesProcessed(n * static_cast<std::int64_t>(sizeof(double) + sizeof(std::int16_t)));
}

// Patterns whose offsets differ by a random fraction of a code, so that each
// iteration rounds and clips differently.
std::vector<driver::ConversionPattern> ShiftedPatterns(const Workload& w, std::size_t count) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> fraction(0.0, 1.0);
  std::vector<driver::ConversionPattern> patterns;
  for (std::size_t k = 0; k < count; ++k) {
    std::vector<double> offsets = w.offsets;
    for (std::size_t ch = 0; ch < offsets.size(); ++ch) offsets[ch] += fraction(rng) / w.scales[ch];
    patterns.emplace_back(w.scales, offsets);
  }
  return patterns;
}

void RunKernel(benchmark::State& state, driver::ConvertFn convert, Case c, bool fresh_input) {
  Workload w(c);
  const auto patterns = fresh_input ? ShiftedPatterns(w, 64) : std::vector{driver::ConversionPattern(w.scales, w.offsets)};
  std::size_t next = 0;
  for (auto _ : state) {
    convert(w.in.data(), w.out.data(), w.in.size(), patterns[next], 0);
    next = next + 1 == patterns.size() ? 0 : next + 1;
    benchmark::DoNotOptimize(w.out.data());
    benchmark::ClobberMemory();
  }
  Count(state, c.values);
}

// The three passes of a vector library: out = a - b, out = a * b, and
// doubles to 16-bit integers rounded to nearest and clipped, each over the
// whole block, with AVX2 where the processor has it.
using Pass = void (*)(const double* a, const double* b, double* out, std::size_t n);

__attribute__((target("avx2"))) void SubtractAvx2(const double* a, const double* b, double* out, std::size_t n) {
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) _mm256_storeu_pd(out + i, _mm256_sub_pd(_mm256_loadu_pd(a + i), _mm256_loadu_pd(b + i)));
  for (; i < n; ++i) out[i] = a[i] - b[i];
}

__attribute__((target("avx2"))) void MultiplyAvx2(const double* a, const double* b, double* out, std::size_t n) {
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) _mm256_storeu_pd(out + i, _mm256_mul_pd(_mm256_loadu_pd(a + i), _mm256_loadu_pd(b + i)));
  for (; i < n; ++i) out[i] = a[i] * b[i];
}

__attribute__((target("avx2"))) void ToCodesAvx2(const double* in, std::int16_t* out, std::size_t n) {
  const __m256d lo = _mm256_set1_pd(-32768.0), hi = _mm256_set1_pd(32767.0);
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i a = _mm256_cvtpd_epi32(_mm256_min_pd(_mm256_max_pd(_mm256_loadu_pd(in + i), lo), hi));
    const __m128i b = _mm256_cvtpd_epi32(_mm256_min_pd(_mm256_max_pd(_mm256_loadu_pd(in + i + 4), lo), hi));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi32(a, b));
  }
  for (; i < n; ++i) out[i] = static_cast<std::int16_t>(std::lrint(std::clamp(in[i], -32768.0, 32767.0)));
}

void SubtractSse2(const double* a, const double* b, double* out, std::size_t n) {
  std::size_t i = 0;
  for (; i + 2 <= n; i += 2) _mm_storeu_pd(out + i, _mm_sub_pd(_mm_loadu_pd(a + i), _mm_loadu_pd(b + i)));
  for (; i < n; ++i) out[i] = a[i] - b[i];
}

void MultiplySse2(const double* a, const double* b, double* out, std::size_t n) {
  std::size_t i = 0;
  for (; i + 2 <= n; i += 2) _mm_storeu_pd(out + i, _mm_mul_pd(_mm_loadu_pd(a + i), _mm_loadu_pd(b + i)));
  for (; i < n; ++i) out[i] = a[i] * b[i];
}

void ToCodesSse2(const double* in, std::int16_t* out, std::size_t n) {
  const __m128d lo = _mm_set1_pd(-32768.0), hi = _mm_set1_pd(32767.0);
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i a = _mm_cvtpd_epi32(_mm_min_pd(_mm_max_pd(_mm_loadu_pd(in + i), lo), hi));
    const __m128i b = _mm_cvtpd_epi32(_mm_min_pd(_mm_max_pd(_mm_loadu_pd(in + i + 2), lo), hi));
    const __m128i four = _mm_unpacklo_epi64(a, b);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi32(four, four));
  }
  for (; i < n; ++i) out[i] = static_cast<std::int16_t>(std::lrint(std::clamp(in[i], -32768.0, 32767.0)));
}

void RunThreePass(benchmark::State& state, Case c) {
  Workload w(c);
  std::vector<double> scale_block(c.values), offset_block(c.values), work(c.values);
  for (std::size_t i = 0; i < c.values; ++i) {
    scale_block[i] = w.scales[i % c.channels];
    offset_block[i] = w.offsets[i % c.channels];
  }
  const bool avx2 = __builtin_cpu_supports("avx2");
  const Pass subtract = avx2 ? SubtractAvx2 : SubtractSse2;
  const Pass multiply = avx2 ? MultiplyAvx2 : MultiplySse2;
  const auto to_codes = avx2 ? ToCodesAvx2 : ToCodesSse2;
  const bool has_offset = std::any_of(w.offsets.begin(), w.offsets.end(), [](double o) { return o != 0.0; });
  for (auto _ : state) {
    const double* src = w.in.data();
    if (has_offset) {
      subtract(src, offset_block.data(), work.data(), c.values);
      src = work.data();
    }
    multiply(src, scale_block.data(), work.data(), c.values);
    to_codes(work.data(), w.out.data(), c.values);
    benchmark::DoNotOptimize(w.out.data());
    benchmark::ClobberMemory();
  }
  Count(state, c.values);
}

// The floor: copying the input once, as fast as the memory allows.
void RunMemcpy(benchmark::State& state, Case c) {
  Workload w(c);
  std::vector<double> copy(c.values);
  for (auto _ : state) {
    std::memcpy(copy.data(), w.in.data(), c.values * sizeof(double));
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  Count(state, c.values);
}

std::string Name(const std::string& what, const Case& c) {
  return "convert/" + what + "/ch:" + std::to_string(c.channels) + "/" + c.size_name;
}

void RegisterAll() {
  for (std::size_t channels : {1, 4, 16, 64}) {
    for (const Case& c : {Case{channels, kBlockFrames * channels, "40ms"}, Case{channels, kLargeValues, "32MiB"}}) {
      benchmark::RegisterBenchmark(Name("selected", c).c_str(), RunKernel, driver::Convert, c, false);
      for (const driver::Kernel& k : driver::Kernels()) {
        if (!k.supported) continue;
        const bool fresh_input = k.name == "scalar";
        benchmark::RegisterBenchmark(Name(std::string(k.name), c).c_str(), RunKernel, k.convert, c, fresh_input);
      }
      benchmark::RegisterBenchmark(Name("three_pass", c).c_str(), RunThreePass, c);
      benchmark::RegisterBenchmark(Name("memcpy", c).c_str(), RunMemcpy, c);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::AddCustomContext("selected_kernel", std::string(driver::SelectedKernel().name));
  RegisterAll();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

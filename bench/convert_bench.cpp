// Sample conversion throughput: the selected kernel, every kernel by name
// (the scalar one is the reference), and the classic three-pass conversion
// over blocks expanded to full size. Cases: 1, 4, 16 and 64 channels, at a
// 40 ms block (4096 frames at 100 kS/s per channel) and at 32 MiB of doubles.
//
//   convert_bench --benchmark_format=json | python3 bench/ratios.py
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
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

void RunKernel(benchmark::State& state, driver::ConvertFn convert, Case c) {
  Workload w(c);
  const driver::ConversionPattern pattern(w.scales, w.offsets);
  for (auto _ : state) {
    convert(w.in.data(), w.out.data(), w.in.size(), pattern, 0);
    benchmark::DoNotOptimize(w.out.data());
    benchmark::ClobberMemory();
  }
  Count(state, c.values);
}

std::int16_t ClampAndRound(double x) {
  x = std::min(std::max(x, -32768.0), 32767.0);
  return static_cast<std::int16_t>(std::lrint(x));
}

// Subtract expanded offsets, multiply by expanded scales, convert: three full
// passes over the block, as a general vector library does them.
void RunThreePass(benchmark::State& state, Case c) {
  Workload w(c);
  std::vector<double> scale_block(c.values), offset_block(c.values), work(c.values);
  for (std::size_t i = 0; i < c.values; ++i) {
    scale_block[i] = w.scales[i % c.channels];
    offset_block[i] = w.offsets[i % c.channels];
  }
  const bool has_offset = std::any_of(w.offsets.begin(), w.offsets.end(), [](double o) { return o != 0.0; });
  for (auto _ : state) {
    const double* src = w.in.data();
    if (has_offset) {
      for (std::size_t i = 0; i < c.values; ++i) work[i] = src[i] - offset_block[i];
      src = work.data();
    }
    for (std::size_t i = 0; i < c.values; ++i) work[i] = src[i] * scale_block[i];
    for (std::size_t i = 0; i < c.values; ++i) w.out[i] = ClampAndRound(work[i]);
    benchmark::DoNotOptimize(w.out.data());
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
      benchmark::RegisterBenchmark(Name("selected", c).c_str(), RunKernel, driver::Convert, c);
      for (const driver::Kernel& k : driver::Kernels()) {
        if (!k.supported) continue;
        benchmark::RegisterBenchmark(Name(std::string(k.name), c).c_str(), RunKernel, k.convert, c);
      }
      benchmark::RegisterBenchmark(Name("three_pass", c).c_str(), RunThreePass, c);
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

#include "sim/signals.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <numbers>

namespace sim {
namespace {

constexpr size_t kNoiseLength = 4093;  // prime, so the noise does not repeat with the sine's period
constexpr float64 kInfinity = std::numeric_limits<float64>::infinity();

// Uniform in [-1, 1], the same on every platform and run (a fixed xorshift sequence).
const std::vector<float64>& NoiseTable() {
  static const std::vector<float64> table = [] {
    std::vector<float64> noise(kNoiseLength);
    uint64_t state = 0x9E3779B97F4A7C15ull;
    for (auto& value : noise) {
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      value = static_cast<float64>(state >> 11) / static_cast<float64>(1ull << 52) - 1.0;
    }
    return noise;
  }();
  return table;
}

std::vector<float64> SinePeriod(const ChannelConfig& config, size_t index) {
  std::vector<float64> period(static_cast<size_t>(config.period));
  const float64 middle = (config.max + config.min) / 2;
  const float64 amplitude = (config.max - config.min) / 2;
  const float64 lag = kPhaseStepDegrees * static_cast<float64>(index) * std::numbers::pi / 180.0;
  for (size_t i = 0; i < period.size(); ++i) {
    const float64 angle = 2 * std::numbers::pi * static_cast<float64>(i) / static_cast<float64>(period.size());
    period[i] = middle + amplitude * std::sin(angle - lag);
  }
  return period;
}

std::vector<float64> RampPeriod(const ChannelConfig& config) {
  std::vector<float64> period(static_cast<size_t>(config.period));
  const float64 step = (config.max - config.min) / static_cast<float64>(period.size() - 1);
  for (size_t i = 0; i < period.size(); ++i) period[i] = config.min + step * static_cast<float64>(i);
  return period;
}

std::vector<float64> CounterSteps(const ChannelConfig& config) {
  std::vector<float64> steps(kCounterSteps);
  for (size_t i = 0; i < steps.size(); ++i) {
    steps[i] = config.min + static_cast<float64>(i) * (config.max - config.min) / static_cast<float64>(kCounterSteps - 1);
  }
  return steps;
}

uint64_t TableLength(const ChannelConfig& config) {
  switch (config.signal) {
    case SignalKind::kSine:
    case SignalKind::kRamp:
      return static_cast<uint64_t>(config.period);
    case SignalKind::kCounter:
      return kCounterSteps;
    case SignalKind::kConstant:
      break;
  }
  return 1;
}

}  // namespace

Waveforms::Waveforms(const std::vector<ChannelConfig>& channels) {
  uint64_t entries = 0;
  for (const auto& channel : channels) entries += TableLength(channel);
  if (entries > kMaxTableEntries) throw std::bad_alloc();
  cursors_.reserve(channels.size());
  for (size_t i = 0; i < channels.size(); ++i) {
    const ChannelConfig& config = channels[i];
    const auto table = Table(config, i);
    const bool sine = config.signal == SignalKind::kSine;
    const float64 magnitude = std::max(std::abs(config.min), std::abs(config.max));
    cursors_.push_back(Cursor{table->data(), table->size(),
                              config.signal == SignalKind::kCounter ? static_cast<uint64_t>(config.counter_divisor) : 1,
                              (i * 1021) % kNoiseLength, sine ? kNoiseFraction * (config.max - config.min) / 2 : 0.0,
                              sine ? config.min : -kInfinity, sine ? config.max : kInfinity,
                              magnitude > 0 ? 32767.0 / magnitude : 0.0});
  }
  Seek(0);
}

// Sine periods differ per channel (each lags the one before); the other tables
// are shared by the channels that have the same signal and range.
std::shared_ptr<const std::vector<float64>> Waveforms::Table(const ChannelConfig& config, size_t index) {
  const TableKey key{config.signal, config.min, config.max, config.period,
                     config.value.value_or((config.min + config.max) / 2)};
  if (config.signal != SignalKind::kSine) {
    for (const auto& [known, table] : tables_) {
      if (known == key) return table;
    }
  }
  std::vector<float64> values;
  switch (config.signal) {
    case SignalKind::kSine:
      values = SinePeriod(config, index);
      break;
    case SignalKind::kRamp:
      values = RampPeriod(config);
      break;
    case SignalKind::kCounter:
      values = CounterSteps(config);
      break;
    case SignalKind::kConstant:
      values = {key.value};
      break;
  }
  tables_.emplace_back(key, std::make_shared<const std::vector<float64>>(std::move(values)));
  return tables_.back().second;
}

void Waveforms::Seek(uint64_t sample) {
  for (auto& cursor : cursors_) {
    cursor.position = (sample / cursor.divisor) % cursor.length;
    cursor.repeat = sample % cursor.divisor;
    cursor.noise = (sample % kNoiseLength + cursor.noise_offset) % kNoiseLength;
  }
  next_ = sample;
}

namespace {

template <typename Cursor>
inline float64 Next(Cursor& cursor, const float64* noise) {
  float64 value = cursor.table[cursor.position] + noise[cursor.noise] * cursor.noise_scale;
  value = value < cursor.low ? cursor.low : value > cursor.high ? cursor.high : value;
  if (++cursor.noise == kNoiseLength) cursor.noise = 0;
  if (++cursor.repeat == cursor.divisor) {
    cursor.repeat = 0;
    if (++cursor.position == cursor.length) cursor.position = 0;
  }
  return value;
}

}  // namespace

template <typename Sample, typename Convert>
void Waveforms::FillWith(uint64_t first, uint64_t count, bool by_frame, Sample* out, Convert convert) {
  if (count == 0) return;
  if (first != next_) Seek(first);
  const float64* noise = NoiseTable().data();
  const size_t channels = cursors_.size();
  Cursor* cursors = cursors_.data();
  if (by_frame) {
    for (uint64_t i = 0; i < count; ++i) {
      for (size_t c = 0; c < channels; ++c) *out++ = convert(cursors[c], Next(cursors[c], noise));
    }
  } else {
    for (size_t c = 0; c < channels; ++c) {
      for (uint64_t i = 0; i < count; ++i) *out++ = convert(cursors[c], Next(cursors[c], noise));
    }
  }
  next_ = first + count;
}

void Waveforms::Fill(uint64_t first, uint64_t count, bool by_frame, float64* out) {
  FillWith(first, count, by_frame, out, [](const Cursor&, float64 value) { return value; });
}

void Waveforms::Fill(uint64_t first, uint64_t count, bool by_frame, daqmx::int16* out) {
  FillWith(first, count, by_frame, out, [](const Cursor& cursor, float64 value) {
    const float64 code = std::round(value * cursor.raw_scale);
    return static_cast<daqmx::int16>(std::clamp(code, -32768.0, 32767.0));
  });
}

}  // namespace sim

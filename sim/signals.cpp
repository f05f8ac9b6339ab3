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
    // A constant holds its one entry for ever; a counter each entry for D samples.
    const uint64_t divisor = config.signal == SignalKind::kCounter    ? static_cast<uint64_t>(config.counter_divisor)
                             : config.signal == SignalKind::kConstant ? UINT64_MAX
                                                                      : 1;
    cursors_.push_back(Cursor{table->data(), table->size(), divisor,
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

constexpr uint64_t kBlockSamples = 2048;  // per block of frames, all channels: 16 KB of doubles stay in L1

}  // namespace

// Writes the cursor's next `count` samples `stride` apart and moves it on.
// Within a segment nothing wraps, so the loops are plain array walks.
template <typename Sample, typename Convert>
void Waveforms::Run(Cursor& cursor, uint64_t count, size_t stride, Sample* out, Convert convert) {
  const float64* noise = NoiseTable().data();
  while (count > 0) {
    uint64_t segment = cursor.divisor > 1 ? cursor.divisor - cursor.repeat : cursor.length - cursor.position;
    if (cursor.noise_scale != 0) segment = std::min<uint64_t>(segment, kNoiseLength - cursor.noise);
    segment = std::min(segment, count);
    const float64* values = cursor.table + cursor.position;
    if (cursor.divisor > 1) {
      const Sample value = convert(cursor, values[0]);
      for (uint64_t i = 0; i < segment; ++i) out[i * stride] = value;
      cursor.repeat += segment;
      if (cursor.repeat == cursor.divisor) {
        cursor.repeat = 0;
        if (++cursor.position == cursor.length) cursor.position = 0;
      }
    } else if (cursor.noise_scale == 0) {
      for (uint64_t i = 0; i < segment; ++i) out[i * stride] = convert(cursor, values[i]);
      cursor.position += segment;
    } else {
      const float64* jitter = noise + cursor.noise;
      const float64 scale = cursor.noise_scale, low = cursor.low, high = cursor.high;
      for (uint64_t i = 0; i < segment; ++i) {
        const float64 value = values[i] + jitter[i] * scale;
        out[i * stride] = convert(cursor, value < low ? low : value > high ? high : value);
      }
      cursor.position += segment;
      cursor.noise += segment;
      if (cursor.noise == kNoiseLength) cursor.noise = 0;
    }
    if (cursor.position == cursor.length) cursor.position = 0;
    out += segment * stride;
    count -= segment;
  }
}

template <typename Sample, typename Convert>
void Waveforms::FillWith(uint64_t first, uint64_t count, bool by_frame, Sample* out, Convert convert) {
  if (count == 0 || cursors_.empty()) return;
  if (first != next_) Seek(first);
  const size_t channels = cursors_.size();
  if (by_frame) {
    // Block by block of frames, each channel's column in turn: the block stays in cache.
    const uint64_t block = std::max<uint64_t>(1, kBlockSamples / channels);
    for (uint64_t done = 0; done < count; done += block) {
      const uint64_t frames = std::min(block, count - done);
      for (size_t c = 0; c < channels; ++c) Run(cursors_[c], frames, channels, out + done * channels + c, convert);
    }
  } else {
    for (size_t c = 0; c < channels; ++c) Run(cursors_[c], count, 1, out + c * count, convert);
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

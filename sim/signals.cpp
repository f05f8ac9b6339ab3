#include "sim/signals.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sim {
namespace {

constexpr size_t kNoiseLength = 4093;  // prime, so the noise does not repeat with the sine's period

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

}  // namespace

Waveforms::Waveforms(const std::vector<ChannelConfig>& channels) {
  channels_.reserve(channels.size());
  for (size_t i = 0; i < channels.size(); ++i) channels_.push_back(Make(channels[i], i));
}

Waveforms::Channel Waveforms::Make(const ChannelConfig& config, size_t index) {
  Channel channel{config.signal,
                  config.min,
                  config.max,
                  config.value.value_or((config.min + config.max) / 2),
                  static_cast<uint64_t>(config.counter_divisor),
                  {},
                  (index * 1021) % kNoiseLength,
                  kNoiseFraction * (config.max - config.min) / 2,
                  0.0};
  if (config.signal == SignalKind::kSine) channel.period = SinePeriod(config, index);
  if (config.signal == SignalKind::kRamp) channel.period = RampPeriod(config);
  const float64 magnitude = std::max(std::abs(config.min), std::abs(config.max));
  channel.raw_scale = magnitude > 0 ? 32767.0 / magnitude : 0.0;
  return channel;
}

float64 Waveforms::Value(size_t index, uint64_t sample) const {
  const Channel& channel = channels_[index];
  switch (channel.kind) {
    case SignalKind::kSine: {
      const float64 noise = NoiseTable()[(sample + channel.noise_offset) % kNoiseLength] * channel.noise_scale;
      return std::clamp(channel.period[sample % channel.period.size()] + noise, channel.min, channel.max);
    }
    case SignalKind::kRamp:
      return channel.period[sample % channel.period.size()];
    case SignalKind::kCounter: {
      const auto step = static_cast<float64>((sample / channel.divisor) % kCounterSteps);
      return channel.min + step * (channel.max - channel.min) / static_cast<float64>(kCounterSteps - 1);
    }
    case SignalKind::kConstant:
      break;
  }
  return channel.constant;
}

daqmx::int16 Waveforms::Raw(size_t index, float64 value) const {
  const float64 code = std::round(value * channels_[index].raw_scale);
  return static_cast<daqmx::int16>(std::clamp(code, -32768.0, 32767.0));
}

}  // namespace sim

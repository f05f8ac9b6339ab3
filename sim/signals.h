// The waveforms of a task's channels, computed once when the task starts and
// then looked up by sample number, so that reads stay cheap.
//
// Sine (the default): a full-scale sine around the middle of the channel's
// range, kDefaultSignalPeriod samples per period (Sim.Period), each channel
// 5 degrees behind the one before, with 3 % deterministic noise, clipped to
// the range. Constant: Sim.Value (default: the middle of the range). Ramp: a
// sawtooth from AI.Min to AI.Max over Sim.Period samples. Counter: sample k is
// AI.Min + (floor(k / D) mod 64001) * (AI.Max - AI.Min) / 64000.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/config.h"

namespace sim {

inline constexpr int64_t kCounterSteps = 64001;
inline constexpr double kNoiseFraction = 0.03;    // of the sine's amplitude
inline constexpr double kPhaseStepDegrees = 5.0;  // between neighbouring channels

class Waveforms {
 public:
  explicit Waveforms(const std::vector<ChannelConfig>& channels);

  // Value of `channel` at sample number `sample` since the task started.
  float64 Value(size_t channel, uint64_t sample) const;
  // The raw 16-bit code of a value: round(value * 32767 / R), R being the
  // larger magnitude of the channel's limits.
  daqmx::int16 Raw(size_t channel, float64 value) const;

 private:
  struct Channel {
    SignalKind kind;
    float64 min;
    float64 max;
    float64 constant;
    uint64_t divisor;
    std::vector<float64> period;  // one period of a sine or ramp
    size_t noise_offset;
    float64 noise_scale;
    float64 raw_scale;
  };

  static Channel Make(const ChannelConfig& config, size_t index);

  std::vector<Channel> channels_;
};

}  // namespace sim

// The waveforms of a task's channels. Each channel is a table of values (one
// period of a sine or ramp, the counter's 64001 steps, or the constant) read
// by a cursor; a read seeks once and then fills its array in runs that wrap
// no table, block of frames by block of frames, without a division or a call
// per sample.
//
// Sine (the default): a full-scale sine around the middle of the channel's
// range, kDefaultSignalPeriod samples per period (Sim.Period), each channel
// 5 degrees behind the one before, with 3 % deterministic noise, clipped to
// the range. Constant: Sim.Value (default: the middle of the range). Ramp: a
// sawtooth from AI.Min to AI.Max over Sim.Period samples. Counter: sample k is
// AI.Min + (floor(k / D) mod 64001) * (AI.Max - AI.Min) / 64000.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "sim/config.h"

namespace sim {

inline constexpr int64_t kCounterSteps = 64001;
inline constexpr double kNoiseFraction = 0.03;    // of the sine's amplitude
inline constexpr double kPhaseStepDegrees = 5.0;  // between neighbouring channels
// Table entries one task may precompute (16 M values, 128 MB); a start beyond it fails as out of memory.
inline constexpr uint64_t kMaxTableEntries = uint64_t{1} << 24;

class Waveforms {
 public:
  // Throws std::bad_alloc when the tables would exceed kMaxTableEntries.
  explicit Waveforms(const std::vector<ChannelConfig>& channels);

  // Samples [first, first + count) of every channel: frame by frame
  // (interleaved) or channel block by channel block.
  void Fill(uint64_t first, uint64_t count, bool by_frame, float64* out);
  // The same as raw 16-bit codes: round(value * 32767 / R), R being the
  // larger magnitude of the channel's limits.
  void Fill(uint64_t first, uint64_t count, bool by_frame, daqmx::int16* out);

 private:
  struct Cursor {
    const float64* table;
    uint64_t length;
    uint64_t divisor;  // samples per table entry (1: the table is walked sample by sample)
    uint64_t noise_offset;
    float64 noise_scale;  // 0 for signals without noise
    float64 low, high;    // clipping; infinite for signals without noise
    float64 raw_scale;
    uint64_t position = 0;  // table entry
    uint64_t repeat = 0;    // samples spent on that entry
    uint64_t noise = 0;     // noise table entry
  };

  void Seek(uint64_t sample);
  template <typename Sample, typename Convert>
  static void Run(Cursor& cursor, uint64_t count, size_t stride, Sample* out, Convert convert);
  template <typename Sample, typename Convert>
  void FillWith(uint64_t first, uint64_t count, bool by_frame, Sample* out, Convert convert);
  std::shared_ptr<const std::vector<float64>> Table(const ChannelConfig& config, size_t index);

  struct TableKey {
    SignalKind signal;
    float64 min, max;
    int64_t period;
    float64 value;
    bool operator==(const TableKey&) const = default;
  };

  std::vector<std::pair<TableKey, std::shared_ptr<const std::vector<float64>>>> tables_;
  std::vector<Cursor> cursors_;
  uint64_t next_ = 0;  // the sample the cursors stand at
};

}  // namespace sim

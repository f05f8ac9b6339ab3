// A loaded task: its configuration, and while it runs the sample clock,
// the reader's position and the simulated faults.
//
// Samples are not produced by a thread: a running task "has" floor(elapsed *
// rate) samples per channel by the monotonic clock, and a read computes the
// ones it takes from the pre-generated waveforms. A blocked read sleeps on a
// condition variable until the time its last sample is due, its timeout, or
// a stop or clear, whichever comes first.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "sim/config.h"
#include "sim/signals.h"

namespace sim {

struct ReadRequest {
  daqmx::int32 samples_per_channel;  // -1: all available (finite: all remaining)
  float64 timeout;                   // seconds; -1: forever; 0: no wait
  daqmx::bool32 fill_mode;
  uInt32 array_size;  // in samples, all channels together
};

class Task {
 public:
  explicit Task(TaskConfig config);
  Task(const Task&) = delete;
  Task& operator=(const Task&) = delete;

  // Immutable while the task exists, so queries need no lock.
  const TaskConfig& Config() const { return config_; }

  int32 Start();
  int32 Stop();
  // Wakes blocked readers; every later call on this object fails with -200088.
  void Clear();

  // A read on a task that is not running starts it and stops it again
  // afterwards, as NI-DAQmx's auto-start does.
  int32 Read(const ReadRequest& request, float64* array, daqmx::int32* samples_read);
  int32 Read(const ReadRequest& request, daqmx::int16* array, daqmx::int32* samples_read);

  int32 AvailableSamples(uInt32* available);
  int32 IsDone(daqmx::bool32* done);

 private:
  using Clock = std::chrono::steady_clock;
  enum class State { kIdle, kRunning, kCleared };
  struct Wait;  // one read's target and deadline

  int32 StartLocked();
  void StopLocked();
  template <typename Sample>
  int32 ReadLocked(std::unique_lock<std::mutex>& lock, const ReadRequest& request, Sample* array,
                   daqmx::int32* samples_read);
  template <typename Sample>
  int32 ReadRunning(std::unique_lock<std::mutex>& lock, const ReadRequest& request, Sample* array,
                    daqmx::int32* samples_read);
  int32 CheckReadable(const ReadRequest& request) const;
  int32 Wanted(daqmx::int32 requested, uInt32 array_size, uInt64& wanted);
  void WaitFor(std::unique_lock<std::mutex>& lock, const Wait& wait);
  template <typename Sample>
  void Copy(uInt64 count, daqmx::bool32 fill_mode, Sample* array) const;
  int32 ReadStatus(uInt64 wanted, uInt64 count);

  bool Finite() const;
  bool Paced() const;
  uInt64 Produced(Clock::time_point now) const;
  Clock::time_point DueTime(uInt64 samples) const;
  uInt64 End(uInt64 wanted) const;
  bool CheckOverrun();
  std::string BufferDetails() const;
  int32 Fail(int32 code, const std::string& details = {}) const;

  const TaskConfig config_;
  std::mutex mutex_;
  std::condition_variable wake_;
  State state_ = State::kIdle;
  uint64_t run_ = 0;  // counts starts and stops, so a reader notices either
  Clock::time_point start_;
  uInt64 read_ = 0;          // samples per channel delivered in this run
  uInt64 first_sample_ = 0;  // signal sample number of this run's first sample
  bool free_running_ = false;
  bool overrun_ = false;
  bool device_lost_ = false;
  std::optional<Waveforms> waveforms_;
};

}  // namespace sim

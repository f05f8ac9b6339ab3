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
#include <vector>

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

  // A copy: a program may change the task (channels, timing) between runs.
  TaskConfig Config() const;
  // Changes the configuration with `edit` (returning a status); refused while
  // the task runs, as NI refuses to reconfigure a running task, unless the
  // change only concerns later reads.
  template <typename Edit>
  int32 Change(Edit&& edit, bool while_running = false) {
    const std::lock_guard lock(mutex_);
    if (const int32 status = CheckChangeable(while_running); status < 0) return status;
    const int32 status = edit(config_);
    if (state_ != State::kRunning) waveforms_.reset();  // the channels may have changed
    return status;
  }

  int32 Start();
  int32 Stop();
  // The checks of a start, without starting (DAQmxTaskControl's verify, commit, reserve).
  int32 Verify();
  // Until a finite acquisition has all its samples, the task stops, or
  // `seconds` pass (-200560); negative: no limit.
  int32 WaitUntilDone(float64 seconds);
  // Wakes blocked readers; every later call on this object fails with -200088.
  void Clear();

  // A read on a task that is not running starts it and stops it again
  // afterwards, as NI-DAQmx's auto-start does.
  int32 Read(const ReadRequest& request, float64* array, daqmx::int32* samples_read);
  int32 Read(const ReadRequest& request, daqmx::int16* array, daqmx::int32* samples_read);

  int32 AvailableSamples(uInt32* available);
  int32 IsDone(daqmx::bool32* done);
  // Samples per channel acquired in this run, and the reader's position in it.
  uInt64 Acquired();
  uInt64 ReadPosition();

 private:
  using Clock = std::chrono::steady_clock;
  enum class State { kIdle, kRunning, kCleared };
  struct Wait;  // one read's target and deadline

  int32 CheckChangeable(bool while_running) const;
  int32 CheckStartable() const;
  int32 StartLocked();
  void StopLocked();
  bool DoneLocked() const;
  template <typename Sample>
  int32 ReadLocked(std::unique_lock<std::mutex>& lock, const ReadRequest& request, Sample* array,
                   daqmx::int32* samples_read);
  template <typename Sample>
  int32 ReadRunning(std::unique_lock<std::mutex>& lock, const ReadRequest& request, Sample* array,
                    daqmx::int32* samples_read);
  int32 CheckReadable(const ReadRequest& request) const;
  int32 Wanted(daqmx::int32 requested, uInt32 array_size, uInt64 channels, uInt64& wanted);
  template <typename Sample>
  void Copy(uInt64 count, bool by_frame, const std::vector<size_t>& selected, Sample* array);
  void WaitFor(std::unique_lock<std::mutex>& lock, const Wait& wait);

  int32 ReadStatus(uInt64 wanted, uInt64 count);

  bool Finite() const;
  bool Paced() const;
  uInt64 Produced(Clock::time_point now) const;
  Clock::time_point DueTime(uInt64 samples) const;
  uInt64 End(uInt64 wanted) const;
  bool CheckOverrun();
  std::string BufferDetails() const;
  int32 Fail(int32 code, const std::string& details = {}) const;

  TaskConfig config_;
  mutable std::mutex mutex_;
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

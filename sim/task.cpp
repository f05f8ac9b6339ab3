#include "sim/task.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <type_traits>

#include "platform/system.h"
#include "sim/channels.h"
#include "sim/config_store.h"
#include "sim/errors.h"

namespace sim {
namespace {

namespace st = daqmx::status;
namespace val = daqmx::val;

constexpr uInt64 kUnlimited = UINT64_MAX;
constexpr float64 kLongestWait = 1e9;  // seconds; longer timeouts are as good as forever
constexpr float64 kMostSamples = 0x1p62;  // samples per channel a run can count to (far beyond any real run)

// Shortest text that reads back as the same number, so that a rate just
// above the limit does not print as the limit itself.
std::string Text(float64 number) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, number).ptr);
}

}  // namespace

struct Task::Wait {
  uint64_t run;
  uInt64 end;  // the reader's last sample + 1, within the acquisition and any simulated fault
  std::optional<Clock::time_point> deadline;
};

Task::Task(TaskConfig config) : config_(std::move(config)) {}

TaskConfig Task::Config() const {
  const std::lock_guard lock(mutex_);
  return config_;
}

int32 Task::CheckChangeable(bool while_running) const {
  if (state_ == State::kCleared) return Fail(st::kInvalidTask);
  if (state_ == State::kRunning && !while_running) {
    return Fail(st::kOperationNotPermittedWhileRunning, "Stop the task before changing its configuration.");
  }
  return 0;
}

int32 Task::Fail(int32 code, const std::string& details) const {
  return sim::Fail(code, (details.empty() ? "" : details + "\n") + "Task Name: " + config_.name);
}

int32 Task::Start() {
  const std::lock_guard lock(mutex_);
  return StartLocked();
}

int32 Task::Verify() {
  const std::lock_guard lock(mutex_);
  if (state_ == State::kCleared) return Fail(st::kInvalidTask);
  return state_ == State::kRunning ? 0 : CheckStartable();
}

int32 Task::CheckStartable() const {
  if (device_lost_) return Fail(st::kDeviceCannotBeAccessed, "The device was lost during the previous run.");
  if (config_.fail_start) return Fail(*config_.fail_start, "Simulated by Sim.FailStart.");
  if (config_.channels.empty()) return Fail(st::kNoChannelsInTask);
  if (config_.timing_type == val::kSampClk && !(config_.rate > 0)) {
    return Fail(st::kInvalidAttributeValue,
                "Property: SampClk.Rate\nRequested Value: " + Text(config_.rate) + "\nMinimum Value: above 0");
  }
  if (config_.timing_type == val::kSampClk && config_.rate > config_.max_rate) {
    return Fail(st::kInvalidAttributeValue, "Property: SampClk.Rate\nRequested Value: " + Text(config_.rate) +
                                                    "\nMaximum Value: " + Text(config_.max_rate));
  }
  return 0;
}

int32 Task::StartLocked() {
  if (state_ == State::kCleared) return Fail(st::kInvalidTask);
  if (state_ == State::kRunning) return 0;
  if (const int32 status = CheckStartable(); status < 0) return status;
  if (!waveforms_) waveforms_.emplace(config_.channels);
  free_running_ = config_.free_running || platform::GetEnv(kFreeRunningVariable) == "1";
  // Software-timed reads each start and stop the task: their signal goes on from where the last one left it.
  first_sample_ = config_.timing_type == val::kOnDemand ? first_sample_ + read_ : 0;
  read_ = 0;
  overrun_ = false;
  ++run_;
  start_ = Clock::now();
  state_ = State::kRunning;
  return 0;
}

int32 Task::Stop() {
  const std::lock_guard lock(mutex_);
  if (state_ == State::kCleared) return Fail(st::kInvalidTask);
  StopLocked();
  return 0;
}

void Task::StopLocked() {
  if (state_ != State::kRunning) return;
  state_ = State::kIdle;
  ++run_;
  wake_.notify_all();
}

void Task::Clear() {
  const std::lock_guard lock(mutex_);
  state_ = State::kCleared;
  ++run_;
  wake_.notify_all();
}

int32 Task::Read(const ReadRequest& request, float64* array, daqmx::int32* samples_read) {
  std::unique_lock lock(mutex_);
  return ReadLocked(lock, request, array, samples_read);
}

int32 Task::Read(const ReadRequest& request, daqmx::int16* array, daqmx::int32* samples_read) {
  std::unique_lock lock(mutex_);
  return ReadLocked(lock, request, array, samples_read);
}

template <typename Sample>
int32 Task::ReadLocked(std::unique_lock<std::mutex>& lock, const ReadRequest& request, Sample* array,
                       daqmx::int32* samples_read) {
  if (samples_read != nullptr) *samples_read = 0;
  if (state_ == State::kCleared) return Fail(st::kInvalidTask);
  if (const int32 status = CheckReadable(request); status < 0) return status;
  const bool implicit_start = state_ == State::kIdle;
  if (implicit_start && !config_.read.auto_start && config_.timing_type != val::kOnDemand) {
    return Fail(st::kReadNotRunningNoAutoStart);
  }
  if (implicit_start) {
    if (const int32 status = StartLocked(); status < 0) return status;
  }
  const uint64_t run = run_;
  const int32 status = ReadRunning(lock, request, array, samples_read);
  if (implicit_start && state_ == State::kRunning && run_ == run) StopLocked();
  return status;
}

template <typename Sample>
int32 Task::ReadRunning(std::unique_lock<std::mutex>& lock, const ReadRequest& request, Sample* array,
                        daqmx::int32* samples_read) {
  if (device_lost_) return Fail(st::kDeviceCannotBeAccessed, "The device was lost.");
  if (CheckOverrun()) return Fail(st::kSamplesNoLongerAvailable, BufferDetails());
  uInt64 wanted = 0;
  const uInt32 room = array == nullptr ? 0 : request.array_size;
  std::vector<size_t> selected;  // Read.ChannelsToRead; empty: every channel
  if (!config_.read.channels_to_read.empty()) {
    if (const int32 status = FindChannels(config_, config_.read.channels_to_read, selected); status < 0) return status;
  }
  const uInt64 channels = selected.empty() ? config_.channels.size() : selected.size();
  if (const int32 status = Wanted(request.samples_per_channel, room, channels, wanted); status < 0) return status;
  Wait wait{run_, End(wanted), std::nullopt};
  if (request.timeout >= 0 && request.timeout < kLongestWait) {
    const auto timeout = std::chrono::duration<float64>(std::min(request.timeout, kLongestWait));
    wait.deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(timeout);
  }
  WaitFor(lock, wait);
  if (state_ == State::kCleared) return Fail(st::kInvalidTask, "The task was cleared while a read waited.");
  if (run_ != wait.run) return Fail(st::kSamplesWillNeverBeAvailable, "The task was stopped while a read waited.");
  if (CheckOverrun()) return Fail(st::kSamplesNoLongerAvailable, BufferDetails());
  const uInt64 count = std::min(Produced(Clock::now()), End(wanted)) - read_;
  if (count > 0) Copy(count, request.fill_mode == val::kGroupByScanNumber, selected, array);
  read_ += count;
  wake_.notify_all();  // for WaitUntilDone on a task whose reads drive it
  if (samples_read != nullptr) *samples_read = static_cast<daqmx::int32>(count);
  return ReadStatus(wanted, count);
}

int32 Task::CheckReadable(const ReadRequest& request) const {
  if (request.fill_mode != val::kGroupByChannel && request.fill_mode != val::kGroupByScanNumber) {
    return Fail(st::kInvalidAttributeValue,
                "Property: fillMode\nRequested Value: " + std::to_string(request.fill_mode));
  }
  if (std::isnan(request.timeout)) return Fail(st::kInvalidAttributeValue, "Property: timeout\nRequested Value: NaN");
  if (request.samples_per_channel < val::kAllAvailable) {
    return Fail(st::kInvalidAttributeValue,
                "Property: numSampsPerChan\nRequested Value: " + std::to_string(request.samples_per_channel));
  }
  if (config_.channels.empty()) return Fail(st::kNoChannelsInTask);
  for (const auto& channel : config_.channels) {
    if (channel.type != val::kAI) {
      return Fail(st::kAttributeNotSupported,
                  "Only analog input channels can be read.\nChannel Name: " + channel.name);
    }
  }
  return 0;
}

// How many samples per channel the read is after; checks that they fit the array.
int32 Task::Wanted(daqmx::int32 requested, uInt32 array_size, uInt64 channels, uInt64& wanted) {
  const uInt64 remaining = Finite() ? config_.samples_per_channel - read_ : kUnlimited;
  if (Finite() && remaining == 0 && requested != 0) {
    return Fail(st::kSamplesWillNeverBeAvailable,
                "All " + std::to_string(config_.samples_per_channel) + " samples per channel were read.");
  }
  if (requested >= 0) {
    wanted = static_cast<uInt64>(requested);
  } else if (config_.timing_type == val::kOnDemand) {
    wanted = 1;
  } else if (Finite()) {
    wanted = remaining;
  } else if (!Paced()) {
    wanted = std::min<uInt64>(array_size / channels, config_.buffer_size);
  } else {
    wanted = Produced(Clock::now()) - read_;
  }
  wanted = std::min<uInt64>(wanted, INT32_MAX);  // the count a read reports is an int32
  // Divided, not multiplied: `wanted` may be anything up to 2^64 - 1.
  if (wanted > array_size / channels) {
    return Fail(st::kReadBufferTooSmall, "Array Size (samples): " + std::to_string(array_size) +
                                             "\nRequired (samples per channel): " + std::to_string(wanted) +
                                             "\nChannels: " + std::to_string(channels));
  }
  return 0;
}

void Task::WaitFor(std::unique_lock<std::mutex>& lock, const Wait& wait) {
  for (;;) {
    if (state_ != State::kRunning || run_ != wait.run) return;
    const auto now = Clock::now();
    if (Produced(now) >= wait.end) return;
    if (wait.deadline && now >= *wait.deadline) return;
    const auto due = DueTime(wait.end);
    wake_.wait_until(lock, wait.deadline ? std::min(due, *wait.deadline) : due);
  }
}

// Every channel straight into the array; a selection through a scratch copy of all of them.
template <typename Sample>
void Task::Copy(uInt64 count, bool by_frame, const std::vector<size_t>& selected, Sample* array) {
  const uInt64 first = first_sample_ + read_;
  if (selected.empty()) return waveforms_->Fill(first, count, by_frame, array);
  const size_t all = config_.channels.size();
  std::vector<Sample> scratch(count * all);
  waveforms_->Fill(first, count, true, scratch.data());
  for (size_t k = 0; k < selected.size(); ++k) {
    for (uInt64 i = 0; i < count; ++i) {
      array[by_frame ? i * selected.size() + k : k * count + i] = scratch[i * all + selected[k]];
    }
  }
}

// After a read took `count` of the `wanted` samples: why it stopped short, if it did.
int32 Task::ReadStatus(uInt64 wanted, uInt64 count) {
  if (count == wanted) return 0;
  if (config_.lose_device_after && read_ >= *config_.lose_device_after) {
    device_lost_ = true;
    return Fail(st::kDeviceCannotBeAccessed, "Simulated by Sim.LoseDeviceAfter.");
  }
  if (config_.fail_read_after && read_ >= *config_.fail_read_after) {
    return Fail(config_.fail_read_status, "Simulated by Sim.FailReadAfter.");
  }
  if (Finite() && read_ >= config_.samples_per_channel) {
    return Fail(st::kSamplesWillNeverBeAvailable,
                "The acquisition ended after " + std::to_string(config_.samples_per_channel) + " samples per channel.");
  }
  return Fail(st::kSamplesNotYetAvailable, "Samples per channel requested: " + std::to_string(wanted) +
                                               "\nSamples per channel read: " + std::to_string(count));
}

int32 Task::AvailableSamples(uInt32* available) {
  const std::lock_guard lock(mutex_);
  *available = 0;
  if (state_ == State::kCleared) return Fail(st::kInvalidTask);
  if (state_ != State::kRunning || config_.timing_type == val::kOnDemand) return 0;
  if (CheckOverrun()) return Fail(st::kSamplesNoLongerAvailable, BufferDetails());
  const uInt64 count = Paced()    ? Produced(Clock::now()) - read_
                       : Finite() ? config_.samples_per_channel - read_
                                  : config_.buffer_size;
  *available = static_cast<uInt32>(std::min<uInt64>(count, UINT32_MAX));
  return 0;
}

int32 Task::IsDone(daqmx::bool32* done) {
  const std::lock_guard lock(mutex_);
  *done = 1;
  if (state_ == State::kCleared) return Fail(st::kInvalidTask);
  if (device_lost_) return Fail(st::kDeviceCannotBeAccessed, "The device was lost.");
  *done = DoneLocked() ? 1 : 0;
  return 0;
}

// Idle tasks and started on-demand ones are done (each on-demand read is an
// operation of its own); a finite one once it has all its samples.
bool Task::DoneLocked() const {
  if (state_ != State::kRunning || config_.timing_type == val::kOnDemand) return true;
  const uInt64 finished = Paced() ? Produced(Clock::now()) : read_;
  return Finite() && finished >= config_.samples_per_channel;
}

int32 Task::WaitUntilDone(float64 seconds) {
  if (std::isnan(seconds)) return Fail(st::kInvalidAttributeValue, "Property: timeToWait\nRequested Value: NaN");
  std::unique_lock lock(mutex_);
  std::optional<Clock::time_point> deadline;
  if (seconds >= 0 && seconds < kLongestWait) {
    deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<float64>(seconds));
  }
  for (;;) {
    if (state_ == State::kCleared) return Fail(st::kInvalidTask);
    if (device_lost_) return Fail(st::kDeviceCannotBeAccessed, "The device was lost.");
    if (DoneLocked()) return 0;
    if (deadline && Clock::now() >= *deadline) return Fail(st::kWaitUntilDoneTimedOut);
    auto until = deadline.value_or(Clock::time_point::max());
    if (Finite() && Paced()) until = std::min(until, DueTime(config_.samples_per_channel));
    if (until == Clock::time_point::max()) {
      wake_.wait(lock);
    } else {
      wake_.wait_until(lock, until);
    }
  }
}

uInt64 Task::Acquired() {
  const std::lock_guard lock(mutex_);
  if (state_ != State::kRunning) return read_;
  return Paced() ? Produced(Clock::now()) : read_;
}

uInt64 Task::ReadPosition() {
  const std::lock_guard lock(mutex_);
  return read_;
}

bool Task::Finite() const { return config_.sample_mode == val::kFiniteSamps && config_.timing_type != val::kOnDemand; }

bool Task::Paced() const { return config_.timing_type != val::kOnDemand && !free_running_; }

// Samples per channel the device has acquired since the start.
uInt64 Task::Produced(Clock::time_point now) const {
  if (state_ != State::kRunning) return 0;
  if (!Paced()) return Finite() ? config_.samples_per_channel : kUnlimited;
  const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(now - start_).count();
  // Bounded before the conversion: an absurd rate must not overflow it.
  const float64 exact = std::floor(static_cast<float64>(std::max<int64_t>(elapsed, 0)) * config_.rate / 1e9);
  const uInt64 produced = exact < kMostSamples ? static_cast<uInt64>(exact) : static_cast<uInt64>(kMostSamples);
  return Finite() ? std::min(produced, config_.samples_per_channel) : produced;
}

// When sample number `samples` - 1 is acquired; a microsecond late, so that
// Produced() surely counts it despite rounding.
Task::Clock::time_point Task::DueTime(uInt64 samples) const {
  const float64 nanoseconds = std::min(std::ceil(static_cast<float64>(samples) * 1e9 / config_.rate), 1e18);
  return start_ + std::chrono::nanoseconds(static_cast<int64_t>(nanoseconds) + 1000);
}

// The end of a read of `wanted` samples from the current position: not past a
// finite acquisition nor past a simulated fault.
uInt64 Task::End(uInt64 wanted) const {
  uInt64 end = read_ + wanted;
  if (Finite()) end = std::min(end, config_.samples_per_channel);
  if (config_.fail_read_after) end = std::min(end, std::max(read_, *config_.fail_read_after));
  if (config_.lose_device_after) end = std::min(end, std::max(read_, *config_.lose_device_after));
  return end;
}

// A paced reader that fell more than a buffer behind has lost samples, until the next start.
bool Task::CheckOverrun() {
  if (!overrun_ && state_ == State::kRunning && Paced()) {
    overrun_ = Produced(Clock::now()) - read_ > config_.buffer_size;
  }
  return overrun_;
}

std::string Task::BufferDetails() const {
  return "Buffer Size (samples per channel): " + std::to_string(config_.buffer_size);
}

}  // namespace sim

#include "driver/engine.h"

#include <chrono>
#include <cmath>
#include <limits>
#include <new>
#include <system_error>

namespace driver {
namespace {

using std::chrono::milliseconds;

std::atomic<int> g_live_workers{0};

std::int32_t ChannelCount(const DriverState& state) { return state.model.InputCountChannels; }

// At least as large as the request and less than twice it: the frame count
// is the request divided by the largest power of two not above the channel
// count, halves rounded to even.
std::int32_t FramesFor(std::int32_t request, std::int32_t channels) {
  std::int32_t power = 1;
  while (power * 2 <= channels) power *= 2;
  const double frames = std::nearbyint(static_cast<double>(request) / power);
  // The size in codes must stay a 32-bit count.
  return static_cast<std::int32_t>(std::min(frames, static_cast<double>(std::numeric_limits<std::int32_t>::max() / channels)));
}

// Reads the timing of the loaded task into the working values; false with
// the reason in mLastError when the task has no usable rate.
bool TakeTiming(DriverState& state) {
  daqmx::cNITask& task = *state.mTask;
  daqmx::TaskModel& model = state.model;
  if (task.SampleTimingType() == daqmx::val::kOnDemand) {
    model.Rate = std::min(100.0f, model.RateMax);
    state.mSampleMode = SampleMode::SinglePoint;
    state.mBlockKadrs = 1;
    return true;
  }
  model.Rate = static_cast<float>(task.SampClkRate());
  if (!(model.Rate > 0)) {
    state.mLastError = "No Sampling Rate selected!";
    return false;
  }
  state.mBlockKadrs = BlockKadrs(model.Rate, state.mInput.InputSizeKadrs);
  switch (task.SampleMode()) {
    case daqmx::val::kContSamps:
      state.mSampleMode = SampleMode::Continuous;
      break;
    case daqmx::val::kFiniteSamps:
      state.mSampleMode = SampleMode::Finite;
      state.mKadrsLeft = task.SamplesPerChannel();
      state.mBlockKadrs = std::max(1, std::min(state.mBlockKadrs, state.mKadrsLeft));
      break;
    default:
      state.mSampleMode = SampleMode::SinglePoint;
      state.mBlockKadrs = 1;
  }
  return true;
}

// The block and the conversion pattern; false with a "Buffer Error 7" text
// when either cannot be allocated.
bool PrepareBlocks(DriverState& state) {
  const auto channels = static_cast<size_t>(ChannelCount(state));
  std::vector<double> scales(channels);  // small: as large as the channel model already is
  std::vector<double> offsets(channels);
  for (size_t c = 0; c < channels && c < state.model.mChannelInfo.size(); ++c) {
    scales[c] = state.model.mChannelInfo[c].Scale;
    offsets[c] = state.model.mChannelInfo[c].Offset;
  }
  state.mTimeout = (state.mBlockKadrs / static_cast<double>(state.model.Rate)) * 5.0 + 0.05;
  const char* what = "the conversion pattern";
  try {
    state.mPattern = ConversionPattern(scales, offsets);
    what = "the block";
    state.mBlock.assign(static_cast<size_t>(state.mBlockKadrs) * channels, 0.0);
  } catch (const std::bad_alloc&) {
    state.mBlock = {};
    state.mLastError = BufferError(7, "Out of memory", what, ChannelCount(state), state.mBlockKadrs);
    return false;
  }
  return true;
}

bool PrepareBuffer(DriverState& state) {
  SizeBuffer(state);
  state.mInput.InputCountKadrs.store(0, std::memory_order_relaxed);
  return state.ring.Reset(ChannelCount(state), state.mInput.InputSizeKadrs, state.mLastError);
}

// Sleeps until `ready` holds, the acquisition is stopped, or `limit` passes.
// The host's fetches and StopRecord wake it.
template <typename Ready>
void SleepUntil(DriverState& state, Ready ready, milliseconds limit) {
  std::unique_lock lock(state.mWakeMutex);
  state.mWake.wait_for(lock, limit, [&] { return !state.mBusy.load() || ready(); });
}

// Stores `frames` frames of the block at the writer's position, wrapping at
// the ring's end.
void StoreBlock(DriverState& state, std::int32_t frames) {
  const auto channels = static_cast<size_t>(ChannelCount(state));
  const auto spans = state.ring.NextSpans(frames);
  const double* in = state.mBlock.data();
  Convert(in, spans[0].codes, static_cast<size_t>(spans[0].frames) * channels, state.mPattern, 0);
  Convert(in + static_cast<size_t>(spans[0].frames) * channels, spans[1].codes,
          static_cast<size_t>(spans[1].frames) * channels, state.mPattern, 0);
  state.ring.Publish(frames);
}

// True when the finite acquisition has read all its frames.
bool CountFinite(DriverState& state, std::int32_t frames) {
  if (state.mSampleMode != SampleMode::Finite) return false;
  state.mKadrsLeft -= frames;
  if (state.mKadrsLeft <= 0) return true;
  state.mBlockKadrs = std::min(state.mBlockKadrs, state.mKadrsLeft);  // the last read asks for exactly the rest
  return false;
}

void WorkerProc(const std::shared_ptr<DriverState>& state) {
  DriverState& s = *state;
  const std::shared_ptr<daqmx::cNITask> task = s.mTask;  // kept even if an object releases it
  const std::int32_t channels = ChannelCount(s);
  bool drain = false;
  while (s.mBusy.load() && !drain) {
    // Never overwrite a frame the host has not fetched: wait for room for a whole block.
    if (s.ring.FreeFrames() < s.mBlockKadrs) {
      SleepUntil(s, [&] { return s.ring.FreeFrames() >= s.mBlockKadrs; }, milliseconds(1000));
      continue;
    }
    const std::int32_t r =
        task->ReadSamples(s.mBlockKadrs, s.mTimeout, s.mBlock.data(), s.mBlockKadrs * channels);
    if (r <= 0) {  // nothing arrived or the read failed: try again shortly, without spinning
      SleepUntil(s, [] { return false; }, milliseconds(10));
      continue;
    }
    StoreBlock(s, std::min(r, s.mBlockKadrs));
    CountWaiting(s);
    drain = CountFinite(s, r);
  }
  // A finished finite acquisition stays busy until the host has fetched every frame.
  while (drain && s.mBusy.load() && s.ring.Waiting() > 0) {
    SleepUntil(s, [&] { return s.ring.Waiting() == 0; }, milliseconds(1000));
  }
  s.mBusy.store(false);
  task->StopTask();
  std::lock_guard lock(s.mWakeMutex);
  s.mWorkerEnded = true;
  s.mWake.notify_all();
  g_live_workers.fetch_sub(1);
}

bool StartWorker(const std::shared_ptr<DriverState>& state) {
  DriverState& s = *state;
  s.mBusy.store(true);
  {
    std::lock_guard lock(s.mWakeMutex);
    s.mWorkerEnded = false;
  }
  g_live_workers.fetch_add(1);  // counted from here, so a start is never seen without its worker
  try {
    s.mThread = std::thread([state] { WorkerProc(state); });
  } catch (const std::system_error&) {
    g_live_workers.fetch_sub(1);
    s.mLastError = "Unable create thread!";
    std::lock_guard lock(s.mWakeMutex);
    s.mWorkerEnded = true;
    return false;
  }
  return s.mBusy.load();
}

}  // namespace

std::int32_t BlockKadrs(double rate, std::int32_t ring_frames) {
  std::int32_t block = 1;
  // "Lasts less than 40 ms" as block * 25 < rate: exact in double, also on
  // x87, whose wider quotient would make 512 frames at 12800 S/s fall short of
  // 40 ms; in 64 bits, so that doubling next to a ring of 2^31 - 1 frames
  // cannot overflow.
  while (block * 25.0 < rate && 2 * static_cast<std::int64_t>(block) < ring_frames) block *= 2;
  return block;
}

std::int32_t SizeBuffer(DriverState& state) {
  InputConfig& input = state.mInput;
  const std::int32_t request = state.model.InputSizeRequest >= 1024 ? state.model.InputSizeRequest : 32768;
  if (state.model.InputCountChannels < 1) {
    state.model.InputCountChannels = 1;  // the ring length stays as it was
  } else {
    input.InputSizeKadrs = FramesFor(request, state.model.InputCountChannels);
  }
  input.InputSizeData = input.InputSizeKadrs * state.model.InputCountChannels;
  return input.InputSizeKadrs;
}

bool StartAcquisition(const std::shared_ptr<DriverState>& state) {
  DriverState& s = *state;
  StopAndJoin(s);  // never two workers
  if (!s.mTask) return false;
  if (daqmx::BuildChannels(*s.mTask, s.model) < 1) {  // e.g. the loaded task has gone from NI-DAQmx
    s.mLastError = s.mTask->StatusText();
    return false;
  }
  // The ring follows the rebuilt channel model, so ring, block and channels match.
  if (!PrepareBuffer(s)) return false;
  if (!TakeTiming(s) || !PrepareBlocks(s)) return false;
  if (!s.mTask->StartTask()) {
    s.mLastError = s.mTask->StatusText();
    s.mBusy.store(false);
    s.mTask->StopTask();
    return false;
  }
  if (StartWorker(state)) return true;
  s.mBusy.store(false);
  s.mTask->StopTask();
  return false;
}

void StopRecord(DriverState& state) {
  state.mBusy.store(false);
  {
    std::unique_lock lock(state.mWakeMutex);
    state.mWake.notify_all();
    state.mWake.wait_for(lock, milliseconds(100), [&] { return state.mWorkerEnded; });
  }
  if (state.mTask) state.mTask->StopTask();
}

void StopAndJoin(DriverState& state) {
  if (state.mBusy.load()) StopRecord(state);
  if (state.mThread.joinable()) state.mThread.join();
}

std::int32_t CountWaiting(DriverState& state) {
  const std::int32_t waiting = state.ring.Waiting();
  state.mInput.InputCountKadrs.store(waiting, std::memory_order_relaxed);
  return waiting;
}

int LiveWorkers() { return g_live_workers.load(); }

void WakeWorker(DriverState& state) {
  std::lock_guard lock(state.mWakeMutex);
  state.mWake.notify_all();
}

}  // namespace driver

// The driver state: one set of values per creating thread, shared by every
// driver object created on that thread, and by the acquisition worker that
// one of them started. It lives exactly as long as they do: nothing of it is
// tied to the thread itself, so no code of ours runs at the thread's exit.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "daqmx/ni_task.h"
#include "daqmx/probe.h"
#include "driver/convert.h"
#include "driver/ring.h"
#include "settings/settings.h"

namespace driver {

// Acquisition modes of the worker.
enum class SampleMode : std::int32_t { Continuous = 0, SinglePoint = 1, Finite = 2 };

// The engine's part of the input record; the probe's part (channels, rates,
// requested size) lives in the task model.
struct InputConfig {
  std::int32_t InputSizeData = 0;   // ring size in codes
  std::int32_t InputSizeKadrs = 0;  // ring size in frames
  // Frames waiting as last counted by the worker or a fetch; the host reads
  // it without recounting. Written by both threads: a line of its own.
  alignas(kCacheLine) std::atomic<std::int32_t> InputCountKadrs{0};
};

struct DriverState {
  DriverState() = default;
  ~DriverState();
  DriverState(const DriverState&) = delete;
  DriverState& operator=(const DriverState&) = delete;

  // Driver objects using this state; the last one releases the task wrapper.
  std::atomic<int> mObjects{0};
  std::string mInstanceName;
  daqmx::TaskModel model;
  std::int16_t mBasePort = 0;
  std::string mLastError;
  std::shared_ptr<daqmx::cNITask> mTask;
  std::int32_t mDAQmxMajor = 0;
  std::int32_t mDAQmxMinor = 0;
  std::string mHelpFile;
  daqmx::TaskChooser chooser;
  settings::SettingsState settings;  // untouched where there is no registry

  InputConfig mInput;
  FrameRing ring;
  // Acquisition is running; also the worker's stop signal. A line of its own.
  alignas(kCacheLine) std::atomic<bool> mBusy{false};

  // Working values of one acquisition, set before the worker starts; the
  // worker's own from then on.
  alignas(kCacheLine) SampleMode mSampleMode = SampleMode::Continuous;
  std::int32_t mBlockKadrs = 1;
  std::int32_t mKadrsLeft = 0;
  double mTimeout = 0;
  std::vector<double> mBlock;
  ConversionPattern mPattern;

  // The worker thread, and what it sleeps on: the host's fetches and stops.
  std::thread mThread;
  std::mutex mWakeMutex;
  std::condition_variable mWake;
  bool mWorkerEnded = true;  // guarded by mWakeMutex
};

// The state of the calling thread: the one its live objects share, or a new
// one. It is freed when the last reference goes: its objects' and, while it
// runs, the worker's.
std::shared_ptr<DriverState> ThisThreadState();
// Driver states alive in this process (for unloading and for tests).
int LiveStates();

}  // namespace driver

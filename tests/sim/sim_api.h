// Helpers for testing the simulated NI-DAQmx through its C functions, as a
// host program calls them (loaded at run time by daqmx::Library).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "daqmx/library.h"
#include "tests/support/sim_config.h"
#include "tests/support/sim_env.h"

namespace simtest {

using daqmx::float64;
using daqmx::int32;
using daqmx::TaskHandle;
using daqmx::uInt32;
using daqmx::uInt64;

// The simulator's own status codes (documented with its configuration keys).
inline constexpr int32 kConfigInvalid = -250001;
inline constexpr int32 kConfigUnreadable = -250002;
inline constexpr int32 kInvalidAttributeValue = -200077;
inline constexpr int32 kAttributeNotApplicable = -200452;
inline constexpr int32 kChannelNotInTask = -200486;

const daqmx::Library& Api();

// A text query made as NI's callers make it: size first, then a buffer of that size.
template <typename Query>
std::string QueryText(Query query) {
  const int32 size = query(nullptr, 0);
  EXPECT_GE(size, 0) << "sizing call failed";
  if (size <= 0) return {};
  std::string text(static_cast<size_t>(size), '\0');
  EXPECT_EQ(query(text.data(), static_cast<uInt32>(size)), 0);
  text.resize(static_cast<size_t>(size) - 1);
  return text;
}

// A text query of `fn` with `args` before the buffer and its size.
template <typename Fn, typename... Args>
std::string Text(Fn fn, Args... args) {
  return QueryText([&](char* data, uInt32 size) { return fn(args..., data, size); });
}

inline std::string SysTasks() { return Text(Api().DAQmxGetSysTasks); }
inline std::string TaskChannels(TaskHandle task) { return Text(Api().DAQmxGetTaskChannels, task); }
inline std::string TaskDevices(TaskHandle task) { return Text(Api().DAQmxGetTaskDevices, task); }
inline std::string PhysicalChannel(TaskHandle task, const char* channel) {
  return Text(Api().DAQmxGetPhysicalChanName, task, channel);
}
inline std::string ProductType(const char* device) { return Text(Api().DAQmxGetDevProductType, device); }
inline std::string AIPhysicalChannels(const char* device) { return Text(Api().DAQmxGetDevAIPhysicalChans, device); }
inline std::string ErrorString(int32 code) { return Text(Api().DAQmxGetErrorString, code); }
inline std::string ExtendedError() { return Text(Api().DAQmxGetExtendedErrorInfo); }

// A task loaded by name and cleared when the object goes away.
class LoadedTask {
 public:
  explicit LoadedTask(const char* name);
  ~LoadedTask();
  LoadedTask(const LoadedTask&) = delete;
  LoadedTask& operator=(const LoadedTask&) = delete;

  TaskHandle Handle() const { return handle_; }
  int32 LoadStatus() const { return status_; }

  struct Result {
    int32 status;
    int32 read;  // samples per channel
    std::vector<float64> data;
  };
  // DAQmxReadAnalogF64 into an array with room for `capacity` samples per channel.
  Result Read(int32 samples, float64 timeout, uInt32 capacity,
              daqmx::bool32 fill = daqmx::val::kGroupByScanNumber) const;
  int32 Channels() const;

 private:
  TaskHandle handle_ = nullptr;
  int32 status_ = 0;
};

// One task whose channels ai0, ai1, ... read Dev1/ai0, ai1, ... with
// `channel_keys[i]` over the defaults of testsupport::SimIni.
std::string TaskExport(const std::string& task, const std::string& task_keys,
                       const std::vector<std::string>& channel_keys);

// Fixture: the built-in configuration, no free-running override.
class SimTest : public ::testing::Test {
 protected:
  void SetUp() override;

  testsupport::ScopedEnv config_{"NIDAQMX_SIM_CONFIG", std::nullopt};
  testsupport::ScopedEnv free_running_{"NIDAQMX_SIM_FREE_RUNNING", std::nullopt};
};

// Seconds since `start`, for the pacing checks.
inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace simtest

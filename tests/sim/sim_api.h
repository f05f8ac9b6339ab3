// Helpers for testing the simulated NI-DAQmx through its C functions, as a
// host program calls them (loaded at run time by daqmx::Library).
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "daqmx/library.h"
#include "tests/support/sim_config.h"
#include "tests/support/sim_env.h"

namespace simtest {

using namespace daqmx;
using ::testing::HasSubstr;
namespace st = daqmx::status;

// NI's codes the shared list lacks, and the simulator's own for configuration files.
inline constexpr int32 kInvalidAttributeValue = -200077;
inline constexpr int32 kChannelNotInTask = -200486;
inline constexpr int32 kConfigInvalid = -250001;

inline const Library& Api() { return *testsupport::SimLibrary(); }

// A text query of `fn` as NI's callers make it: the size first, then a buffer of that size.
template <typename Fn, typename... Args>
std::string Text(Fn fn, Args... args) {
  const int32 size = fn(args..., nullptr, 0);
  if (size <= 0) return {};
  std::string text(static_cast<size_t>(size), '\0');
  EXPECT_EQ(fn(args..., text.data(), static_cast<uInt32>(size)), 0);
  text.resize(static_cast<size_t>(size) - 1);
  return text;
}
// The value a getter of NI's form fn(args..., &value) gives.
template <typename T, typename Fn, typename... Args>
T Value(Fn fn, Args... args) {
  T value{};
  fn(args..., &value);
  return value;
}
inline std::string ExtendedError() { return Text(Api().DAQmxGetExtendedErrorInfo); }

// A task loaded by name and cleared when the object goes away.
struct LoadedTask {
  explicit LoadedTask(const std::string& name) : status(Api().DAQmxLoadTask(name.c_str(), &handle)) {}
  ~LoadedTask() {
    if (handle != nullptr) Api().DAQmxClearTask(handle);
  }
  struct Result {
    int32 status;
    int32 read;  // samples per channel
    std::vector<float64> data;
  };
  // DAQmxReadAnalogF64 into an array with room for `capacity` samples of each channel to read.
  Result Read(int32 samples, float64 timeout, uInt32 capacity, bool32 fill = val::kGroupByScanNumber) const {
    const auto channels = Value<uInt32>(Api().DAQmxGetReadAttribute, handle, 0x217B);
    Result result{0, -1, std::vector<float64>(size_t{capacity} * channels)};
    result.status = Api().DAQmxReadAnalogF64(handle, samples, timeout, fill, result.data.data(),
                                             static_cast<uInt32>(result.data.size()), &result.read, nullptr);
    result.data.resize(static_cast<size_t>(std::max(result.read, 0)) * channels);
    return result;
  }
  TaskHandle handle = nullptr;
  int32 status;
};

// Tasks whose channels ai0, ai1, ... read Dev1/ai0, ai1, ... with `channel_keys[i]`.
struct Tasks : testsupport::SimIni {
  Tasks& Add(const std::string& task, const std::string& task_keys, const std::vector<std::string>& channel_keys) {
    Task(task, task_keys);
    for (size_t i = 0; i < channel_keys.size(); ++i)
      Channel("ai" + std::to_string(i), "Dev1/ai" + std::to_string(i), channel_keys[i]);
    return *this;
  }
};

// Fixture: the built-in configuration, no free-running override.
class SimTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Api().Loaded()) << Api().LoadError(); }

  testsupport::ScopedEnv config_{"NIDAQMX_SIM_CONFIG", std::nullopt};
  testsupport::ScopedEnv free_running_{"NIDAQMX_SIM_FREE_RUNNING", std::nullopt};
};

}  // namespace simtest

// The simulated NI-DAQmx configuration: saved tasks, their channels and the
// devices, read from an NI MAX configuration export (or the built-in one).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "daqmx/api.h"

namespace sim {

using daqmx::float64;
using daqmx::int32;
using daqmx::uInt32;
using daqmx::uInt64;

enum class SignalKind { kSine, kConstant, kRamp, kCounter };

inline constexpr int64_t kDefaultSignalPeriod = 100;  // samples per sine or ramp period

struct ChannelConfig {
  std::string name;      // virtual name, as DAQmxGetTaskChannels lists it
  std::string physical;  // "Dev1/ai0"
  std::string device;    // "Dev1"
  int32 type = daqmx::val::kAI;
  int32 meas_type = daqmx::val::kVoltage;
  float64 min = -10.0;
  float64 max = 10.0;
  SignalKind signal = SignalKind::kSine;
  std::optional<float64> value;  // Sim.Value for a constant signal
  int64_t period = kDefaultSignalPeriod;
  int64_t counter_divisor = 1;
};

struct TaskConfig {
  std::string name;
  std::vector<ChannelConfig> channels;
  std::vector<std::string> devices;  // in order of first use by the channels
  int32 sample_mode = daqmx::val::kContSamps;
  int32 timing_type = daqmx::val::kSampClk;
  float64 rate = 1000.0;
  uInt64 samples_per_channel = 1000;
  float64 max_rate = 1e6;  // Sim.MaxRate, or derived from the devices
  uInt64 buffer_size = 0;  // Sim.BufferSize, or NI's automatic choice
  bool free_running = false;
  std::optional<int32> fail_load;
  std::optional<int32> fail_start;
  std::optional<uInt64> fail_read_after;
  int32 fail_read_status = daqmx::status::kDeviceCannotBeAccessed;
  std::optional<uInt64> lose_device_after;

  const ChannelConfig* FindChannel(std::string_view name) const;
};

struct DeviceConfig {
  std::string name;
  std::string product_type;
  uInt32 serial = 0;
  bool simulated = true;
  int ai_channels = 16;

  std::string AIPhysicalChannels() const;  // "Dev1/ai0, Dev1/ai1, ..."
};

struct Config {
  std::string source;  // file path, or "built-in configuration"
  uInt32 major_version = 21;
  uInt32 minor_version = 3;
  std::vector<TaskConfig> tasks;
  std::vector<DeviceConfig> devices;

  const TaskConfig* FindTask(std::string_view name) const;
  const DeviceConfig* FindDevice(std::string_view name) const;
  std::string TaskList() const;  // "A, B, C"
};

// Either a configuration or the reason there is none.
struct ConfigResult {
  std::shared_ptr<const Config> config;
  int32 status = 0;
  std::string error;  // "file:line: problem"
};

// Parses an NI MAX export; `source` names the file in messages.
ConfigResult ParseConfig(std::string_view text, const std::string& source);

// The configuration served when NIDAQMX_SIM_CONFIG is not set.
std::string_view BuiltInConfigText();

}  // namespace sim

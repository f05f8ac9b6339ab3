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
inline constexpr int64_t kMaxSignalPeriod = 1 << 20;  // bounds the table a channel precomputes (8 MB)

struct ChannelConfig {
  std::string name;      // virtual name, as DAQmxGetTaskChannels lists it
  std::string physical;  // "Dev1/ai0"
  std::string device;    // "Dev1"
  int32 type = daqmx::val::kAI;
  int32 meas_type = daqmx::val::kVoltage;
  float64 min = -10.0;
  float64 max = 10.0;
  int32 terminal_config = 10106;  // Differential
  int32 units = 10348;            // Volts; Amps or DegC by measurement type
  std::string description;
  std::string custom_scale;
  int32 thermocouple_type = 10072;  // J
  int32 cjc_source = 10200;         // built in
  float64 cjc_value = 25.0;
  std::string cjc_channel;
  int32 shunt_location = 10200;  // internal
  float64 shunt_resistance = 249.0;
  SignalKind signal = SignalKind::kSine;
  std::optional<float64> value;  // Sim.Value for a constant signal
  int64_t period = kDefaultSignalPeriod;
  int64_t counter_divisor = 1;
};

// Read attributes a program may set; only the first three change what a read does.
struct ReadSettings {
  std::string channels_to_read;  // empty: every channel of the task
  bool auto_start = true;
  bool read_all_available = false;
  int32 overwrite = 10159;    // DoNotOverwriteUnreadSamps
  int32 relative_to = 10425;  // CurrReadPos
  int32 offset = 0;
  int32 wait_mode = 12524;  // Yield
  float64 sleep_time = 0.001;
};

struct TaskConfig {
  std::string name;
  std::vector<ChannelConfig> channels;
  std::vector<std::string> devices;  // in order of first use by the channels
  int32 sample_mode = daqmx::val::kContSamps;
  int32 timing_type = daqmx::val::kSampClk;
  float64 rate = 1000.0;
  uInt64 samples_per_channel = 1000;
  std::string clock_source;  // empty: the onboard clock
  int32 active_edge = 10280;  // Rising
  bool buffer_size_fixed = false;  // by Sim.BufferSize or a program; otherwise follows the timing
  ReadSettings read;
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
  std::string chassis;  // a CompactDAQ module's chassis
  bool is_chassis = false;
  uInt32 serial = 0;
  uInt32 product_number = 0;
  int32 bus_type = 12588;  // Unknown
  bool simulated = true;
  int ai_channels = 16;

  std::string AIPhysicalChannels() const;  // "Dev1/ai0, Dev1/ai1, ..."
};

struct Config {
  std::string source;  // file path, or "built-in configuration"
  uInt32 major_version = 21;
  uInt32 minor_version = 3;
  uInt32 update_version = 0;
  std::vector<TaskConfig> tasks;
  std::vector<DeviceConfig> devices;
  std::vector<std::string> scales;

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

// NI's automatic input buffer: by rate for continuous tasks, the whole acquisition for finite ones.
uInt64 AutomaticBufferSize(const TaskConfig& task);
// The slowest of the task's devices, for the number of channels the task puts on each.
float64 DerivedMaxRate(const TaskConfig& task, const Config& config);

// Parses an NI MAX export; `source` names the file in messages.
ConfigResult ParseConfig(std::string_view text, const std::string& source);

// The configuration served when NIDAQMX_SIM_CONFIG is not set.
std::string_view BuiltInConfigText();

}  // namespace sim

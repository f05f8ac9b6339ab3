#include "sim/config.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <map>
#include <set>
#include <span>

#include "sim/errors.h"
#include "sim/ini.h"
#include "sim/products.h"

namespace sim {
namespace {

namespace val = daqmx::val;

// A problem in the file; unwinds to ParseConfig, which turns it into "file:line: problem".
struct Problem {
  int line;
  std::string text;
};

struct Label {
  std::string_view text;
  int32 value;
};

constexpr Label kChannelTypes[] = {
    {"Analog Input", val::kAI},   {"Analog Output", val::kAO}, {"Digital Input", val::kDI},
    {"Digital Output", val::kDO}, {"Counter Input", val::kCI}, {"Counter Output", val::kCO},
};

constexpr Label kSampleModes[] = {
    {"Continuous Samples", val::kContSamps},
    {"Finite Samples", val::kFiniteSamps},
    {"Hardware Timed Single Point", val::kHWTimedSinglePoint},
};

constexpr Label kTimingTypes[] = {
    {"Sample Clock", val::kSampClk},
    {"On Demand", val::kOnDemand},
    {"Handshake", val::kHandshake},
    {"Implicit", val::kImplicit},
    {"Change Detection", val::kChangeDetection},
    {"Burst Handshake", val::kBurstHandshake},
};

// NI MAX writes "Category:Kind"; the kind alone and NI's constant names are accepted too.
constexpr Label kMeasTypes[] = {
    {"Voltage", val::kVoltage},
    {"Voltage:RMS", val::kVoltageRMS},
    {"Voltage RMS", val::kVoltageRMS},
    {"Current", val::kCurrent},
    {"Current:RMS", val::kCurrentRMS},
    {"Current RMS", val::kCurrentRMS},
    {"Voltage:Custom with Excitation", val::kVoltageCustomWithExcitation},
    {"Voltage with Excitation", val::kVoltageCustomWithExcitation},
    {"Frequency:Voltage", val::kFreqVoltage},
    {"Resistance", val::kResistance},
    {"Temperature:Thermocouple", val::kTempTC},
    {"Thermocouple", val::kTempTC},
    {"Temperature:Thermistor", val::kTempThrmstr},
    {"Thermistor", val::kTempThrmstr},
    {"Temperature:RTD", val::kTempRTD},
    {"RTD", val::kTempRTD},
    {"Temperature:Built-in Sensor", val::kTempBuiltInSensor},
    {"Strain:Strain Gage", val::kStrainGage},
    {"Strain Gage", val::kStrainGage},
    {"Accelerometer", val::kAccelerometer},
    {"Acceleration:Accelerometer", val::kAccelerometer},
    {"Sound Pressure:Microphone", val::kSoundPressureMicrophone},
    {"Microphone", val::kSoundPressureMicrophone},
    {"Bridge", val::kBridge},
    {"Force:Bridge", val::kForceBridge},
    {"Pressure:Bridge", val::kPressureBridge},
    {"Torque:Bridge", val::kTorqueBridge},
    {"Position:LVDT", val::kPositionLVDT},
    {"Position:RVDT", val::kPositionRVDT},
    {"Charge", val::kCharge},
};

constexpr Label kBusTypes[] = {
    {"PCI", 12582}, {"PCIe", 13612}, {"PXI", 12583}, {"PXIe", 14706}, {"USB", 12586}, {"CompactDAQ", 14637},
    {"TCPIP", 14828}, {"Unknown", 12588},
};

constexpr Label kTerminalConfigs[] = {
    {"RSE", 10083}, {"NRSE", 10078}, {"Differential", 10106}, {"Pseudodifferential", 12529},
};

constexpr Label kSignals[] = {
    {"Sine", static_cast<int32>(SignalKind::kSine)},
    {"Constant", static_cast<int32>(SignalKind::kConstant)},
    {"Ramp", static_cast<int32>(SignalKind::kRamp)},
    {"Counter", static_cast<int32>(SignalKind::kCounter)},
};

constexpr std::string_view kTaskSimKeys[] = {"Sim.FreeRunning",   "Sim.FailLoad",       "Sim.FailStart",
                                             "Sim.FailReadAfter", "Sim.FailReadStatus", "Sim.LoseDeviceAfter",
                                             "Sim.MaxRate",       "Sim.BufferSize"};
constexpr std::string_view kChannelSimKeys[] = {"Sim.Signal", "Sim.Value", "Sim.Period", "Sim.CounterDivisor"};
constexpr std::string_view kDeviceSimKeys[] = {"Sim.AIChannels"};

// Letters and digits only, lower case: "Temperature:Thermocouple" matches "temperature: thermocouple".
std::string Folded(std::string_view text) {
  std::string folded;
  for (const char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      folded += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  return folded;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

std::optional<int64_t> ToInteger(std::string_view text) {
  int base = 10;
  if (StartsWithNoCase(text, "0x")) {
    text.remove_prefix(2);
    base = 16;
  }
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<float64> ToNumber(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  float64 value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

// Reads the properties of one section, each a problem on its own line when malformed.
class Properties {
 public:
  explicit Properties(const IniSection& section) : section_(section) {}

  const IniProperty* Get(std::string_view key) const { return section_.Find(key); }

  std::optional<int32> Label(std::string_view key, std::span<const sim::Label> labels) const {
    const IniProperty* property = Get(key);
    if (property == nullptr) return std::nullopt;
    const std::string folded = Folded(property->value);
    for (const auto& label : labels) {
      if (Folded(label.text) == folded) return label.value;
    }
    if (const auto number = ToInteger(property->value)) return static_cast<int32>(*number);
    std::string known;
    for (const auto& label : labels) known += (known.empty() ? "" : ", ") + std::string(label.text);
    throw Problem{property->line, "unknown " + property->key + " '" + property->value + "' (known: " + known + ")"};
  }

  std::optional<float64> Number(std::string_view key) const {
    const IniProperty* property = Get(key);
    if (property == nullptr) return std::nullopt;
    if (const auto number = ToNumber(property->value)) return number;
    throw Problem{property->line, property->key + " must be a number, found '" + property->value + "'"};
  }

  std::optional<float64> NonNegative(std::string_view key) const {
    const auto number = Number(key);
    if (number && !(*number >= 0)) throw Problem{Get(key)->line, Get(key)->key + " must not be negative"};
    return number;
  }

  std::optional<float64> Positive(std::string_view key) const {
    const auto number = Number(key);
    if (number && *number <= 0) throw Problem{Get(key)->line, Get(key)->key + " must be above 0"};
    return number;
  }

  std::optional<int64_t> Integer(std::string_view key, int64_t min, int64_t max) const {
    const IniProperty* property = Get(key);
    if (property == nullptr) return std::nullopt;
    const auto number = ToInteger(property->value);
    if (!number || *number < min || *number > max) {
      throw Problem{property->line, property->key + " must be a whole number from " + std::to_string(min) + " to " +
                                        std::to_string(max) + ", found '" + property->value + "'"};
    }
    return number;
  }

  std::optional<int32> Status(std::string_view key) const {
    const auto code = Integer(key, INT32_MIN, -1);
    if (!code) return std::nullopt;
    return static_cast<int32>(*code);
  }

  std::optional<bool> Flag(std::string_view key) const {
    const IniProperty* property = Get(key);
    if (property == nullptr) return std::nullopt;
    const std::string folded = Folded(property->value);
    if (folded == "1" || folded == "true" || folded == "yes") return true;
    if (folded == "0" || folded == "false" || folded == "no") return false;
    throw Problem{property->line, property->key + " must be 0 or 1, found '" + property->value + "'"};
  }

  // Simulator keys are checked strictly: a misspelt one would otherwise do nothing.
  void CheckSimKeys(std::span<const std::string_view> allowed) const {
    for (const auto& property : section_.properties) {
      if (!StartsWithNoCase(property.key, "Sim.")) continue;
      const bool known = std::any_of(allowed.begin(), allowed.end(),
                                     [&](std::string_view key) { return EqualsNoCase(key, property.key); });
      if (known) continue;
      throw Problem{property.line, "unknown simulator property '" + property.key + "' in [" + section_.type + " " +
                                       section_.name + "]"};
    }
  }

 private:
  const IniSection& section_;
};

bool IsDeviceSection(std::string_view type) {
  return type == "DAQmxDevice" || type == "DAQmxCDAQChassis" || type == "DAQmxCDAQModule";
}

DeviceConfig ReadDevice(const IniSection& section) {
  const Properties properties(section);
  properties.CheckSimKeys(kDeviceSimKeys);
  DeviceConfig device;
  device.name = section.name;
  if (const auto* product = properties.Get("ProductType")) device.product_type = product->value;
  if (const auto serial = properties.Integer("DevSerialNum", 0, UINT32_MAX)) {
    device.serial = static_cast<uInt32>(*serial);
  }
  if (const auto simulated = properties.Flag("DevIsSimulated")) device.simulated = *simulated;
  if (const auto number = properties.Integer("ProductNum", 0, UINT32_MAX)) {
    device.product_number = static_cast<uInt32>(*number);
  }
  device.bus_type = properties.Label("BusType", kBusTypes).value_or(device.bus_type);
  device.is_chassis = section.type == "DAQmxCDAQChassis";
  if (const auto* chassis = properties.Get("CompactDAQ.ChassisDevName")) device.chassis = chassis->value;
  device.ai_channels = DefaultAIChannels(device.product_type, section.type == "DAQmxCDAQChassis");
  if (const auto count = properties.Integer("Sim.AIChannels", 0, 1024)) device.ai_channels = static_cast<int>(*count);
  return device;
}

void ReadSignal(const Properties& properties, ChannelConfig& channel) {
  if (const auto signal = properties.Label("Sim.Signal", kSignals)) channel.signal = static_cast<SignalKind>(*signal);
  channel.value = properties.Number("Sim.Value");
  if (const auto period = properties.Integer("Sim.Period", 2, kMaxSignalPeriod)) channel.period = *period;
  if (const auto divisor = properties.Integer("Sim.CounterDivisor", 1, INT64_MAX / 2)) {
    channel.counter_divisor = *divisor;
  }
}

ChannelConfig ReadChannel(const IniSection& section) {
  const Properties properties(section);
  properties.CheckSimKeys(kChannelSimKeys);
  ChannelConfig channel;
  channel.name = section.name;
  if (const auto type = properties.Label("ChanType", kChannelTypes)) channel.type = *type;
  const IniProperty* physical = properties.Get("PhysicalChanName");
  if (physical == nullptr || physical->value.empty()) {
    throw Problem{section.line, "[DAQmxChannel " + section.name + "] has no PhysicalChanName"};
  }
  channel.physical = physical->value;
  channel.device = Trim(std::string_view(channel.physical).substr(0, channel.physical.find('/')));
  if (const auto meas = properties.Label("AI.MeasType", kMeasTypes)) channel.meas_type = *meas;
  channel.units = channel.meas_type == val::kCurrent ? val::kAmps : channel.meas_type == val::kTempTC ? val::kDegC : val::kVolts;
  channel.terminal_config = properties.Label("AI.TermCfg", kTerminalConfigs).value_or(channel.terminal_config);
  if (const auto* description = properties.Get("Descr")) channel.description = description->value;
  const std::string prefix = channel.type == val::kAO ? "AO." : "AI.";
  channel.max = properties.Number(prefix + "Max").value_or(channel.max);
  channel.min = properties.Number(prefix + "Min").value_or(channel.min);
  // Equal limits stand for a device that reports no usable range.
  if (!(channel.min <= channel.max)) {
    throw Problem{section.line,
                  "[DAQmxChannel " + section.name + "]: " + prefix + "Min must not be above " + prefix + "Max"};
  }
  ReadSignal(properties, channel);
  return channel;
}

class Builder {
 public:
  explicit Builder(const IniDocument& document) : document_(document) {}

  Config Build() {
    const bool exported = std::any_of(document_.sections.begin(), document_.sections.end(),
                                      [](const IniSection& section) { return section.type == "DAQmx"; });
    if (!exported) throw Problem{1, "not an NI MAX configuration export: it has no [DAQmx] section"};
    for (const auto& section : document_.sections) ReadSection(section);
    for (const auto& section : document_.sections) {
      if (section.type == "DAQmxTask") config_.tasks.push_back(ReadTask(section));
    }
    return std::move(config_);
  }

 private:
  void ReadSection(const IniSection& section) {
    if (section.type == "DAQmx") return ReadVersion(section);
    const bool known = section.type == "DAQmxTask" || section.type == "DAQmxChannel" || section.type == "DAQmxScale" ||
                       IsDeviceSection(section.type);
    if (!known) return;  // NI MAX exports other objects too (global channels of other kinds, switches...)
    if (section.name.empty()) throw Problem{section.line, "[" + section.type + "] needs a name"};
    if (section.type == "DAQmxTask") return CheckUnique(tasks_seen_, section, "task");
    if (section.type == "DAQmxScale") return config_.scales.push_back(section.name);
    if (section.type == "DAQmxChannel") {
      CheckUnique(channels_seen_, section, "channel");
      channels_.emplace(Key(section.name), ChannelSection{ReadChannel(section), section.line});
    } else if (IsDeviceSection(section.type)) {
      CheckUnique(devices_seen_, section, "device");
      devices_.emplace(Key(section.name), config_.devices.size());
      config_.devices.push_back(ReadDevice(section));
    }
  }

  void ReadVersion(const IniSection& section) {
    const Properties properties(section);
    if (const auto major = properties.Integer("MajorVersion", 0, 1000)) {
      config_.major_version = static_cast<uInt32>(*major);
    }
    if (const auto minor = properties.Integer("MinorVersion", 0, 1000)) {
      config_.minor_version = static_cast<uInt32>(*minor);
    }
  }

  static std::string Key(std::string_view name) {
    std::string key(name);
    std::transform(key.begin(), key.end(), key.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    return key;
  }

  static void CheckUnique(std::map<std::string, int>& seen, const IniSection& section, const std::string& what) {
    const auto [it, inserted] = seen.emplace(Key(section.name), section.line);
    if (!inserted) {
      throw Problem{section.line,
                    what + " '" + section.name + "' defined twice (first on line " + std::to_string(it->second) + ")"};
    }
  }

  TaskConfig ReadTask(const IniSection& section) {
    const Properties properties(section);
    properties.CheckSimKeys(kTaskSimKeys);
    TaskConfig task;
    task.name = section.name;
    ReadChannels(section, task);
    ReadTiming(properties, task);
    ReadFaults(properties, task);
    task.max_rate = properties.Positive("Sim.MaxRate").value_or(DerivedMaxRate(task, config_));
    task.buffer_size = static_cast<uInt64>(properties.Integer("Sim.BufferSize", 1, INT64_MAX).value_or(0));
    task.buffer_size_fixed = task.buffer_size != 0;
    if (task.buffer_size == 0) task.buffer_size = AutomaticBufferSize(task);
    return task;
  }

  void ReadChannels(const IniSection& section, TaskConfig& task) const {
    const IniProperty* list = section.Find("Channels");
    if (list == nullptr) return;
    std::set<std::string> names;
    for (const auto& entry : SplitList(list->value)) {
      const auto found = channels_.find(Key(entry));
      if (entry.empty() || found == channels_.end()) {
        throw Problem{list->line, "channel '" + entry + "' of task '" + task.name + "' has no [DAQmxChannel " + entry +
                                      "] section"};
      }
      ChannelConfig channel = found->second.channel;
      const std::string prefix = task.name + "/";
      channel.name = StartsWithNoCase(entry, prefix) ? entry.substr(prefix.size()) : entry;
      if (!names.insert(Key(channel.name)).second) {
        throw Problem{list->line, "channel '" + channel.name + "' listed twice in task '" + task.name + "'"};
      }
      AddDevice(channel, found->second.line, task);
      task.channels.push_back(std::move(channel));
    }
  }

  void AddDevice(const ChannelConfig& channel, int line, TaskConfig& task) const {
    const auto device = devices_.find(Key(channel.device));
    if (device == devices_.end()) {
      throw Problem{line, "physical channel '" + channel.physical + "' names device '" + channel.device +
                              "', which has no [DAQmxDevice " + channel.device + "] section"};
    }
    const bool listed = std::any_of(task.devices.begin(), task.devices.end(),
                                    [&](const std::string& name) { return EqualsNoCase(name, channel.device); });
    if (!listed) task.devices.push_back(config_.devices[device->second].name);
  }

  static void ReadTiming(const Properties& properties, TaskConfig& task) {
    if (const auto mode = properties.Label("SampQuant.SampMode", kSampleModes)) task.sample_mode = *mode;
    if (const auto timing = properties.Label("SampTimingType", kTimingTypes)) task.timing_type = *timing;
    if (const auto count = properties.Integer("SampQuant.SampPerChan", 1, INT64_MAX)) {
      task.samples_per_channel = static_cast<uInt64>(*count);
    }
    // 0 is a sample clock without a rate: the task loads, a host must refuse to start it.
    task.rate = properties.NonNegative("SampClk.Rate").value_or(task.rate);
  }

  static void ReadFaults(const Properties& properties, TaskConfig& task) {
    task.free_running = properties.Flag("Sim.FreeRunning").value_or(false);
    task.fail_load = properties.Status("Sim.FailLoad");
    task.fail_start = properties.Status("Sim.FailStart");
    if (const auto after = properties.Integer("Sim.FailReadAfter", 0, INT64_MAX)) task.fail_read_after = *after;
    task.fail_read_status = properties.Status("Sim.FailReadStatus").value_or(task.fail_read_status);
    if (const auto after = properties.Integer("Sim.LoseDeviceAfter", 0, INT64_MAX)) task.lose_device_after = *after;
  }

  const IniDocument& document_;
  Config config_;
  std::map<std::string, int> tasks_seen_, channels_seen_, devices_seen_;
  struct ChannelSection {
    ChannelConfig channel;
    int line;
  };
  std::map<std::string, ChannelSection> channels_;  // by lower-case name
  std::map<std::string, size_t> devices_;           // index in config_.devices, by lower-case name
};

}  // namespace

uInt64 AutomaticBufferSize(const TaskConfig& task) {
  if (task.sample_mode == val::kFiniteSamps) return task.samples_per_channel;
  const uInt64 by_rate = task.rate <= 100 ? 1000 : task.rate <= 10e3 ? 10'000 : task.rate <= 1e6 ? 100'000 : 1'000'000;
  return std::max(by_rate, task.samples_per_channel);
}

float64 DerivedMaxRate(const TaskConfig& task, const Config& config) {
  std::map<std::string, int> per_device;  // channels on each device, by lower-case name
  for (const auto& channel : task.channels) {
    std::string key = channel.device;
    for (auto& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ++per_device[key];
  }
  float64 rate = 1e6;
  bool first = true;
  for (const auto& [name, channels] : per_device) {
    const DeviceConfig* device = config.FindDevice(name);
    const float64 device_rate = MaxSampleRate(device ? device->product_type : "", channels);
    rate = first ? device_rate : std::min(rate, device_rate);
    first = false;
  }
  return rate;
}

const ChannelConfig* TaskConfig::FindChannel(std::string_view channel_name) const {
  for (const auto& channel : channels) {
    if (EqualsNoCase(channel.name, channel_name)) return &channel;
  }
  return nullptr;
}

std::string DeviceConfig::AIPhysicalChannels() const {
  std::string list;
  for (int i = 0; i < ai_channels; ++i) list += (i == 0 ? "" : ", ") + name + "/ai" + std::to_string(i);
  return list;
}

const TaskConfig* Config::FindTask(std::string_view task_name) const {
  for (const auto& task : tasks) {
    if (EqualsNoCase(task.name, task_name)) return &task;
  }
  return nullptr;
}

const DeviceConfig* Config::FindDevice(std::string_view device_name) const {
  for (const auto& device : devices) {
    if (EqualsNoCase(device.name, device_name)) return &device;
  }
  return nullptr;
}

std::string Config::TaskList() const {
  std::string list;
  for (const auto& task : tasks) list += (list.empty() ? "" : ", ") + task.name;
  return list;
}

ConfigResult ParseConfig(std::string_view text, const std::string& source) {
  const IniDocument document = ParseIni(text);
  if (document.error) {
    return {nullptr, status::kConfigInvalid,
            source + ":" + std::to_string(document.error->line) + ": " + document.error->problem};
  }
  try {
    auto config = std::make_shared<Config>(Builder(document).Build());
    config->source = source;
    return {std::move(config), 0, {}};
  } catch (const Problem& problem) {
    return {nullptr, status::kConfigInvalid, source + ":" + std::to_string(problem.line) + ": " + problem.text};
  }
}

}  // namespace sim

#include "sim/attributes.h"

// GCC 12 with the sanitizers reports moves of std::variant<..., std::string>
// as "maybe uninitialized" (a known false positive).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/system.h"
#include "sim/channels.h"
#include "sim/config_store.h"
#include "sim/errors.h"
#include "sim/ini.h"
#include "sim/products.h"
#include "sim/task.h"

namespace sim {
namespace {

namespace st = daqmx::status;
namespace val = daqmx::val;
using G = AttributeGroup;
using T = ValueType;

// What a getter may look at; the group decides which members are set.
struct Context {
  const Config* config = nullptr;
  Task* task = nullptr;
  const TaskConfig* task_config = nullptr;
  const ChannelConfig* channel = nullptr;
  const DeviceConfig* device = nullptr;
};

// Nothing: the attribute does not apply (to this channel, say).
using Getter = std::optional<Value> (*)(const Context&);
// Changes the task (and the named channels of it).
using Setter = int32 (*)(TaskConfig&, const std::vector<size_t>& channels, const Value&);

struct Attribute {
  G group;
  int32 id;
  T type;
  Getter get;
  Setter set = nullptr;
};

constexpr int32 kBits = 10109;
constexpr int32 kDC = 10050;
constexpr int32 kOnboardBufferSize = 4095;
constexpr float64 kTimebaseRate = 100e6;
constexpr float64 kMinRate = 0.1;

std::string Join(const std::vector<std::string>& names) {
  std::string list;
  for (const auto& name : names) list += (list.empty() ? "" : ", ") + name;
  return list;
}

std::vector<std::string> ChannelNames(const TaskConfig& task) {
  std::vector<std::string> names;
  for (const auto& channel : task.channels) names.push_back(channel.name);
  return names;
}

int32 Invalid(const std::string& property, const std::string& value) {
  return Fail(st::kInvalidAttributeValue, "Property: " + property + "\nRequested Value: " + value);
}

bool OneOf(int32 value, std::initializer_list<int32> allowed) {
  return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

// Values of a channel attribute that only some measurements have.
std::optional<Value> AI(const Context& c, Value value) {
  if (c.channel->type != val::kAI) return std::nullopt;
  return value;
}

std::optional<Value> ForMeasurement(const Context& c, int32 meas_type, Value value) {
  if (c.channel->type != val::kAI || c.channel->meas_type != meas_type) return std::nullopt;
  return value;
}

float64 RawRange(const ChannelConfig& channel) { return std::max(std::abs(channel.min), std::abs(channel.max)); }

uInt32 Available(Task& task) {
  uInt32 available = 0;
  task.AvailableSamples(&available);
  return available;
}

uInt32 Done(Task& task) {
  daqmx::bool32 done = 1;
  task.IsDone(&done);
  return done;
}

int32 ProductCategory(const DeviceConfig& device) {
  const std::string& type = device.product_type;
  if (device.is_chassis) return 14658;
  if (type.rfind("NI 9", 0) == 0) return 14659;
  if (type.rfind("USB-60", 0) == 0) return 14646;
  if (type.find("-63") != std::string::npos) return 15858;
  if (type.find("-62") != std::string::npos) return 14643;
  if (type.find("-44") != std::string::npos) return 14649;
  return 12588;
}

int32 BusType(const DeviceConfig& device) {
  constexpr int32 kUnknown = 12588;
  if (device.bus_type != kUnknown) return device.bus_type;
  const std::string& type = device.product_type;
  if (type.rfind("PCIe-", 0) == 0) return 13612;
  if (type.rfind("PCI-", 0) == 0) return 12582;
  if (type.rfind("PXIe-", 0) == 0) return 14706;
  if (type.rfind("PXI-", 0) == 0) return 12583;
  if (type.rfind("USB-", 0) == 0) return 12586;
  if (type.rfind("NI 9", 0) == 0 || type.rfind("cDAQ", 0) == 0) return 14637;
  return kUnknown;
}

bool Thermocouples(const DeviceConfig& device) {
  return EqualsNoCase(device.product_type, "NI 9211") || EqualsNoCase(device.product_type, "NI 9213");
}

std::vector<int32> MeasTypes(const DeviceConfig& device) {
  if (device.ai_channels == 0) return {};
  if (Thermocouples(device)) return {val::kTempTC, val::kVoltage};
  return {val::kVoltage, val::kCurrent, val::kTempTC};
}

std::vector<float64> VoltageRanges(const DeviceConfig& device) {
  if (device.ai_channels == 0) return {};
  if (Thermocouples(device)) return {-0.078125, 0.078125};
  return {-10, 10, -5, 5, -1, 1, -0.2, 0.2};
}

std::string ModuleNames(const Config& config, const DeviceConfig& chassis) {
  std::vector<std::string> names;
  for (const auto& device : config.devices) {
    if (!device.chassis.empty() && EqualsNoCase(device.chassis, chassis.name)) names.push_back(device.name);
  }
  return Join(names);
}

std::string SampleClockTerminal(const TaskConfig& task) {
  return task.devices.empty() ? std::string() : "/" + task.devices.front() + "/ai/SampleClock";
}

// Setters. Each checks its value as NI does and refuses what it would refuse.
int32 SetTimingType(TaskConfig& task, const std::vector<size_t>&, const Value& value) {
  const int32 type = std::get<int32>(value);
  if (!OneOf(type, {val::kSampClk, val::kOnDemand})) return Invalid("SampTimingType", std::to_string(type));
  task.timing_type = type;
  return 0;
}

void FollowTiming(TaskConfig& task) {
  if (!task.buffer_size_fixed) task.buffer_size = AutomaticBufferSize(task);
}

int32 SetRate(TaskConfig& task, const std::vector<size_t>&, const Value& value) {
  const float64 rate = std::get<float64>(value);
  if (!(rate > 0) || !std::isfinite(rate)) return Invalid("SampClk.Rate", std::to_string(rate));
  task.rate = rate;
  FollowTiming(task);
  return 0;
}

int32 SetSampleMode(TaskConfig& task, const std::vector<size_t>&, const Value& value) {
  const int32 mode = std::get<int32>(value);
  if (!OneOf(mode, {val::kFiniteSamps, val::kContSamps, val::kHWTimedSinglePoint})) {
    return Invalid("SampQuant.SampMode", std::to_string(mode));
  }
  task.sample_mode = mode;
  FollowTiming(task);
  return 0;
}

int32 SetSamplesPerChannel(TaskConfig& task, const std::vector<size_t>&, const Value& value) {
  const uInt64 samples = std::get<uInt64>(value);
  if (samples == 0) return Invalid("SampQuant.SampPerChan", "0");
  task.samples_per_channel = samples;
  FollowTiming(task);
  return 0;
}

int32 SetClockSource(TaskConfig& task, const std::vector<size_t>&, const Value& value) {
  task.clock_source = std::get<std::string>(value);
  return 0;
}

int32 SetActiveEdge(TaskConfig& task, const std::vector<size_t>&, const Value& value) {
  const int32 edge = std::get<int32>(value);
  if (!OneOf(edge, {val::kRising, val::kFalling})) return Invalid("SampClk.ActiveEdge", std::to_string(edge));
  task.active_edge = edge;
  return 0;
}

int32 SetBufferSize(TaskConfig& task, const std::vector<size_t>&, const Value& value) {
  const uInt32 size = std::get<uInt32>(value);
  if (size == 0) return Invalid("Buf.Input.BufSize", "0");
  task.buffer_size = size;
  task.buffer_size_fixed = true;
  return 0;
}

int32 SetChannelsToRead(TaskConfig& task, const std::vector<size_t>&, const Value& value) {
  std::vector<size_t> found;
  if (const int32 status = FindChannels(task, std::get<std::string>(value), found); status < 0) return status;
  task.read.channels_to_read = std::get<std::string>(value);
  return 0;
}

int32 SetFlag(bool& flag, const Value& value) {
  flag = std::get<uInt32>(value) != 0;
  return 0;
}

int32 SetAIRange(TaskConfig& task, const std::vector<size_t>& channels, const Value& value, bool max) {
  const float64 limit = std::get<float64>(value);
  if (!std::isfinite(limit)) return Invalid(max ? "AI.Max" : "AI.Min", std::to_string(limit));
  for (const size_t i : channels) {
    ChannelConfig& channel = task.channels[i];
    if (channel.type != val::kAI) return Fail(st::kAttributeNotSupported, "Channel Name: " + channel.name);
    const float64 low = max ? channel.min : limit;
    const float64 high = max ? limit : channel.max;
    if (!(low < high)) {
      return Fail(st::kMinNotLessThanMax, "Minimum: " + std::to_string(low) + "\nMaximum: " + std::to_string(high));
    }
  }
  for (const size_t i : channels) (max ? task.channels[i].max : task.channels[i].min) = limit;
  return 0;
}

int32 SetTerminalConfig(TaskConfig& task, const std::vector<size_t>& channels, const Value& value) {
  const int32 config = std::get<int32>(value);
  if (!OneOf(config, {10083, 10078, 10106, 12529})) return Invalid("AI.TermCfg", std::to_string(config));
  for (const size_t i : channels) task.channels[i].terminal_config = config;
  return 0;
}

// NI's attribute IDs, types and what the simulator answers for each.
const Attribute kAttributes[] = {
    // System
    {G::kSystem, 0x1272, T::kUInt32, [](const Context& c) -> std::optional<Value> { return c.config->major_version; }},
    {G::kSystem, 0x1923, T::kUInt32, [](const Context& c) -> std::optional<Value> { return c.config->minor_version; }},
    {G::kSystem, 0x2F22, T::kUInt32, [](const Context& c) -> std::optional<Value> { return c.config->update_version; }},
    {G::kSystem, 0x1267, T::kString, [](const Context& c) -> std::optional<Value> { return c.config->TaskList(); }},
    {G::kSystem, 0x193B, T::kString,
     [](const Context& c) -> std::optional<Value> {
       std::vector<std::string> names;
       for (const auto& device : c.config->devices) names.push_back(device.name);
       return Join(names);
     }},
    {G::kSystem, 0x1265, T::kString, [](const Context&) -> std::optional<Value> { return std::string(); }},
    {G::kSystem, 0x1266, T::kString, [](const Context& c) -> std::optional<Value> { return Join(c.config->scales); }},
    // Task
    {G::kTask, 0x1276, T::kString, [](const Context& c) -> std::optional<Value> { return c.task_config->name; }},
    {G::kTask, 0x1273, T::kString,
     [](const Context& c) -> std::optional<Value> { return Join(ChannelNames(*c.task_config)); }},
    {G::kTask, 0x2181, T::kUInt32,
     [](const Context& c) -> std::optional<Value> { return static_cast<uInt32>(c.task_config->channels.size()); }},
    {G::kTask, 0x230E, T::kString, [](const Context& c) -> std::optional<Value> { return Join(c.task_config->devices); }},
    {G::kTask, 0x29BA, T::kUInt32,
     [](const Context& c) -> std::optional<Value> { return static_cast<uInt32>(c.task_config->devices.size()); }},
    {G::kTask, 0x1274, T::kUInt32, [](const Context& c) -> std::optional<Value> { return Done(*c.task); }},
    // Channel
    {G::kChannel, 0x187F, T::kInt32, [](const Context& c) -> std::optional<Value> { return c.channel->type; }},
    {G::kChannel, 0x0695, T::kInt32, [](const Context& c) { return AI(c, c.channel->meas_type); }},
    {G::kChannel, 0x18F5, T::kString, [](const Context& c) -> std::optional<Value> { return c.channel->physical; }},
    {G::kChannel, 0x1926, T::kString, [](const Context& c) -> std::optional<Value> { return c.channel->description; },
     [](TaskConfig& task, const std::vector<size_t>& channels, const Value& value) {
       for (const size_t i : channels) task.channels[i].description = std::get<std::string>(value);
       return 0;
     }},
    {G::kChannel, 0x2304, T::kUInt32, [](const Context&) -> std::optional<Value> { return uInt32{0}; }},
    {G::kChannel, 0x17DD, T::kFloat64, [](const Context& c) { return AI(c, c.channel->max); },
     [](TaskConfig& task, const std::vector<size_t>& channels, const Value& value) {
       return SetAIRange(task, channels, value, true);
     }},
    {G::kChannel, 0x17DE, T::kFloat64, [](const Context& c) { return AI(c, c.channel->min); },
     [](TaskConfig& task, const std::vector<size_t>& channels, const Value& value) {
       return SetAIRange(task, channels, value, false);
     }},
    {G::kChannel, 0x1815, T::kFloat64, [](const Context& c) { return AI(c, c.channel->max); }},
    {G::kChannel, 0x1816, T::kFloat64, [](const Context& c) { return AI(c, c.channel->min); }},
    {G::kChannel, 0x1097, T::kInt32, [](const Context& c) { return AI(c, c.channel->terminal_config); },
     SetTerminalConfig},
    {G::kChannel, 0x1094, T::kInt32, [](const Context& c) { return ForMeasurement(c, val::kVoltage, c.channel->units); }},
    {G::kChannel, 0x0701, T::kInt32, [](const Context& c) { return ForMeasurement(c, val::kCurrent, c.channel->units); }},
    {G::kChannel, 0x1033, T::kInt32, [](const Context& c) { return ForMeasurement(c, val::kTempTC, c.channel->units); }},
    {G::kChannel, 0x1050, T::kInt32,
     [](const Context& c) { return ForMeasurement(c, val::kTempTC, c.channel->thermocouple_type); }},
    {G::kChannel, 0x1035, T::kInt32, [](const Context& c) { return ForMeasurement(c, val::kTempTC, c.channel->cjc_source); }},
    {G::kChannel, 0x1036, T::kFloat64, [](const Context& c) { return ForMeasurement(c, val::kTempTC, c.channel->cjc_value); }},
    {G::kChannel, 0x1034, T::kString,
     [](const Context& c) { return ForMeasurement(c, val::kTempTC, c.channel->cjc_channel); }},
    {G::kChannel, 0x17F2, T::kInt32,
     [](const Context& c) { return ForMeasurement(c, val::kCurrent, c.channel->shunt_location); }},
    {G::kChannel, 0x17F3, T::kFloat64,
     [](const Context& c) { return ForMeasurement(c, val::kCurrent, c.channel->shunt_resistance); }},
    {G::kChannel, 0x17E0, T::kString, [](const Context& c) { return AI(c, c.channel->custom_scale); }},
    {G::kChannel, 0x1765, T::kFloat64, [](const Context& c) { return AI(c, 16.0); }},
    {G::kChannel, 0x1764, T::kInt32, [](const Context& c) { return AI(c, kBits); }},
    {G::kChannel, 0x0064, T::kInt32, [](const Context& c) { return AI(c, kDC); }},
    // Raw code to value, as DAQmxReadBinaryI16 scales: value = code * R / 32767.
    {G::kChannel, 0x1930, T::kFloat64Array,
     [](const Context& c) { return AI(c, std::vector<float64>{0.0, RawRange(*c.channel) / 32767.0}); }},
    {G::kChannel, 0x22DA, T::kUInt32, [](const Context& c) { return AI(c, uInt32{16}); }},
    // Timing
    {G::kTiming, 0x1347, T::kInt32, [](const Context& c) -> std::optional<Value> { return c.task_config->timing_type; },
     SetTimingType},
    {G::kTiming, 0x1344, T::kFloat64, [](const Context& c) -> std::optional<Value> { return c.task_config->rate; },
     SetRate},
    {G::kTiming, 0x22C8, T::kFloat64, [](const Context& c) -> std::optional<Value> { return c.task_config->max_rate; }},
    {G::kTiming, 0x1300, T::kInt32, [](const Context& c) -> std::optional<Value> { return c.task_config->sample_mode; },
     SetSampleMode},
    {G::kTiming, 0x1310, T::kUInt64,
     [](const Context& c) -> std::optional<Value> { return c.task_config->samples_per_channel; }, SetSamplesPerChannel},
    {G::kTiming, 0x1852, T::kString,
     [](const Context& c) -> std::optional<Value> {
       return c.task_config->clock_source.empty() ? std::string("OnboardClock") : c.task_config->clock_source;
     },
     SetClockSource},
    {G::kTiming, 0x1301, T::kInt32, [](const Context& c) -> std::optional<Value> { return c.task_config->active_edge; },
     SetActiveEdge},
    {G::kTiming, 0x2F1B, T::kString,
     [](const Context& c) -> std::optional<Value> { return SampleClockTerminal(*c.task_config); }},
    {G::kTiming, 0x1303, T::kFloat64, [](const Context&) -> std::optional<Value> { return kTimebaseRate; }},
    {G::kTiming, 0x1848, T::kFloat64,
     [](const Context& c) -> std::optional<Value> {
       return c.task_config->rate * static_cast<float64>(std::max<size_t>(c.task_config->channels.size(), 1));
     }},
    // Read
    {G::kRead, 0x1823, T::kString,
     [](const Context& c) -> std::optional<Value> {
       const TaskConfig& task = *c.task_config;
       return task.read.channels_to_read.empty() ? Join(ChannelNames(task)) : task.read.channels_to_read;
     },
     SetChannelsToRead},
    {G::kRead, 0x217B, T::kUInt32,
     [](const Context& c) -> std::optional<Value> {
       std::vector<size_t> found;
       FindChannels(*c.task_config, c.task_config->read.channels_to_read, found);
       return static_cast<uInt32>(found.size());
     }},
    {G::kRead, 0x1223, T::kUInt32, [](const Context& c) -> std::optional<Value> { return Available(*c.task); }},
    {G::kRead, 0x1215, T::kUInt32,
     [](const Context& c) -> std::optional<Value> { return uInt32{c.task_config->read.read_all_available}; },
     [](TaskConfig& task, const std::vector<size_t>&, const Value& value) {
       return SetFlag(task.read.read_all_available, value);
     }},
    {G::kRead, 0x31E8, T::kUInt32,
     [](const Context& c) -> std::optional<Value> {
       const TaskConfig& task = *c.task_config;
       if (task.sample_mode != val::kFiniteSamps || task.timing_type == val::kOnDemand) return Available(*c.task);
       const uInt64 read = c.task->ReadPosition();
       return static_cast<uInt32>(std::min<uInt64>(task.samples_per_channel - std::min(read, task.samples_per_channel),
                                                   UINT32_MAX));
     }},
    {G::kRead, 0x1826, T::kUInt32,
     [](const Context& c) -> std::optional<Value> { return uInt32{c.task_config->read.auto_start}; },
     [](TaskConfig& task, const std::vector<size_t>&, const Value& value) { return SetFlag(task.read.auto_start, value); }},
    {G::kRead, 0x1211, T::kInt32, [](const Context& c) -> std::optional<Value> { return c.task_config->read.overwrite; },
     [](TaskConfig& task, const std::vector<size_t>&, const Value& value) {
       const int32 mode = std::get<int32>(value);
       if (!OneOf(mode, {10252, 10159})) return Invalid("Read.OverWrite", std::to_string(mode));
       task.read.overwrite = mode;
       return 0;
     }},
    {G::kRead, 0x190A, T::kInt32, [](const Context& c) -> std::optional<Value> { return c.task_config->read.relative_to; },
     [](TaskConfig& task, const std::vector<size_t>&, const Value& value) {
       const int32 position = std::get<int32>(value);
       if (!OneOf(position, {10424, 10425, 10426, 10427, 10428})) {
         return Invalid("Read.RelativeTo", std::to_string(position));
       }
       task.read.relative_to = position;
       return 0;
     }},
    {G::kRead, 0x190B, T::kInt32, [](const Context& c) -> std::optional<Value> { return c.task_config->read.offset; },
     [](TaskConfig& task, const std::vector<size_t>&, const Value& value) {
       task.read.offset = std::get<int32>(value);
       return 0;
     }},
    {G::kRead, 0x192A, T::kUInt64, [](const Context& c) -> std::optional<Value> { return c.task->Acquired(); }},
    {G::kRead, 0x1221, T::kUInt64, [](const Context& c) -> std::optional<Value> { return c.task->ReadPosition(); }},
    {G::kRead, 0x2232, T::kInt32, [](const Context& c) -> std::optional<Value> { return c.task_config->read.wait_mode; },
     [](TaskConfig& task, const std::vector<size_t>&, const Value& value) {
       task.read.wait_mode = std::get<int32>(value);
       return 0;
     }},
    {G::kRead, 0x22B0, T::kFloat64,
     [](const Context& c) -> std::optional<Value> { return c.task_config->read.sleep_time; },
     [](TaskConfig& task, const std::vector<size_t>&, const Value& value) {
       const float64 seconds = std::get<float64>(value);
       if (!(seconds >= 0) || !std::isfinite(seconds)) return Invalid("Read.SleepTime", std::to_string(seconds));
       task.read.sleep_time = seconds;
       return 0;
     }},
    {G::kRead, 0x217A, T::kUInt32, [](const Context&) -> std::optional<Value> { return uInt32{2}; }},
    {G::kRead, 0x2174, T::kUInt32, [](const Context&) -> std::optional<Value> { return uInt32{0}; }},
    {G::kRead, 0x2175, T::kString, [](const Context&) -> std::optional<Value> { return std::string(); }},
    // Buffer
    {G::kBuffer, 0x186C, T::kUInt32,
     [](const Context& c) -> std::optional<Value> {
       return static_cast<uInt32>(std::min<uInt64>(c.task_config->buffer_size, UINT32_MAX));
     },
     SetBufferSize},
    {G::kBuffer, 0x230A, T::kUInt32, [](const Context&) -> std::optional<Value> { return uInt32{kOnboardBufferSize}; }},
    // Device
    {G::kDevice, 0x0631, T::kString, [](const Context& c) -> std::optional<Value> { return c.device->product_type; }},
    {G::kDevice, 0x0632, T::kUInt32, [](const Context& c) -> std::optional<Value> { return c.device->serial; }},
    {G::kDevice, 0x231D, T::kUInt32, [](const Context& c) -> std::optional<Value> { return c.device->product_number; }},
    {G::kDevice, 0x29A9, T::kInt32, [](const Context& c) -> std::optional<Value> { return ProductCategory(*c.device); }},
    {G::kDevice, 0x22CA, T::kUInt32, [](const Context& c) -> std::optional<Value> { return uInt32{c.device->simulated}; }},
    {G::kDevice, 0x2326, T::kInt32, [](const Context& c) -> std::optional<Value> { return BusType(*c.device); }},
    {G::kDevice, 0x231E, T::kString,
     [](const Context& c) -> std::optional<Value> { return c.device->AIPhysicalChannels(); }},
    {G::kDevice, 0x298C, T::kFloat64,
     [](const Context& c) -> std::optional<Value> { return MaxSampleRate(c.device->product_type, 1); }},
    {G::kDevice, 0x298D, T::kFloat64,
     [](const Context& c) -> std::optional<Value> { return MaxMultiChannelRate(c.device->product_type); }},
    {G::kDevice, 0x298E, T::kFloat64, [](const Context&) -> std::optional<Value> { return kMinRate; }},
    {G::kDevice, 0x298F, T::kUInt32,
     [](const Context& c) -> std::optional<Value> { return uInt32{SimultaneousSampling(c.device->product_type)}; }},
    {G::kDevice, 0x2990, T::kFloat64Array,
     [](const Context& c) -> std::optional<Value> { return VoltageRanges(*c.device); }},
    {G::kDevice, 0x2991, T::kFloat64Array, [](const Context&) -> std::optional<Value> { return std::vector<float64>(); }},
    {G::kDevice, 0x2FD2, T::kInt32Array, [](const Context& c) -> std::optional<Value> { return MeasTypes(*c.device); }},
    {G::kDevice, 0x2FDC, T::kInt32Array,
     [](const Context& c) -> std::optional<Value> {
       if (c.device->ai_channels == 0) return std::vector<int32>();
       return std::vector<int32>{val::kFiniteSamps, val::kContSamps, val::kHWTimedSinglePoint};
     }},
    {G::kDevice, 0x29B7, T::kString, [](const Context& c) -> std::optional<Value> { return c.device->chassis; }},
    {G::kDevice, 0x29B6, T::kString,
     [](const Context& c) -> std::optional<Value> { return ModuleNames(*c.config, *c.device); }},
    {G::kDevice, 0x231F, T::kString, [](const Context&) -> std::optional<Value> { return std::string(); }},
    {G::kDevice, 0x2320, T::kString, [](const Context&) -> std::optional<Value> { return std::string(); }},
    {G::kDevice, 0x2A40, T::kString, [](const Context&) -> std::optional<Value> { return std::string(); }},
    // Physical channel (of the device in the context)
    {G::kPhysicalChannel, 0x2FD7, T::kInt32Array,
     [](const Context& c) -> std::optional<Value> { return MeasTypes(*c.device); }},
    {G::kPhysicalChannel, 0x2342, T::kInt32,
     [](const Context&) -> std::optional<Value> { return int32{1 | 2 | 4}; }},  // RSE, NRSE, differential
    {G::kPhysicalChannel, 0x2FD8, T::kString, [](const Context&) -> std::optional<Value> { return std::string(); }},
    // Saved task
    {G::kPersistedTask, 0x22CC, T::kString, [](const Context&) -> std::optional<Value> { return std::string(); }},
    {G::kPersistedTask, 0x22CD, T::kUInt32, [](const Context&) -> std::optional<Value> { return uInt32{1}; }},
    {G::kPersistedTask, 0x22CE, T::kUInt32, [](const Context&) -> std::optional<Value> { return uInt32{1}; }},
};

const Attribute* Find(G group, int32 id) {
  for (const auto& attribute : kAttributes) {
    if (attribute.group == group && attribute.id == id) return &attribute;
  }
  return nullptr;
}

std::string Hex(int32 id) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (auto value = static_cast<uInt32>(id); value != 0 || text.empty(); value >>= 4) {
    text.insert(text.begin(), kDigits[value & 15]);
  }
  return "0x" + text;
}

int32 Unsupported(int32 id, const std::string& details = {}) {
  return Fail(st::kAttributeNotSupported, "Property ID: " + Hex(id) + (details.empty() ? "" : "\n" + details));
}

// Writes `value` where NI's getters write it; texts and arrays by the size convention.
int32 Deliver(const Value& value, void* out, uInt32 size) {
  if (const auto* text = std::get_if<std::string>(&value)) {
    const int32 result = CopyText(platform::ToSystemAnsi(*text), static_cast<char*>(out), size);
    if (out != nullptr && size != 0 && result == st::kWarningStringTruncated) Fail(result);
    return result;
  }
  const auto deliver_array = [&](const auto& array) -> int32 {
    const auto count = static_cast<uInt32>(std::min<size_t>(array.size(), INT32_MAX));
    if (out == nullptr || size == 0) return static_cast<int32>(count);
    if (size < count) {
      return Fail(st::kArrayTooSmall,
                  "Array Size: " + std::to_string(size) + "\nRequired Size: " + std::to_string(count));
    }
    if (count > 0) std::memcpy(out, array.data(), count * sizeof(array[0]));
    return 0;
  };
  if (const auto* array = std::get_if<std::vector<float64>>(&value)) return deliver_array(*array);
  if (const auto* array = std::get_if<std::vector<int32>>(&value)) return deliver_array(*array);
  if (out == nullptr) return Fail(st::kInvalidAttributeValue, "The pointer for the value is null.");
  std::visit(
      [&](const auto& scalar) {
        using Scalar = std::decay_t<decltype(scalar)>;
        if constexpr (std::is_arithmetic_v<Scalar>) std::memcpy(out, &scalar, sizeof(scalar));
      },
      value);
  return 0;
}

// A channel list answers when its channels agree.
int32 ChannelValue(const Attribute& attribute, const AttributeTarget& target, std::optional<Value>& result) {
  const TaskConfig config = target.task->Config();
  std::vector<size_t> found;
  if (const int32 status = FindChannels(config, target.name, found); status < 0) return status;
  if (found.empty()) return Fail(st::kNoChannelsInTask, "Task Name: " + config.name);
  for (const size_t i : found) {
    Context context{nullptr, target.task, &config, &config.channels[i], nullptr};
    auto value = attribute.get(context);
    if (!value) return Unsupported(attribute.id, "Channel Name: " + config.channels[i].name);
    if (result && *result != *value) {
      return Fail(st::kInconsistentAcrossChannels, "Property ID: " + Hex(attribute.id) + "\nChannels: " + target.name);
    }
    result = std::move(value);
  }
  return 0;
}

int32 ConfigValue(const Attribute& attribute, const AttributeTarget& target, std::optional<Value>& result) {
  const ConfigResult current = CurrentConfig();
  if (!current.config) return Fail(current.status, current.error);
  const Config& config = *current.config;
  Context context{&config};
  if (attribute.group == G::kDevice) {
    context.device = config.FindDevice(target.name);
    if (context.device == nullptr) return Fail(st::kInvalidDeviceId, "Device Specified: " + target.name);
  } else if (attribute.group == G::kPhysicalChannel) {
    if (const int32 status = FindPhysicalChannel(config, target.name, context.device); status < 0) return status;
  } else if (attribute.group == G::kPersistedTask) {
    context.task_config = config.FindTask(target.name);
    if (context.task_config == nullptr) return Fail(st::kTaskCannotBeLoaded, "Task Name: " + target.name);
  }
  result = attribute.get(context);
  return 0;
}

}  // namespace

std::optional<ValueType> AttributeType(AttributeGroup group, int32 id) {
  const Attribute* attribute = Find(group, id);
  if (attribute == nullptr) return std::nullopt;
  return attribute->type;
}

int32 GetAttribute(AttributeGroup group, const AttributeTarget& target, int32 id, void* value, uInt32 size) {
  const Attribute* attribute = Find(group, id);
  if (attribute == nullptr) return Unsupported(id);
  std::optional<Value> result;
  int32 status = 0;
  if (group == G::kChannel) {
    status = ChannelValue(*attribute, target, result);
  } else if (target.task != nullptr) {
    const TaskConfig config = target.task->Config();
    result = attribute->get(Context{nullptr, target.task, &config});
  } else {
    status = ConfigValue(*attribute, target, result);
  }
  if (status < 0) return status;
  if (!result) return Unsupported(id);
  if (result->index() != static_cast<size_t>(attribute->type)) return Fail(status::kInternalError, Hex(id));
  return Deliver(*result, value, size);
}

int32 SetAttribute(AttributeGroup group, const AttributeTarget& target, int32 id, const Value& value) {
  const Attribute* attribute = Find(group, id);
  if (attribute == nullptr) return Unsupported(id);
  if (attribute->set == nullptr || target.task == nullptr) return Unsupported(id, "The property cannot be set.");
  if (value.index() != static_cast<size_t>(attribute->type)) return Fail(status::kInternalError);
  return target.task->Change(
      [&](TaskConfig& config) -> int32 {
        std::vector<size_t> channels;
        if (group == G::kChannel) {
          if (const int32 status = FindChannels(config, target.name, channels); status < 0) return status;
        }
        return attribute->set(config, channels, value);
      },
      group == G::kRead);
}

}  // namespace sim

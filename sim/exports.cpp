// The C functions of the simulated NI-DAQmx: argument checks, text
// conversion and status recording around the configuration and tasks.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <mutex>
#include <new>
#include <set>
#include <string>

#include "daqmx/api.h"
#include "platform/system.h"
#include "sim/attributes.h"
#include "sim/channels.h"
#include "sim/config_store.h"
#include "sim/errors.h"
#include "sim/ini.h"
#include "sim/registry.h"
#include "sim/task.h"

// Linux: only these functions leave the library (built with -fvisibility=hidden).
// Windows: the .def file names the exports.
#if defined(_WIN32)
#define NIADC_SIM_EXPORT
#else
#define NIADC_SIM_EXPORT __attribute__((visibility("default")))
#endif

// Declared from the shared list, so a definition below whose parameters differ
// is a conflicting C declaration and does not compile.
extern "C" {
#define NIADC_SIM_DECLARE(name, params) NIADC_SIM_EXPORT daqmx::int32 DAQMX_CALL name params;
NIADC_DAQMX_FUNCTIONS(NIADC_SIM_DECLARE)
NIADC_DAQMX_EXTRA_FUNCTIONS(NIADC_SIM_DECLARE)
#undef NIADC_SIM_DECLARE
#define NIADC_SIM_DECLARE_VARIADIC(name, params) NIADC_SIM_EXPORT daqmx::int32 name params;
NIADC_DAQMX_VARIADIC_FUNCTIONS(NIADC_SIM_DECLARE_VARIADIC)
#undef NIADC_SIM_DECLARE_VARIADIC
}

namespace {

using namespace sim;
using daqmx::TaskHandle;
namespace st = daqmx::status;
namespace val = daqmx::val;
using G = AttributeGroup;

// No exception may cross the C boundary into the host.
template <typename Body>
int32 Guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return Fail(status::kMemoryFull);
  } catch (const std::exception& error) {
    return Fail(status::kInternalError, error.what());
  } catch (...) {
    return Fail(status::kInternalError);
  }
}

std::string In(const char* text) { return text == nullptr ? std::string() : platform::FromSystemAnsi(text); }

int32 NullPointer(const std::string& what) {
  return Fail(st::kInvalidAttributeValue, "The pointer for the " + what + " is null.");
}

template <typename Body>
int32 WithConfig(Body&& body) {
  return Guarded([&]() -> int32 {
    const ConfigResult current = CurrentConfig();
    if (!current.config) return Fail(current.status, current.error);
    return body(*current.config);
  });
}

template <typename Body>
int32 WithTask(TaskHandle handle, Body&& body) {
  return Guarded([&]() -> int32 {
    const auto task = FindTask(handle);
    if (task == nullptr) {
      return Fail(st::kInvalidTask, handle == nullptr ? "The task handle is null."
                                                      : "The task handle is unknown, or its task was cleared.");
    }
    return body(*task);
  });
}

// The specific getters are the generic ones for one attribute.
int32 GetOf(G group, TaskHandle handle, const char* name, int32 id, void* value, uInt32 size = 0) {
  if (group == G::kSystem || group == G::kDevice || group == G::kPhysicalChannel || group == G::kPersistedTask) {
    return Guarded([&] { return GetAttribute(group, AttributeTarget{nullptr, In(name)}, id, value, size); });
  }
  return WithTask(handle, [&](Task& task) { return GetAttribute(group, AttributeTarget{&task, In(name)}, id, value, size); });
}

// The size argument that follows the value pointer for texts and arrays.
uInt32 SizeArgument(G group, int32 id, va_list args) {
  const auto type = AttributeType(group, id);
  return type && Sized(*type) ? va_arg(args, uInt32) : 0;
}

// The value argument of a setter, as its type travels through "...".
Value ValueArgument(G group, int32 id, va_list args) {
  const auto type = AttributeType(group, id);
  if (!type) return int32{0};
  switch (*type) {
    case ValueType::kInt32:
      return va_arg(args, int32);
    case ValueType::kUInt32:
      return va_arg(args, uInt32);
    case ValueType::kUInt64:
      return va_arg(args, uInt64);
    case ValueType::kFloat64:
      return va_arg(args, float64);
    case ValueType::kString:
      return In(va_arg(args, const char*));
    case ValueType::kFloat64Array:
    case ValueType::kInt32Array:
      break;
  }
  return int32{0};
}

int32 SetOf(G group, TaskHandle handle, const char* channel, int32 id, const Value& value) {
  return WithTask(handle, [&](Task& task) { return SetAttribute(group, AttributeTarget{&task, In(channel)}, id, value); });
}

int32 Load(const Config& config, const std::string& name, TaskHandle* handle) {
  const TaskConfig* task = config.FindTask(name);
  if (task == nullptr) {
    return Fail(st::kTaskCannotBeLoaded,
                "Task Name: " + name + "\nThe configuration (" + config.source + ") has no task of that name.");
  }
  if (task->fail_load) return Fail(*task->fail_load, "Simulated by Sim.FailLoad.\nTask Name: " + task->name);
  *handle = AddTask(std::make_shared<Task>(*task));
  if (*handle == nullptr) return Fail(st::kTaskNameConflict, "The task is loaded already.\nTask Name: " + task->name);
  return 0;
}

template <typename Sample>
int32 ReadSamples(TaskHandle handle, daqmx::int32 samples, float64 timeout, daqmx::bool32 fill_mode, Sample* array,
                  uInt32 array_size, daqmx::int32* samples_read) {
  if (samples_read != nullptr) *samples_read = 0;
  return WithTask(handle, [&](Task& task) {
    return task.Read(ReadRequest{samples, timeout, fill_mode, array_size}, array, samples_read);
  });
}

bool OneOf(int32 value, std::initializer_list<int32> allowed) {
  return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

int32 Invalid(const std::string& argument, const std::string& value) {
  return Fail(st::kInvalidAttributeValue, "Property: " + argument + "\nRequested Value: " + value);
}

std::string Lower(std::string text) {
  for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The names of the channels the last DAQmxCreateAI...Chan made, for DAQmxInternalGetLastCreatedChan.
std::mutex g_last_created_mutex;
std::string g_last_created;

// Channel names for `count` physical channels: theirs, one name numbered, or one name each.
int32 ChannelNames(const std::string& assigned, const std::vector<std::string>& physical,
                   std::vector<std::string>& names) {
  if (const int32 status = ExpandNames(assigned, names); status < 0) return status;
  if (names.empty()) {
    names = physical;
  } else if (names.size() == 1 && physical.size() > 1) {
    const std::string base = names.front();
    names.clear();
    for (size_t i = 0; i < physical.size(); ++i) names.push_back(base + std::to_string(i));
  } else if (names.size() != physical.size()) {
    return Invalid("nameToAssignToChannel", assigned);
  }
  return 0;
}

// Adds channels of `shape` on the physical channels `physical` to the task, as every DAQmxCreateAI...Chan does.
int32 CreateChannels(TaskHandle handle, const char* physical, const char* assigned, const ChannelConfig& shape) {
  if (!(shape.min < shape.max) || !std::isfinite(shape.min) || !std::isfinite(shape.max)) {
    return Fail(st::kMinNotLessThanMax,
                "Minimum: " + std::to_string(shape.min) + "\nMaximum: " + std::to_string(shape.max));
  }
  return WithConfig([&](const Config& config) {
    return WithTask(handle, [&](Task& task) -> int32 {
      std::vector<std::string> physical_names;
      std::vector<std::string> names;
      if (const int32 status = ExpandNames(In(physical), physical_names); status < 0) return status;
      if (physical_names.empty()) return Fail(st::kPhysicalChannelDoesNotExist, "Physical Channel Name: (none)");
      std::vector<ChannelConfig> channels;
      for (const auto& name : physical_names) {
        const DeviceConfig* device = nullptr;
        if (const int32 status = FindPhysicalChannel(config, name, device); status < 0) return status;
        ChannelConfig channel = shape;
        channel.device = device->name;
        channel.physical = device->name + name.substr(name.find('/'));
        channels.push_back(std::move(channel));
      }
      std::vector<std::string> physical_canonical;
      for (const auto& channel : channels) physical_canonical.push_back(channel.physical);
      if (const int32 status = ChannelNames(In(assigned), physical_canonical, names); status < 0) return status;
      for (size_t i = 0; i < channels.size(); ++i) channels[i].name = names[i];
      const int32 status = task.Change([&](TaskConfig& current) -> int32 {
        // All or nothing: every name is checked before any channel is added.
        std::set<std::string> taken;
        for (const auto& channel : current.channels) taken.insert(Lower(channel.name));
        for (const auto& channel : channels) {
          if (!taken.insert(Lower(channel.name)).second) {
            return Fail(st::kChannelAlreadyInTask, "Channel Name: " + channel.name);
          }
        }
        for (const auto& channel : channels) {
          current.channels.push_back(channel);
          if (std::none_of(current.devices.begin(), current.devices.end(),
                           [&](const std::string& d) { return EqualsNoCase(d, channel.device); })) {
            current.devices.push_back(channel.device);
          }
        }
        current.max_rate = DerivedMaxRate(current, config);
        return 0;
      });
      if (status < 0) return status;
      std::string created;
      for (const auto& name : names) created += (created.empty() ? "" : ", ") + name;
      const std::lock_guard lock(g_last_created_mutex);
      g_last_created = created;
      return 0;
    });
  });
}

int32 ConfigureClock(TaskConfig& task, const std::string& source, float64 rate, int32 edge, int32 mode, uInt64 samples) {
  if (!(rate > 0) || !std::isfinite(rate)) return Invalid("rate", std::to_string(rate));
  if (!OneOf(edge, {val::kRising, val::kFalling})) return Invalid("activeEdge", std::to_string(edge));
  if (!OneOf(mode, {val::kFiniteSamps, val::kContSamps, val::kHWTimedSinglePoint})) {
    return Invalid("sampleMode", std::to_string(mode));
  }
  if (mode == val::kFiniteSamps && samples == 0) return Invalid("sampsPerChan", "0");
  task.timing_type = val::kSampClk;
  task.clock_source = source;
  task.rate = rate;
  task.active_edge = edge;
  task.sample_mode = mode;
  if (samples > 0) task.samples_per_channel = samples;
  if (!task.buffer_size_fixed) task.buffer_size = AutomaticBufferSize(task);
  return 0;
}

}  // namespace

extern "C" {

daqmx::int32 DAQMX_CALL DAQmxGetSysNIDAQMajorVersion(daqmx::uInt32* data) {
  return GetOf(G::kSystem, nullptr, nullptr, 0x1272, data);
}

daqmx::int32 DAQMX_CALL DAQmxGetSysNIDAQMinorVersion(daqmx::uInt32* data) {
  return GetOf(G::kSystem, nullptr, nullptr, 0x1923, data);
}

daqmx::int32 DAQMX_CALL DAQmxGetSysTasks(char* data, daqmx::uInt32 bufferSize) {
  return GetOf(G::kSystem, nullptr, nullptr, 0x1267, data, bufferSize);
}

daqmx::int32 DAQMX_CALL DAQmxLoadTask(const char taskName[], daqmx::TaskHandle* taskHandle) {
  if (taskHandle == nullptr) return NullPointer("task handle");
  *taskHandle = nullptr;
  return WithConfig([&](const Config& config) { return Load(config, In(taskName), taskHandle); });
}

daqmx::int32 DAQMX_CALL DAQmxCreateTask(const char taskName[], daqmx::TaskHandle* taskHandle) {
  if (taskHandle == nullptr) return NullPointer("task handle");
  *taskHandle = nullptr;
  static std::atomic<int> unnamed{0};
  return Guarded([&]() -> int32 {
    TaskConfig config;
    config.name = Trim(In(taskName));
    if (config.name.empty()) config.name = "_unnamedTask<" + std::to_string(unnamed++) + ">";
    // NI: software timing until a sample clock is configured.
    config.timing_type = val::kOnDemand;
    config.sample_mode = val::kFiniteSamps;
    config.buffer_size = AutomaticBufferSize(config);
    *taskHandle = AddTask(std::make_shared<Task>(std::move(config)));
    if (*taskHandle == nullptr) return Fail(st::kTaskNameConflict, "Task Name: " + In(taskName));
    return 0;
  });
}

daqmx::int32 DAQMX_CALL DAQmxCreateAIVoltageChan(daqmx::TaskHandle taskHandle, const char physicalChannel[],
                                                 const char nameToAssignToChannel[], daqmx::int32 terminalConfig,
                                                 daqmx::float64 minVal, daqmx::float64 maxVal, daqmx::int32 units,
                                                 const char customScaleName[]) {
  if (!OneOf(terminalConfig, {val::kCfgDefault, 10083, 10078, 10106, 12529})) {
    return Invalid("terminalConfig", std::to_string(terminalConfig));
  }
  if (units != val::kVolts) return Invalid("units", std::to_string(units));
  ChannelConfig shape;
  shape.meas_type = val::kVoltage;
  shape.units = units;
  shape.min = minVal;
  shape.max = maxVal;
  if (terminalConfig != val::kCfgDefault) shape.terminal_config = terminalConfig;
  shape.custom_scale = In(customScaleName);
  return CreateChannels(taskHandle, physicalChannel, nameToAssignToChannel, shape);
}

daqmx::int32 DAQMX_CALL DAQmxCreateAICurrentChan(daqmx::TaskHandle taskHandle, const char physicalChannel[],
                                                 const char nameToAssignToChannel[], daqmx::int32 terminalConfig,
                                                 daqmx::float64 minVal, daqmx::float64 maxVal, daqmx::int32 units,
                                                 daqmx::int32 shuntResistorLoc, daqmx::float64 extShuntResistorVal,
                                                 const char customScaleName[]) {
  if (!OneOf(terminalConfig, {val::kCfgDefault, 10083, 10078, 10106, 12529})) {
    return Invalid("terminalConfig", std::to_string(terminalConfig));
  }
  if (units != val::kAmps) return Invalid("units", std::to_string(units));
  if (!OneOf(shuntResistorLoc, {val::kCfgDefault, 10200, 10167})) {
    return Invalid("shuntResistorLoc", std::to_string(shuntResistorLoc));
  }
  if (!(extShuntResistorVal > 0) || !std::isfinite(extShuntResistorVal)) {
    return Invalid("extShuntResistorVal", std::to_string(extShuntResistorVal));
  }
  ChannelConfig shape;
  shape.meas_type = val::kCurrent;
  shape.units = units;
  shape.min = minVal;
  shape.max = maxVal;
  if (terminalConfig != val::kCfgDefault) shape.terminal_config = terminalConfig;
  if (shuntResistorLoc != val::kCfgDefault) shape.shunt_location = shuntResistorLoc;
  shape.shunt_resistance = extShuntResistorVal;
  shape.custom_scale = In(customScaleName);
  return CreateChannels(taskHandle, physicalChannel, nameToAssignToChannel, shape);
}

daqmx::int32 DAQMX_CALL DAQmxCreateAIThrmcplChan(daqmx::TaskHandle taskHandle, const char physicalChannel[],
                                                 const char nameToAssignToChannel[], daqmx::float64 minVal,
                                                 daqmx::float64 maxVal, daqmx::int32 units,
                                                 daqmx::int32 thermocoupleType, daqmx::int32 cjcSource,
                                                 daqmx::float64 cjcVal, const char cjcChannel[]) {
  if (!OneOf(units, {val::kDegC, 10144, 10325, 10145})) return Invalid("units", std::to_string(units));
  if (!OneOf(thermocoupleType, {10072, 10073, 10077, 10082, 10085, 10086, 10047, 10055})) {
    return Invalid("thermocoupleType", std::to_string(thermocoupleType));
  }
  if (!OneOf(cjcSource, {10200, 10116, 10113})) return Invalid("cjcSource", std::to_string(cjcSource));
  if (!std::isfinite(cjcVal)) return Invalid("cjcVal", std::to_string(cjcVal));
  ChannelConfig shape;
  shape.meas_type = val::kTempTC;
  shape.units = units;
  shape.min = minVal;
  shape.max = maxVal;
  shape.thermocouple_type = thermocoupleType;
  shape.cjc_source = cjcSource;
  shape.cjc_value = cjcVal;
  shape.cjc_channel = In(cjcChannel);
  return CreateChannels(taskHandle, physicalChannel, nameToAssignToChannel, shape);
}

daqmx::int32 DAQMX_CALL DAQmxInternalGetLastCreatedChan(char value[], daqmx::uInt32 size) {
  return Guarded([&] {
    const std::lock_guard lock(g_last_created_mutex);
    const int32 result = CopyText(platform::ToSystemAnsi(g_last_created), value, size);
    return result == st::kWarningStringTruncated && value != nullptr && size != 0 ? Fail(result) : result;
  });
}

daqmx::int32 DAQMX_CALL DAQmxCfgSampClkTiming(daqmx::TaskHandle taskHandle, const char source[], daqmx::float64 rate,
                                              daqmx::int32 activeEdge, daqmx::int32 sampleMode,
                                              daqmx::uInt64 sampsPerChan) {
  return WithTask(taskHandle, [&](Task& task) {
    return task.Change([&](TaskConfig& config) {
      return ConfigureClock(config, In(source), rate, activeEdge, sampleMode, sampsPerChan);
    });
  });
}

daqmx::int32 DAQMX_CALL DAQmxTaskControl(daqmx::TaskHandle taskHandle, daqmx::int32 action) {
  return WithTask(taskHandle, [&](Task& task) -> int32 {
    switch (action) {
      case val::kTaskStart:
        return task.Start();
      case val::kTaskStop:
      case val::kTaskAbort:
      case val::kTaskUnreserve:
        return task.Stop();
      case val::kTaskVerify:
      case val::kTaskCommit:
      case val::kTaskReserve:
        return task.Verify();
      default:
        return Invalid("action", std::to_string(action));
    }
  });
}

daqmx::int32 DAQMX_CALL DAQmxWaitUntilTaskDone(daqmx::TaskHandle taskHandle, daqmx::float64 timeToWait) {
  return WithTask(taskHandle, [&](Task& task) { return task.WaitUntilDone(timeToWait); });
}

daqmx::int32 DAQMX_CALL DAQmxSetRuntimeEnvironment(const char* /*environment*/, const char* /*environmentVersion*/,
                                                   const char* /*reserved1*/, const char* /*reserved2*/) {
  return 0;
}

daqmx::int32 DAQMX_CALL DAQmxClearTask(daqmx::TaskHandle taskHandle) {
  return Guarded([&]() -> int32 {
    const auto task = RemoveTask(taskHandle);
    if (task == nullptr) return Fail(st::kInvalidTask, "The task handle is unknown, null, or cleared already.");
    task->Clear();
    return 0;
  });
}

daqmx::int32 DAQMX_CALL DAQmxStartTask(daqmx::TaskHandle taskHandle) {
  return WithTask(taskHandle, [](Task& task) { return task.Start(); });
}

daqmx::int32 DAQMX_CALL DAQmxStopTask(daqmx::TaskHandle taskHandle) {
  return WithTask(taskHandle, [](Task& task) { return task.Stop(); });
}

daqmx::int32 DAQMX_CALL DAQmxGetTaskChannels(daqmx::TaskHandle taskHandle, char* data, daqmx::uInt32 bufferSize) {
  return GetOf(G::kTask, taskHandle, nullptr, 0x1273, data, bufferSize);
}

daqmx::int32 DAQMX_CALL DAQmxGetTaskDevices(daqmx::TaskHandle taskHandle, char* data, daqmx::uInt32 bufferSize) {
  return GetOf(G::kTask, taskHandle, nullptr, 0x230E, data, bufferSize);
}

daqmx::int32 DAQMX_CALL DAQmxGetSampClkRate(daqmx::TaskHandle taskHandle, daqmx::float64* data) {
  return GetOf(G::kTiming, taskHandle, nullptr, 0x1344, data);
}

daqmx::int32 DAQMX_CALL DAQmxGetSampClkMaxRate(daqmx::TaskHandle taskHandle, daqmx::float64* data) {
  return GetOf(G::kTiming, taskHandle, nullptr, 0x22C8, data);
}

daqmx::int32 DAQMX_CALL DAQmxGetSampQuantSampMode(daqmx::TaskHandle taskHandle, daqmx::int32* data) {
  return GetOf(G::kTiming, taskHandle, nullptr, 0x1300, data);
}

daqmx::int32 DAQMX_CALL DAQmxGetSampQuantSampPerChan(daqmx::TaskHandle taskHandle, daqmx::uInt64* data) {
  return GetOf(G::kTiming, taskHandle, nullptr, 0x1310, data);
}

daqmx::int32 DAQMX_CALL DAQmxGetSampTimingType(daqmx::TaskHandle taskHandle, daqmx::int32* data) {
  return GetOf(G::kTiming, taskHandle, nullptr, 0x1347, data);
}

daqmx::int32 DAQMX_CALL DAQmxGetDevProductType(const char device[], char* data, daqmx::uInt32 bufferSize) {
  return GetOf(G::kDevice, nullptr, device, 0x0631, data, bufferSize);
}

daqmx::int32 DAQMX_CALL DAQmxGetDevAIPhysicalChans(const char device[], char* data, daqmx::uInt32 bufferSize) {
  return GetOf(G::kDevice, nullptr, device, 0x231E, data, bufferSize);
}

daqmx::int32 DAQMX_CALL DAQmxGetDevSerialNum(const char device[], daqmx::uInt32* data) {
  return GetOf(G::kDevice, nullptr, device, 0x0632, data);
}

daqmx::int32 DAQMX_CALL DAQmxGetPhysicalChanName(daqmx::TaskHandle taskHandle, const char channel[], char* data,
                                                 daqmx::uInt32 bufferSize) {
  return GetOf(G::kChannel, taskHandle, channel, 0x18F5, data, bufferSize);
}

daqmx::int32 DAQMX_CALL DAQmxGetChanType(daqmx::TaskHandle taskHandle, const char channel[], daqmx::int32* data) {
  return GetOf(G::kChannel, taskHandle, channel, 0x187F, data);
}

daqmx::int32 DAQMX_CALL DAQmxGetAIMeasType(daqmx::TaskHandle taskHandle, const char channel[], daqmx::int32* data) {
  return GetOf(G::kChannel, taskHandle, channel, 0x0695, data);
}

daqmx::int32 DAQMX_CALL DAQmxGetAIMax(daqmx::TaskHandle taskHandle, const char channel[], daqmx::float64* data) {
  return GetOf(G::kChannel, taskHandle, channel, 0x17DD, data);
}

daqmx::int32 DAQMX_CALL DAQmxGetAIMin(daqmx::TaskHandle taskHandle, const char channel[], daqmx::float64* data) {
  return GetOf(G::kChannel, taskHandle, channel, 0x17DE, data);
}

daqmx::int32 DAQMX_CALL DAQmxReadAnalogF64(daqmx::TaskHandle taskHandle, daqmx::int32 numSampsPerChan,
                                           daqmx::float64 timeout, daqmx::bool32 fillMode, daqmx::float64 readArray[],
                                           daqmx::uInt32 arraySizeInSamps, daqmx::int32* sampsPerChanRead,
                                           daqmx::bool32* /*reserved*/) {
  return ReadSamples(taskHandle, numSampsPerChan, timeout, fillMode, readArray, arraySizeInSamps, sampsPerChanRead);
}

daqmx::int32 DAQMX_CALL DAQmxReadBinaryI16(daqmx::TaskHandle taskHandle, daqmx::int32 numSampsPerChan,
                                           daqmx::float64 timeout, daqmx::bool32 fillMode, daqmx::int16 readArray[],
                                           daqmx::uInt32 arraySizeInSamps, daqmx::int32* sampsPerChanRead,
                                           daqmx::bool32* /*reserved*/) {
  return ReadSamples(taskHandle, numSampsPerChan, timeout, fillMode, readArray, arraySizeInSamps, sampsPerChanRead);
}

daqmx::int32 DAQMX_CALL DAQmxReadAnalogScalarF64(daqmx::TaskHandle taskHandle, daqmx::float64 timeout,
                                                 daqmx::float64* value, daqmx::bool32* /*reserved*/) {
  if (value == nullptr) return NullPointer("value");
  return WithTask(taskHandle, [&](Task& task) -> int32 {
    const size_t channels = task.Config().channels.size();
    if (channels > 1) {
      return Fail(st::kInvalidAttributeValue, "A scalar read needs a task of one channel.\nChannels: " +
                                                  std::to_string(channels));
    }
    daqmx::int32 read = 0;
    return task.Read(ReadRequest{1, timeout, val::kGroupByScanNumber, 1}, value, &read);
  });
}

daqmx::int32 DAQMX_CALL DAQmxGetErrorString(daqmx::int32 errorCode, char errorString[], daqmx::uInt32 bufferSize) {
  return Guarded([&] { return CopyText(platform::ToSystemAnsi(ErrorText(errorCode)), errorString, bufferSize); });
}

daqmx::int32 DAQMX_CALL DAQmxGetExtendedErrorInfo(char errorString[], daqmx::uInt32 bufferSize) {
  return Guarded([&] { return CopyText(platform::ToSystemAnsi(ExtendedErrorInfo()), errorString, bufferSize); });
}

daqmx::int32 DAQMX_CALL DAQmxGetReadAvailSampPerChan(daqmx::TaskHandle taskHandle, daqmx::uInt32* data) {
  if (data == nullptr) return NullPointer("value");
  return WithTask(taskHandle, [&](Task& task) { return task.AvailableSamples(data); });
}

daqmx::int32 DAQMX_CALL DAQmxIsTaskDone(daqmx::TaskHandle taskHandle, daqmx::bool32* isTaskDone) {
  if (isTaskDone == nullptr) return NullPointer("value");
  return WithTask(taskHandle, [&](Task& task) { return task.IsDone(isTaskDone); });
}

// The generic attribute functions (variadic, __cdecl).

daqmx::int32 DAQmxGetSystemInfoAttribute(daqmx::int32 attribute, void* value, ...) {
  va_list args;
  va_start(args, value);
  const uInt32 size = SizeArgument(G::kSystem, attribute, args);
  va_end(args);
  return GetOf(G::kSystem, nullptr, nullptr, attribute, value, size);
}

#define NIADC_SIM_TASK_GETTER(name, group)                                                   \
  daqmx::int32 name(daqmx::TaskHandle taskHandle, daqmx::int32 attribute, void* value, ...) { \
    va_list args;                                                                            \
    va_start(args, value);                                                                   \
    const uInt32 size = SizeArgument(group, attribute, args);                                \
    va_end(args);                                                                            \
    return GetOf(group, taskHandle, nullptr, attribute, value, size);                        \
  }
NIADC_SIM_TASK_GETTER(DAQmxGetTaskAttribute, G::kTask)
NIADC_SIM_TASK_GETTER(DAQmxGetTimingAttribute, G::kTiming)
NIADC_SIM_TASK_GETTER(DAQmxGetReadAttribute, G::kRead)
NIADC_SIM_TASK_GETTER(DAQmxGetBufferAttribute, G::kBuffer)
#undef NIADC_SIM_TASK_GETTER

#define NIADC_SIM_TASK_SETTER(name, group)                                     \
  daqmx::int32 name(daqmx::TaskHandle taskHandle, daqmx::int32 attribute, ...) { \
    va_list args;                                                              \
    va_start(args, attribute);                                                 \
    const Value value = ValueArgument(group, attribute, args);                 \
    va_end(args);                                                              \
    return SetOf(group, taskHandle, nullptr, attribute, value);                \
  }
NIADC_SIM_TASK_SETTER(DAQmxSetTimingAttribute, G::kTiming)
NIADC_SIM_TASK_SETTER(DAQmxSetReadAttribute, G::kRead)
NIADC_SIM_TASK_SETTER(DAQmxSetBufferAttribute, G::kBuffer)
#undef NIADC_SIM_TASK_SETTER

daqmx::int32 DAQmxGetChanAttribute(daqmx::TaskHandle taskHandle, const char channel[], daqmx::int32 attribute,
                                   void* value, ...) {
  va_list args;
  va_start(args, value);
  const uInt32 size = SizeArgument(G::kChannel, attribute, args);
  va_end(args);
  return GetOf(G::kChannel, taskHandle, channel, attribute, value, size);
}

daqmx::int32 DAQmxSetChanAttribute(daqmx::TaskHandle taskHandle, const char channel[], daqmx::int32 attribute, ...) {
  va_list args;
  va_start(args, attribute);
  const Value value = ValueArgument(G::kChannel, attribute, args);
  va_end(args);
  return SetOf(G::kChannel, taskHandle, channel, attribute, value);
}

#define NIADC_SIM_NAME_GETTER(name, group)                                              \
  daqmx::int32 name(const char object[], daqmx::int32 attribute, void* value, ...) { \
    va_list args;                                                                     \
    va_start(args, value);                                                            \
    const uInt32 size = SizeArgument(group, attribute, args);                         \
    va_end(args);                                                                     \
    return GetOf(group, nullptr, object, attribute, value, size);                     \
  }
NIADC_SIM_NAME_GETTER(DAQmxGetDeviceAttribute, G::kDevice)
NIADC_SIM_NAME_GETTER(DAQmxGetPhysicalChanAttribute, G::kPhysicalChannel)
NIADC_SIM_NAME_GETTER(DAQmxGetPersistedTaskAttribute, G::kPersistedTask)
#undef NIADC_SIM_NAME_GETTER

}  // extern "C"

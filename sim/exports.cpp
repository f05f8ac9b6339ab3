// The C functions of the simulated NI-DAQmx: argument checks, text
// conversion and status recording around the configuration and tasks.
#include <new>
#include <string>

#include "daqmx/api.h"
#include "platform/system.h"
#include "sim/config_store.h"
#include "sim/errors.h"
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
}

namespace {

using namespace sim;
using daqmx::TaskHandle;
namespace st = daqmx::status;

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

int32 Out(std::string_view utf8, char* buffer, uInt32 size) {
  const int32 result = CopyText(platform::ToSystemAnsi(utf8), buffer, size);
  if (buffer != nullptr && size != 0 && result == st::kWarningStringTruncated) Fail(result);
  return result;
}

template <typename T, typename V>
int32 Put(T* data, V value) {
  if (data == nullptr) return Fail(status::kInvalidAttributeValue, "The pointer for the value is null.");
  *data = static_cast<T>(value);
  return 0;
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
int32 WithDevice(const char* device, Body&& body) {
  return WithConfig([&](const Config& config) -> int32 {
    const DeviceConfig* found = config.FindDevice(In(device));
    if (found == nullptr) return Fail(st::kInvalidDeviceId, "Device Specified: " + In(device));
    return body(*found);
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

template <typename Body>
int32 WithChannel(TaskHandle handle, const char* channel, Body&& body) {
  return WithTask(handle, [&](Task& task) -> int32 {
    const ChannelConfig* found = task.Config().FindChannel(In(channel));
    if (found == nullptr) {
      return Fail(status::kChannelNotInTask, "Channel Name: " + In(channel) + "\nTask Name: " + task.Config().name);
    }
    return body(*found);
  });
}

template <typename Body>
int32 WithAIChannel(TaskHandle handle, const char* channel, Body&& body) {
  return WithChannel(handle, channel, [&](const ChannelConfig& found) -> int32 {
    if (found.type != daqmx::val::kAI) {
      return Fail(status::kAttributeNotApplicable,
                  "The channel is not an analog input channel.\nChannel Name: " + found.name);
    }
    return body(found);
  });
}

std::string Join(const std::vector<std::string>& names) {
  std::string list;
  for (const auto& name : names) list += (list.empty() ? "" : ", ") + name;
  return list;
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

}  // namespace

extern "C" {

daqmx::int32 DAQMX_CALL DAQmxGetSysNIDAQMajorVersion(daqmx::uInt32* data) {
  return WithConfig([&](const Config& config) { return Put(data, config.major_version); });
}

daqmx::int32 DAQMX_CALL DAQmxGetSysNIDAQMinorVersion(daqmx::uInt32* data) {
  return WithConfig([&](const Config& config) { return Put(data, config.minor_version); });
}

daqmx::int32 DAQMX_CALL DAQmxGetSysTasks(char* data, daqmx::uInt32 bufferSize) {
  return WithConfig([&](const Config& config) { return Out(config.TaskList(), data, bufferSize); });
}

daqmx::int32 DAQMX_CALL DAQmxLoadTask(const char taskName[], daqmx::TaskHandle* taskHandle) {
  if (taskHandle == nullptr) return Fail(status::kInvalidAttributeValue, "The pointer for the task handle is null.");
  *taskHandle = nullptr;
  return WithConfig([&](const Config& config) { return Load(config, In(taskName), taskHandle); });
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
  return WithTask(taskHandle, [&](Task& task) {
    std::vector<std::string> names;
    for (const auto& channel : task.Config().channels) names.push_back(channel.name);
    return Out(Join(names), data, bufferSize);
  });
}

daqmx::int32 DAQMX_CALL DAQmxGetTaskDevices(daqmx::TaskHandle taskHandle, char* data, daqmx::uInt32 bufferSize) {
  return WithTask(taskHandle, [&](Task& task) { return Out(Join(task.Config().devices), data, bufferSize); });
}

daqmx::int32 DAQMX_CALL DAQmxGetSampClkRate(daqmx::TaskHandle taskHandle, daqmx::float64* data) {
  return WithTask(taskHandle, [&](Task& task) { return Put(data, task.Config().rate); });
}

daqmx::int32 DAQMX_CALL DAQmxGetSampClkMaxRate(daqmx::TaskHandle taskHandle, daqmx::float64* data) {
  return WithTask(taskHandle, [&](Task& task) { return Put(data, task.Config().max_rate); });
}

daqmx::int32 DAQMX_CALL DAQmxGetSampQuantSampMode(daqmx::TaskHandle taskHandle, daqmx::int32* data) {
  return WithTask(taskHandle, [&](Task& task) { return Put(data, task.Config().sample_mode); });
}

daqmx::int32 DAQMX_CALL DAQmxGetSampQuantSampPerChan(daqmx::TaskHandle taskHandle, daqmx::uInt64* data) {
  return WithTask(taskHandle, [&](Task& task) { return Put(data, task.Config().samples_per_channel); });
}

daqmx::int32 DAQMX_CALL DAQmxGetSampTimingType(daqmx::TaskHandle taskHandle, daqmx::int32* data) {
  return WithTask(taskHandle, [&](Task& task) { return Put(data, task.Config().timing_type); });
}

daqmx::int32 DAQMX_CALL DAQmxGetDevProductType(const char device[], char* data, daqmx::uInt32 bufferSize) {
  return WithDevice(device, [&](const DeviceConfig& found) { return Out(found.product_type, data, bufferSize); });
}

daqmx::int32 DAQMX_CALL DAQmxGetDevAIPhysicalChans(const char device[], char* data, daqmx::uInt32 bufferSize) {
  return WithDevice(device,
                    [&](const DeviceConfig& found) { return Out(found.AIPhysicalChannels(), data, bufferSize); });
}

daqmx::int32 DAQMX_CALL DAQmxGetDevSerialNum(const char device[], daqmx::uInt32* data) {
  return WithDevice(device, [&](const DeviceConfig& found) { return Put(data, found.serial); });
}

daqmx::int32 DAQMX_CALL DAQmxGetPhysicalChanName(daqmx::TaskHandle taskHandle, const char channel[], char* data,
                                                 daqmx::uInt32 bufferSize) {
  return WithChannel(taskHandle, channel,
                     [&](const ChannelConfig& found) { return Out(found.physical, data, bufferSize); });
}

daqmx::int32 DAQMX_CALL DAQmxGetChanType(daqmx::TaskHandle taskHandle, const char channel[], daqmx::int32* data) {
  return WithChannel(taskHandle, channel, [&](const ChannelConfig& found) { return Put(data, found.type); });
}

daqmx::int32 DAQMX_CALL DAQmxGetAIMeasType(daqmx::TaskHandle taskHandle, const char channel[], daqmx::int32* data) {
  return WithAIChannel(taskHandle, channel, [&](const ChannelConfig& found) { return Put(data, found.meas_type); });
}

daqmx::int32 DAQMX_CALL DAQmxGetAIMax(daqmx::TaskHandle taskHandle, const char channel[], daqmx::float64* data) {
  return WithAIChannel(taskHandle, channel, [&](const ChannelConfig& found) { return Put(data, found.max); });
}

daqmx::int32 DAQMX_CALL DAQmxGetAIMin(daqmx::TaskHandle taskHandle, const char channel[], daqmx::float64* data) {
  return WithAIChannel(taskHandle, channel, [&](const ChannelConfig& found) { return Put(data, found.min); });
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

daqmx::int32 DAQMX_CALL DAQmxGetErrorString(daqmx::int32 errorCode, char errorString[], daqmx::uInt32 bufferSize) {
  return Guarded([&] { return CopyText(platform::ToSystemAnsi(ErrorText(errorCode)), errorString, bufferSize); });
}

daqmx::int32 DAQMX_CALL DAQmxGetExtendedErrorInfo(char errorString[], daqmx::uInt32 bufferSize) {
  return Guarded([&] { return CopyText(platform::ToSystemAnsi(ExtendedErrorInfo()), errorString, bufferSize); });
}

daqmx::int32 DAQMX_CALL DAQmxGetReadAvailSampPerChan(daqmx::TaskHandle taskHandle, daqmx::uInt32* data) {
  return WithTask(taskHandle, [&](Task& task) -> int32 {
    if (data == nullptr) return Put(data, 0);
    return task.AvailableSamples(data);
  });
}

daqmx::int32 DAQMX_CALL DAQmxIsTaskDone(daqmx::TaskHandle taskHandle, daqmx::bool32* isTaskDone) {
  return WithTask(taskHandle, [&](Task& task) -> int32 {
    if (isTaskDone == nullptr) return Put(isTaskDone, 0);
    return task.IsDone(isTaskDone);
  });
}

}  // extern "C"

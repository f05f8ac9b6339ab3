#include "daqmx/ni_task.h"

#include <cstdio>

#include "platform/system.h"
#include "platform/text.h"

namespace daqmx {
namespace {

// The answer of a two-call text query: the sizing call's result, the second
// call's status and its text (cut before the terminating NUL, in UTF-8).
struct TextReply {
  int32 size = 0;
  int32 status = 0;
  std::string text;
};

// NI-DAQmx text getters are asked twice: once with no buffer for the size
// (terminating NUL included), then with a buffer of exactly that size.
// `min_size` is the member's guard: a smaller size ends the query.
template <typename Query>
TextReply QueryText(Query query, int32 min_size = 0) {
  TextReply reply;
  reply.size = query(nullptr, 0);
  if (reply.size <= min_size) return reply;
  std::string buffer(static_cast<size_t>(reply.size), '\0');
  reply.status = query(buffer.data(), static_cast<uInt32>(reply.size));
  buffer.resize(static_cast<size_t>(reply.size) - 1);
  buffer.resize(buffer.find('\0') == std::string::npos ? buffer.size() : buffer.find('\0'));
  reply.text = platform::FromSystemAnsi(buffer);
  return reply;
}

}  // namespace

template <auto Function, typename... Args>
int32 cNITask::Call(Args... args) const {
  if (!mLibrary->Loaded()) return kStatusLibraryNotLoaded;
  return ((*mLibrary).*Function)(args...);
}

cNITask::cNITask(std::shared_ptr<const Library> library) : mLibrary(std::move(library)) {
  uInt32 major = 0;
  uInt32 minor = 0;
  Record(Call<&Library::DAQmxGetSysNIDAQMajorVersion>(&major));
  Record(Call<&Library::DAQmxGetSysNIDAQMinorVersion>(&minor));
  mMajorVersion = static_cast<int32>(major);
  mMinorVersion = static_cast<int32>(minor);
  RefreshTaskList();
}

cNITask::~cNITask() {
  UnloadTask();
  mTaskCount = 0;
  mTaskNames.clear();
}

int32 cNITask::RefreshTaskList() {
  mTaskCount = 0;
  mTaskNames.clear();
  const TextReply reply = QueryText(
      [this](char* data, uInt32 size) { return Call<&Library::DAQmxGetSysTasks>(data, size); }, 2);
  mSize = reply.size;
  if (reply.size <= 2) return 0;
  Record(reply.status);
  mTaskCount = SplitList(reply.text, mTaskNames);
  return mTaskCount;
}

std::string cNITask::TaskNameAt(int32 index) const {
  if (index < 0 || index >= mTaskCount) return {};
  return mTaskNames[static_cast<size_t>(index)];
}

bool cNITask::LoadTask(int32 index) {
  UnloadTask();
  if (index < 0 || index >= mTaskCount) return false;
  const std::string name = mTaskNames[static_cast<size_t>(index)];
  TaskHandle handle = nullptr;
  Record(Call<&Library::DAQmxLoadTask>(platform::ToSystemAnsi(name).c_str(), &handle));
  if (Status() < 0) return false;
  mHandle.store(handle, std::memory_order_relaxed);
  mInfo.Index = index;
  mInfo.Name = name;
  ReadTaskChannels();
  ReadTaskDevices();
  return true;
}

void cNITask::UnloadTask() {
  ReleaseTask(mHandle);
  mInfo.Index = -1;
  mInfo.Name.clear();
  mInfo.ChannelCount = 0;
  mInfo.Channels.clear();
  mInfo.DeviceCount = 0;
  mInfo.Devices.clear();
}

int32 cNITask::ReadTaskChannels() {
  const TaskHandle handle = Handle();
  const TextReply reply = QueryText(
      [&](char* data, uInt32 size) { return Call<&Library::DAQmxGetTaskChannels>(handle, data, size); });
  mSize = reply.size;
  if (reply.size <= 0) return 0;
  Record(reply.status);
  mInfo.ChannelCount = SplitList(reply.text, mInfo.Channels);
  return mInfo.ChannelCount;
}

int32 cNITask::ReadTaskDevices() {
  const TaskHandle handle = Handle();
  const TextReply reply = QueryText(
      [&](char* data, uInt32 size) { return Call<&Library::DAQmxGetTaskDevices>(handle, data, size); });
  mSize = reply.size;
  if (reply.size <= 0) return 0;
  Record(reply.status);
  mInfo.DeviceList = reply.text;
  mInfo.DeviceCount = SplitList(mInfo.DeviceList, mInfo.Devices);
  return mInfo.DeviceCount;
}

float64 cNITask::SampClkRate() {
  float64 rate = 0;
  Record(Call<&Library::DAQmxGetSampClkRate>(Handle(), &rate));
  return rate;
}

float64 cNITask::SampClkMaxRate() {
  float64 rate = 0;
  Record(Call<&Library::DAQmxGetSampClkMaxRate>(Handle(), &rate));
  return rate;
}

int32 cNITask::SampleMode() {
  int32 mode = 0;
  Record(Call<&Library::DAQmxGetSampQuantSampMode>(Handle(), &mode));
  return mode;
}

// NI-DAQmx delivers a 64-bit count; callers compare it with 32-bit block
// lengths, so it saturates rather than wraps.
int32 cNITask::SamplesPerChannel() {
  uInt64 samples = 0;
  Record(Call<&Library::DAQmxGetSampQuantSampPerChan>(Handle(), &samples));
  constexpr uInt64 kMax = 0x7FFFFFFF;
  return static_cast<int32>(samples > kMax ? kMax : samples);
}

int32 cNITask::SampleTimingType() {
  int32 type = 0;
  Record(Call<&Library::DAQmxGetSampTimingType>(Handle(), &type));
  return type;
}

std::string cNITask::DeviceName(int32 index) const {
  return ValidDevice(index) ? mInfo.Devices[static_cast<size_t>(index)] : std::string();
}

std::string cNITask::DeviceArgument(int32 index) const { return platform::ToSystemAnsi(DeviceName(index)); }

std::string cNITask::ChannelArgument(int32 index) const { return platform::ToSystemAnsi(TaskChannelName(index)); }

// Product types such as "PCIe-6363 (BNC)" are shown without their suffix; a
// blank within the first four characters ("NI 9205") belongs to the name.
std::string cNITask::DeviceProductType(int32 index) {
  if (!ValidDevice(index)) return {};
  const std::string device = DeviceArgument(index);
  const TextReply reply = QueryText([&](char* data, uInt32 size) {
    return Call<&Library::DAQmxGetDevProductType>(device.c_str(), data, size);
  });
  mSize = reply.size;
  if (reply.size <= 0) return {};
  Record(reply.status);
  if (reply.status < 0) return {};
  const auto blank = reply.text.find(' ');
  if (blank != std::string::npos && blank + 1 > 4) return reply.text.substr(0, blank);
  return reply.text;
}

std::string cNITask::DeviceSerialNumber(int32 index) {
  if (!ValidDevice(index)) return "0";
  uInt32 serial = 0;
  Record(Call<&Library::DAQmxGetDevSerialNum>(DeviceArgument(index).c_str(), &serial));
  if (serial == 0) return "0";
  char text[16];
  std::snprintf(text, sizeof text, "%03X", static_cast<unsigned>(serial));
  return text;
}

bool cNITask::DeviceHasAIChannels(int32 index) {
  if (!ValidDevice(index)) return false;
  mSize = Call<&Library::DAQmxGetDevAIPhysicalChans>(DeviceArgument(index).c_str(), nullptr, 0u);
  return mSize > 0;
}

std::string cNITask::TaskChannelName(int32 index) const {
  return ValidChannel(index) ? mInfo.Channels[static_cast<size_t>(index)] : std::string();
}

std::string cNITask::PhysicalChannelName(int32 index) {
  if (!ValidChannel(index)) return {};
  const TaskHandle handle = Handle();
  const std::string channel = ChannelArgument(index);
  const TextReply reply = QueryText([&](char* data, uInt32 size) {
    return Call<&Library::DAQmxGetPhysicalChanName>(handle, channel.c_str(), data, size);
  });
  mSize = reply.size;
  if (reply.size <= 0) return {};
  Record(reply.status);
  return reply.text;
}

int32 cNITask::ChannelType(int32 index) {
  if (!ValidChannel(index)) return 0;
  int32 type = 0;
  Record(Call<&Library::DAQmxGetChanType>(Handle(), ChannelArgument(index).c_str(), &type));
  return type;
}

int32 cNITask::ChannelMeasType(int32 index) {
  if (!ValidChannel(index)) return 0;
  int32 type = 0;
  Record(Call<&Library::DAQmxGetAIMeasType>(Handle(), ChannelArgument(index).c_str(), &type));
  return type;
}

std::string cNITask::ChannelUnits(int32 index) { return UnitsOfMeasType(ChannelMeasType(index)); }

float64 cNITask::ChannelMax(int32 index) {
  if (!ValidChannel(index)) return 0;
  float64 value = 0;
  Record(Call<&Library::DAQmxGetAIMax>(Handle(), ChannelArgument(index).c_str(), &value));
  return value;
}

float64 cNITask::ChannelMin(int32 index) {
  if (!ValidChannel(index)) return 0;
  float64 value = 0;
  Record(Call<&Library::DAQmxGetAIMin>(Handle(), ChannelArgument(index).c_str(), &value));
  return value;
}

// Stops first, so a running task may be started again. After a failed start
// the clean-up stop is not recorded: StatusText keeps the start's error.
bool cNITask::StartTask() {
  const TaskHandle handle = Handle();
  Record(Call<&Library::DAQmxStopTask>(handle));
  Record(Call<&Library::DAQmxStartTask>(handle));
  if (Status() >= 0) return true;
  Call<&Library::DAQmxStopTask>(handle);
  return false;
}

void cNITask::StopTask() { Record(Call<&Library::DAQmxStopTask>(Handle())); }

int32 cNITask::ReadSamples(int32 samps_per_chan, float64 timeout, float64* data, int32 array_size) {
  const TaskHandle handle = Handle();
  if (handle == nullptr) return 0;
  int32 read = 0;
  Record(Call<&Library::DAQmxReadAnalogF64>(handle, samps_per_chan, timeout, val::kGroupByScanNumber, data,
                                            static_cast<uInt32>(array_size), &read,
                                            static_cast<bool32*>(nullptr)));
  return read > 0 ? read : 0;
}

// One frame of every channel, then the task is stopped; the decision rests
// on the stop's status alone.
bool cNITask::ReadChannelValue(int32 index, float64& value) {
  const TaskHandle handle = Handle();
  if (handle == nullptr || !ValidChannel(index)) return false;
  std::vector<float64> frame(static_cast<size_t>(mInfo.ChannelCount), 0.0);
  int32 read = 0;
  Record(Call<&Library::DAQmxReadAnalogF64>(handle, 1, 1.0, val::kGroupByScanNumber, frame.data(),
                                            static_cast<uInt32>(frame.size()), &read, static_cast<bool32*>(nullptr)));
  Record(Call<&Library::DAQmxStopTask>(handle));
  if (Status() < 0) return false;
  value = frame[static_cast<size_t>(index)];
  return true;
}

std::string cNITask::StatusText() const { return ErrorText(Status()); }

std::string cNITask::ErrorText(int32 code) const {
  if (code == 0) return {};
  if (code == kStatusLibraryNotLoaded && !mLibrary->Loaded()) return mLibrary->LoadError();
  return QueryText([&](char* data, uInt32 size) { return Call<&Library::DAQmxGetErrorString>(code, data, size); })
      .text;
}

void cNITask::ReleaseTask(std::atomic<TaskHandle>& handle) {
  const TaskHandle current = handle.load(std::memory_order_relaxed);
  if (current == nullptr) return;
  Record(Call<&Library::DAQmxStopTask>(current));
  Record(Call<&Library::DAQmxClearTask>(current));
  handle.store(nullptr, std::memory_order_relaxed);
}

int32 cNITask::SplitList(const std::string& text, std::vector<std::string>& list) {
  const std::string whole = platform::Trim(text.substr(0, text.find('\0')), " ");
  if (whole.empty()) return 0;
  list.clear();
  size_t start = 0;
  for (;;) {
    const size_t comma = whole.find(',', start);
    list.push_back(platform::Trim(whole.substr(start, comma - start), " "));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return static_cast<int32>(list.size());
}

std::string cNITask::UnitsOfMeasType(int32 meas_type) {
  switch (meas_type) {
    case val::kFreqVoltage:
      return "Hz";
    case val::kResistance:
      return "Ohm";
    case val::kTempRTD:
    case val::kTempThrmstr:
    case val::kTempTC:
    case val::kTempBuiltInSensor:
      return "\xC2\xB0"
             "C";
    case val::kSoundPressureMicrophone:
      return "Pa";
    case val::kAccelerometer:
      return "g";
    default:  // voltage, and current as the host has always shown it
      return "V";
  }
}

}  // namespace daqmx

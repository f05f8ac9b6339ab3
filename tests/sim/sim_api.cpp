#include "tests/sim/sim_api.h"

#include <algorithm>

namespace simtest {
namespace {

bool Mentions(const std::string& keys, const std::string& key) { return keys.find(key) != std::string::npos; }

}  // namespace

const daqmx::Library& Api() { return *testsupport::SimLibrary(); }

std::string SysTasks() {
  return QueryText([](char* data, uInt32 size) { return Api().DAQmxGetSysTasks(data, size); });
}

std::string TaskChannels(TaskHandle task) {
  return QueryText([task](char* data, uInt32 size) { return Api().DAQmxGetTaskChannels(task, data, size); });
}

std::string TaskDevices(TaskHandle task) {
  return QueryText([task](char* data, uInt32 size) { return Api().DAQmxGetTaskDevices(task, data, size); });
}

std::string PhysicalChannel(TaskHandle task, const char* channel) {
  return QueryText([&](char* data, uInt32 size) { return Api().DAQmxGetPhysicalChanName(task, channel, data, size); });
}

std::string ProductType(const char* device) {
  return QueryText([device](char* data, uInt32 size) { return Api().DAQmxGetDevProductType(device, data, size); });
}

std::string AIPhysicalChannels(const char* device) {
  return QueryText([device](char* data, uInt32 size) { return Api().DAQmxGetDevAIPhysicalChans(device, data, size); });
}

std::string ErrorString(int32 code) {
  return QueryText([code](char* data, uInt32 size) { return Api().DAQmxGetErrorString(code, data, size); });
}

std::string ExtendedError() {
  return QueryText([](char* data, uInt32 size) { return Api().DAQmxGetExtendedErrorInfo(data, size); });
}

LoadedTask::LoadedTask(const char* name) { status_ = Api().DAQmxLoadTask(name, &handle_); }

LoadedTask::~LoadedTask() {
  if (handle_ != nullptr) Api().DAQmxClearTask(handle_);
}

int32 LoadedTask::Channels() const {
  const std::string list = TaskChannels(handle_);
  return list.empty() ? 0 : static_cast<int32>(std::count(list.begin(), list.end(), ',') + 1);
}

LoadedTask::Result LoadedTask::Read(int32 samples, float64 timeout, uInt32 capacity, daqmx::bool32 fill) const {
  Result result{0, -1, std::vector<float64>(static_cast<size_t>(capacity) * static_cast<size_t>(Channels()))};
  result.status = Api().DAQmxReadAnalogF64(handle_, samples, timeout, fill, result.data.data(),
                                           static_cast<uInt32>(result.data.size()), &result.read, nullptr);
  result.data.resize(static_cast<size_t>(std::max(result.read, 0)) * static_cast<size_t>(Channels()));
  return result;
}

std::string TaskExport(const std::string& task, const std::string& task_keys,
                       const std::vector<std::string>& channel_keys) {
  std::string channels;
  std::string sections;
  for (size_t i = 0; i < channel_keys.size(); ++i) {
    const std::string name = task + "/ai" + std::to_string(i);
    const std::string& keys = channel_keys[i];
    channels += (i == 0 ? "" : ", ") + name;
    sections += "\n[DAQmxChannel " + name + "]\n" + keys + "\n";
    if (!Mentions(keys, "ChanType")) sections += "ChanType = Analog Input\n";
    if (!Mentions(keys, "PhysicalChanName")) sections += "PhysicalChanName = Dev1/ai" + std::to_string(i) + "\n";
    if (!Mentions(keys, "AI.MeasType")) sections += "AI.MeasType = Voltage\n";
    if (!Mentions(keys, "AI.Max")) sections += "AI.Max = 10\nAI.Min = -10\n";
  }
  std::string text = "[DAQmx]\nMajorVersion = 21\nMinorVersion = 3\n\n[DAQmxTask " + task +
                     "]\nChannels = " + channels + "\n" + task_keys + "\n";
  if (!Mentions(task_keys, "SampQuant.SampMode")) text += "SampQuant.SampMode = Continuous Samples\n";
  if (!Mentions(task_keys, "SampClk.Rate")) text += "SampClk.Rate = 1000\n";
  if (!Mentions(task_keys, "SampTimingType")) text += "SampTimingType = Sample Clock\n";
  return text + sections + "\n[DAQmxDevice Dev1]\nProductType = PCIe-6363\nDevSerialNum = 0x0\nDevIsSimulated = 1\n";
}

void SimTest::SetUp() { ASSERT_TRUE(Api().Loaded()) << Api().LoadError(); }

}  // namespace simtest

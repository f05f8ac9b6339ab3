#include "tests/sim/sim_api.h"

#include <algorithm>

namespace simtest {

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
  testsupport::SimIni ini;
  ini.Task(task, task_keys);
  for (size_t i = 0; i < channel_keys.size(); ++i) {
    ini.Channel("ai" + std::to_string(i), "Dev1/ai" + std::to_string(i), channel_keys[i]);
  }
  return ini.Text();
}

void SimTest::SetUp() { ASSERT_TRUE(Api().Loaded()) << Api().LoadError(); }

}  // namespace simtest

#include "tests/sim/sim_api.h"

#include <algorithm>

namespace simtest {

const daqmx::Library& Api() { return *testsupport::SimLibrary(); }

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

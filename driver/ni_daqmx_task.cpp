#include "driver/ni_daqmx_task.h"

#include <algorithm>

#include "driver/engine.h"
#include "driver/help_file.h"
#include "driver/state.h"
#include "platform/system.h"

namespace driver {
namespace {

std::atomic<SetupDialog> g_setup_dialog{nullptr};
std::int16_t NoChoice(const std::vector<daqmx::TaskListEntry>&) { return -1; }

std::atomic<PlatformChooser> g_platform_chooser{NoChoice};

std::string InstanceNameOf(std::string class_name) {
  std::replace(class_name.begin(), class_name.end(), '_', '-');
  return class_name;
}

// What the setup window shows, read from the state once as it opens.
SetupView SetupViewOf(const DriverState& state) {
  SetupView view{state.mInstanceName, state.mDAQmxMajor, state.mDAQmxMinor, state.model.mTaskName, {}, {},
                 state.mHelpFile};
  const auto& model = state.model;
  for (size_t i = 0; i < static_cast<size_t>(std::max<std::int16_t>(model.mChannelsCount, 0)); ++i) {
    const daqmx::ChannelInfo info = i < model.mChannelInfo.size() ? model.mChannelInfo[i] : daqmx::ChannelInfo{};
    view.channels.push_back({i < model.mChannelNames.size() ? model.mChannelNames[i] : "", info.RangeText,
                             info.PhysicalChannel});
  }
  for (int i = 0; state.mTask && i < state.mTask->DeviceCount(); ++i) {
    view.devices.push_back(
        {state.mTask->DeviceName(i), state.mTask->DeviceProductType(i), state.mTask->DeviceSerialNumber(i)});
  }
  return view;
}

}  // namespace

void SetSetupDialog(SetupDialog dialog) { g_setup_dialog.store(dialog); }
void SetPlatformChooser(PlatformChooser chooser) { g_platform_chooser.store(chooser); }

NI_DAQmx_Task::NI_DAQmx_Task() : state_(ThisThreadState()) {
  DriverState& s = *state_;
  s.mInstanceName = InstanceNameOf("NI_DAQmx_Task");
  s.model.mADCName = s.mInstanceName;
  settings::RunSettingsStep(s.settings, s.mInstanceName, s.mInstanceName);
  // The first object of the thread makes the task wrapper; later ones share
  // it, with its loaded task and any acquisition running on it.
  if (s.mObjects.fetch_add(1) == 0) {
    s.mTask = std::make_shared<daqmx::cNITask>();
    s.mDAQmxMajor = s.mTask->DAQmxMajorVersion();
    s.mDAQmxMinor = s.mTask->DAQmxMinorVersion();
  }
  s.mHelpFile = FindHelpFile(platform::FolderOf(platform::ThisModulePath()));
}

// The last object of the thread stops the acquisition, waits for the worker
// and releases the wrapper; the state goes with this object's reference.
NI_DAQmx_Task::~NI_DAQmx_Task() {
  DriverState& s = *state_;
  if (s.mObjects.fetch_sub(1) != 1) return;
  StopAndJoin(s);
  s.mTask.reset();
}

std::string NI_DAQmx_Task::ADCName() const { return state_->model.mADCName; }
std::uint8_t NI_DAQmx_Task::Resolution() const { return state_->model.mResolution; }
std::int16_t NI_DAQmx_Task::ChannelsCount() const { return state_->model.mChannelsCount; }
float NI_DAQmx_Task::RateMax() const { return state_->model.RateMax; }
std::vector<std::string> NI_DAQmx_Task::Ranges() const { return state_->model.mRanges; }
bool NI_DAQmx_Task::Detected() const { return state_->model.mDetected; }

bool NI_DAQmx_Task::Test() {
  DriverState& s = *state_;
  if (s.model.mDetected) return true;
  s.mBasePort = 0;
  if (s.mTask) {
    if (!s.chooser) s.chooser = ChooseByDefault;
    s.mBasePort = daqmx::ProbeTask(*s.mTask, s.model, s.mInstanceName, s.chooser);
  }
  if (s.mBasePort != 0) s.model.mDetected = true;
  return s.model.mDetected;
}

std::int16_t NI_DAQmx_Task::BasePort() const { return state_->mBasePort; }
bool NI_DAQmx_Task::Busy() const { return state_->mBusy.load(); }

const daqmx::ChannelInfo* NI_DAQmx_Task::Channel(std::int16_t index) const {
  const auto& model = state_->model;
  if (index < 0 || index >= model.mChannelsCount || static_cast<size_t>(index) >= model.mChannelInfo.size()) {
    return nullptr;
  }
  return &model.mChannelInfo[static_cast<size_t>(index)];
}

std::string NI_DAQmx_Task::ChannelName(std::int16_t index) const {
  return Channel(index) != nullptr ? state_->model.mChannelNames[static_cast<size_t>(index)] : std::string();
}

std::int16_t NI_DAQmx_Task::ChannelRange(std::int16_t index) const {
  return Channel(index) != nullptr ? state_->model.mChannelRange[static_cast<size_t>(index)] : std::int16_t{0};
}

void NI_DAQmx_Task::SetChannelRange(std::int16_t, std::int16_t) {}

float NI_DAQmx_Task::ChannelUnitScale(std::int16_t index) const {
  const auto* channel = Channel(index);
  return channel != nullptr ? static_cast<float>(channel->Scale) : 0.0f;
}

float NI_DAQmx_Task::ChannelUnitOffset(std::int16_t index) const {
  const auto* channel = Channel(index);
  return channel != nullptr ? static_cast<float>(channel->Offset) : 0.0f;
}

std::string NI_DAQmx_Task::ChannelUnitName(std::int16_t index) const {
  const auto* channel = Channel(index);
  return channel != nullptr ? channel->Units : std::string();
}

float NI_DAQmx_Task::Rate() const { return state_->model.Rate; }
void NI_DAQmx_Task::SetRate(float) {}

void NI_DAQmx_Task::SetInputSizeData(std::int32_t new_size) {
  state_->model.InputSizeRequest = new_size;
  SizeBuffer(*state_);  // the ring itself is allocated at the next start
}

std::int32_t NI_DAQmx_Task::InputSizeData() const { return state_->mInput.InputSizeData; }

std::int32_t NI_DAQmx_Task::InputCountData() const {
  return InputCountKadrs() * state_->model.InputCountChannels;
}

std::int32_t NI_DAQmx_Task::InputSizeKadrs() const { return state_->mInput.InputSizeKadrs; }

std::int32_t NI_DAQmx_Task::InputCountKadrs() const {
  return state_->mInput.InputCountKadrs.load(std::memory_order_relaxed);
}

std::int16_t NI_DAQmx_Task::InputCountChannels() const { return state_->model.InputCountChannels; }
std::vector<std::int16_t> NI_DAQmx_Task::InputChannels() const { return state_->model.InputChannels; }
void NI_DAQmx_Task::SetInputChannels(const std::vector<std::int16_t>&) {}

std::int16_t NI_DAQmx_Task::GetChannel(std::int16_t index) {
  DriverState& s = *state_;
  double value = 0;
  if (!s.mTask || !s.mTask->ReadChannelValue(index, value)) return 0;
  const auto* channel = Channel(index);
  if (channel == nullptr) return 0;  // the task changed since the probe
  return ConvertSample(value, channel->Offset, channel->Scale);
}

std::vector<std::int16_t> NI_DAQmx_Task::GetKadr() { return {}; }

bool NI_DAQmx_Task::StartRecord() {
  DriverState& s = *state_;
  if (s.mBusy.load() || !s.model.mDetected) return false;
  s.mLastError.clear();
  return StartAcquisition(state_);
}

void NI_DAQmx_Task::StopRecord() { driver::StopRecord(*state_); }

CodeTable NI_DAQmx_Task::InputData() {
  DriverState& s = *state_;
  CodeTable table;
  table.rows = s.model.InputCountChannels;
  // Before the first start there is no ring of this shape, and nothing to deliver.
  const std::int32_t waiting = s.ring.Channels() == table.rows ? s.ring.Waiting() : 0;
  table.columns = waiting + 1;
  table.codes.assign(static_cast<size_t>(std::max(table.rows, 0)) * static_cast<size_t>(table.columns), 0);
  const auto& channels = s.model.InputChannels;
  std::copy_n(channels.begin(), std::min(channels.size(), static_cast<size_t>(std::max(table.rows, 0))),
              table.codes.begin());
  if (waiting == 0) return table;
  static_cast<void>(s.ring.Take(table.codes.data() + table.rows, waiting));  // all of them: only this side takes
  s.mInput.InputCountKadrs.store(0, std::memory_order_relaxed);
  WakeWorker(s);
  return table;
}

std::int32_t NI_DAQmx_Task::GetData(std::int16_t* data, std::int32_t& data_size, std::int32_t& input_count_data) {
  DriverState& s = *state_;
  const std::int32_t channels = s.ring.Channels();
  std::int32_t delivered = 0;
  if (channels > 0 && data != nullptr && data_size >= channels) {
    delivered = s.ring.Take(data, data_size / channels);
    if (delivered > 0) WakeWorker(s);
  }
  data_size = delivered * channels;
  input_count_data = CountWaiting(s) * channels;
  return delivered;
}

std::string NI_DAQmx_Task::LastError() const { return state_->mLastError; }

bool NI_DAQmx_Task::ShowSetting() {
  const SetupDialog dialog = g_setup_dialog.load();
  if (!state_->mBusy.load() && dialog != nullptr) dialog(SetupViewOf(*state_));
  return false;
}

void NI_DAQmx_Task::SetTaskChooser(daqmx::TaskChooser chooser) { state_->chooser = std::move(chooser); }

std::int16_t ChooseByDefault(const std::vector<daqmx::TaskListEntry>& entries) {
  if (const auto wanted = platform::GetEnv("NIADC_TASK"); wanted && !wanted->empty()) {
    for (size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].EntryName == *wanted) return static_cast<std::int16_t>(i);
    }
  }
  return g_platform_chooser.load()(entries);
}

}  // namespace driver

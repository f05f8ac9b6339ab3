#include "daqmx/probe.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "platform/system.h"

namespace daqmx {
namespace {

const char* const kPlusMinus = "\xC2\xB1";  // U+00B1

// The chosen task names the device until the probe finds a better name.
void Select(TaskModel& model, const TaskListEntry& entry) {
  model.mTaskName = entry.EntryName;
  model.mTaskIndex = entry.TaskIndex;
  model.mDeviceName = model.mADCName = model.mTaskName;
}

bool SelectTask(cNITask& task, TaskModel& model, const TaskChooser& choose) {
  model.mTaskList.clear();
  const int32 n = task.RefreshTaskList();
  for (int32 i = 0; i < n; ++i) {
    if (!task.LoadTask(i)) continue;  // a task that will not load is skipped silently
    if (task.ChannelType(0) == val::kAI) {
      model.mTaskList.push_back({task.TaskName(), std::to_string(task.ChannelCount()) + " AI", task.DeviceList(),
                                 static_cast<std::int16_t>(i)});
      if (task.TaskCount() == 1) {  // the only saved task: keep it loaded
        Select(model, model.mTaskList.front());
        return true;
      }
    }
    task.UnloadTask();
  }
  if (model.mTaskList.empty()) return false;
  const std::int16_t chosen = model.mTaskList.size() == 1 ? std::int16_t{0} : choose(model.mTaskList);
  if (chosen < 0 || static_cast<size_t>(chosen) >= model.mTaskList.size()) return false;
  const TaskListEntry& entry = model.mTaskList[static_cast<size_t>(chosen)];
  if (!task.LoadTask(entry.TaskIndex)) return false;
  Select(model, entry);
  return true;
}

// The smallest power of two from 65536 up that is not below the maximum
// rate, at most 2^24: one second of the fastest single channel.
std::int32_t DefaultRingRequest(float rate_max) {
  std::int32_t request = 65536;
  while (rate_max > static_cast<float>(request) && request < 16777216) request *= 2;
  return request;
}

bool BuildModel(cNITask& task, TaskModel& model) {
  model.mResolution = 16;
  model.RateMax = static_cast<float>(task.SampClkMaxRate());
  if (!(model.RateMax > 0)) model.RateMax = 1000000.0f;
  model.Rate = static_cast<float>(task.SampClkRate());
  if (model.Rate == 0) model.Rate = 100.0f;
  if (!std::isfinite(model.Rate)) model.Rate = model.RateMax;  // never loop on an infinite rate
  while (model.Rate > model.RateMax) model.Rate /= 10;
  model.InputSizeRequest = DefaultRingRequest(model.RateMax);
  if (task.DeviceCount() == 1) {
    model.mDeviceName = task.DeviceProductType(0);
    model.mADCName = model.mDeviceName;
  }
  return BuildChannels(task, model) > 0;
}

ChannelInfo DescribeChannel(cNITask& task, int32 i) {
  ChannelInfo info;
  info.PhysicalChannel = task.PhysicalChannelName(i);
  info.Units = task.ChannelUnits(i);
  info.AIMax = task.ChannelMax(i);
  info.AIMin = task.ChannelMin(i);
  if (info.AIMax == info.AIMin) {  // no usable range: assume ±10, or ± the one limit
    if (info.AIMax == 0) info.AIMax = 10;
    info.AIMin = -info.AIMax;
  }
  if (-info.AIMin == info.AIMax) {
    info.RangeText = kPlusMinus + FormatLimit(info.AIMax) + " " + info.Units;
    info.Scale = 32000 / info.AIMax;
    info.Offset = 0;
  } else {
    info.RangeText = FormatLimit(info.AIMin) + "..." + FormatLimit(info.AIMax) + " " + info.Units;
    info.Offset = (info.AIMin + info.AIMax) / 2;
    info.Scale = 32000 / std::fabs(info.AIMax - info.Offset);
  }
  return info;
}

// Distinct range texts in order of their first channel.
std::int16_t RangeIndex(std::vector<std::string>& ranges, const std::string& text) {
  for (size_t j = 0; j < ranges.size(); ++j) {
    if (ranges[j] == text) return static_cast<std::int16_t>(j);
  }
  ranges.push_back(text);
  return static_cast<std::int16_t>(ranges.size() - 1);
}

}  // namespace

std::int16_t ProbeTask(cNITask& task, TaskModel& model, const std::string& instance_name,
                       const TaskChooser& choose) {
  model.mDetected = false;
  model.mADCName = instance_name;
  model.mDeviceName.clear();
  if (SelectTask(task, model, choose) && BuildModel(task, model)) {
    return static_cast<std::int16_t>(model.mTaskIndex + 1);
  }
  model.mDetected = false;
  return 0;
}

std::int32_t BuildChannels(cNITask& task, TaskModel& model) {
  const int32 n = task.ReadTaskChannels();
  model.mChannelsCount = static_cast<std::int16_t>(n);
  if (n < 1) return n;
  model.mChannelInfo.assign(static_cast<size_t>(n), ChannelInfo());
  model.mChannelRange.assign(static_cast<size_t>(n), 0);
  model.mChannelNames.assign(static_cast<size_t>(n), std::string());
  model.mRanges.clear();
  for (int32 i = 0; i < n; ++i) {
    const auto at = static_cast<size_t>(i);
    model.mChannelNames[at] = task.TaskChannelName(i);
    model.mChannelInfo[at] = DescribeChannel(task, i);
    model.mChannelRange[at] = RangeIndex(model.mRanges, model.mChannelInfo[at].RangeText);
  }
  model.InputCountChannels = model.mChannelsCount;
  model.InputChannels.resize(static_cast<size_t>(n));
  for (int32 k = 0; k < n; ++k) model.InputChannels[static_cast<size_t>(k)] = static_cast<std::int16_t>(k);
  return model.mChannelsCount;
}

std::string FormatLimit(double value) {
  // to_chars ignores the C locale a host may have set; -0 is written as 0.
  char text[40];
  const auto end = std::to_chars(text, text + sizeof text, value == 0 ? 0.0 : value, std::chars_format::general, 15).ptr;
  std::string result(text, end);
  std::transform(result.begin(), result.end(), result.begin(), [](char c) { return c == 'e' ? 'E' : c; });
  const auto point = result.find('.');
  if (point != std::string::npos) result.replace(point, 1, platform::DecimalSeparator());
  return result;
}

}  // namespace daqmx

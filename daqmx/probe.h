// The probe: turns one saved NI-DAQmx task into the host's model of an
// acquisition device (name, rates, ring-size request, channels, ranges).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "daqmx/ni_task.h"

namespace daqmx {

struct ChannelInfo {
  double AIMax = 0;  // range limits in the channel's units, after the degenerate-range rule
  double AIMin = 0;
  double Scale = 0;   // host codes per unit: the range maps to -32000..+32000
  double Offset = 0;  // centre of the range in units
  std::string PhysicalChannel;
  std::string Units;
  std::string RangeText;  // "±10 V", "0...5 V"
};

// A saved task whose first channel is analog input.
struct TaskListEntry {
  std::string EntryName;
  std::string ChannelSummary;  // "4 AI"
  std::string DeviceText;
  std::int16_t TaskIndex = 0;
};

// Chooses among several candidates: the index of the chosen entry, or -1.
using TaskChooser = std::function<std::int16_t(const std::vector<TaskListEntry>&)>;

// Everything the probe writes into the driver state.
struct TaskModel {
  bool mDetected = false;
  std::string mADCName;
  std::string mDeviceName;
  std::string mTaskName;
  std::int32_t mTaskIndex = 0;
  std::uint8_t mResolution = 0;
  std::vector<TaskListEntry> mTaskList;
  std::int16_t mChannelsCount = 0;
  std::vector<std::string> mChannelNames;
  std::vector<ChannelInfo> mChannelInfo;
  std::vector<std::string> mRanges;
  std::vector<std::int16_t> mChannelRange;
  // The probe's part of the input record.
  std::int16_t InputCountChannels = 0;
  std::vector<std::int16_t> InputChannels;
  float RateMax = 0;
  float Rate = 0;
  std::int32_t InputSizeRequest = 0;
};

// Scans, lets `choose` pick when several tasks qualify, loads the chosen task
// and fills the model. Returns the task's index + 1, or 0 when no usable task
// was found.
std::int16_t ProbeTask(cNITask& task, TaskModel& model, const std::string& instance_name,
                       const TaskChooser& choose);

// Rebuilds the channel part of the model from the loaded task; returns the
// channel count (the model is left alone when it is below 1).
std::int32_t BuildChannels(cNITask& task, TaskModel& model);

// A limit as the user's locale writes numbers: up to 15 significant digits,
// no trailing zeros, the user's decimal separator (whatever the process's C
// locale), 0 for -0.
std::string FormatLimit(double value);

}  // namespace daqmx

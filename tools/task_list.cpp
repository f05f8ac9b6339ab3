#include "tools/task_list.h"

#include <string>

#include "daqmx/ni_task.h"

namespace tools {
namespace {

const char* ChannelKind(daqmx::int32 type) {
  switch (type) {
    case daqmx::val::kAI:
      return "analog input";
    case daqmx::val::kAO:
      return "analog output";
    case daqmx::val::kDI:
      return "digital input";
    case daqmx::val::kDO:
      return "digital output";
    case daqmx::val::kCI:
      return "counter input";
    case daqmx::val::kCO:
      return "counter output";
    default:
      return "other";
  }
}

void PrintTask(std::FILE* out, daqmx::cNITask& task, daqmx::int32 index) {
  if (!task.LoadTask(index)) {
    std::fprintf(out, "%s: cannot be loaded: %s\n", task.TaskNameAt(index).c_str(), task.StatusText().c_str());
    return;
  }
  std::fprintf(out, "%s\n", task.TaskName().c_str());
  for (daqmx::int32 c = 0; c < task.ChannelCount(); ++c) {
    std::fprintf(out, "  channel %-14s %-12s %-15s %g to %g %s\n", task.TaskChannelName(c).c_str(),
                 task.PhysicalChannelName(c).c_str(), ChannelKind(task.ChannelType(c)), task.ChannelMin(c),
                 task.ChannelMax(c), task.ChannelUnits(c).c_str());
  }
  for (daqmx::int32 d = 0; d < task.DeviceCount(); ++d) {
    std::fprintf(out, "  device  %-14s %-12s serial %s\n", task.DeviceName(d).c_str(),
                 task.DeviceProductType(d).c_str(), task.DeviceSerialNumber(d).c_str());
  }
}

}  // namespace

bool PrintSavedTasks(std::FILE* out) {
  daqmx::cNITask task;
  if (task.Status() < 0 && task.TaskCount() == 0) {
    std::fprintf(stderr, "adc-record: %s\n", task.StatusText().c_str());
    return false;
  }
  std::fprintf(out, "NI-DAQmx %d.%d, %d saved tasks\n", task.DAQmxMajorVersion(), task.DAQmxMinorVersion(),
               task.TaskCount());
  for (daqmx::int32 i = 0; i < task.TaskCount(); ++i) PrintTask(out, task, i);
  return true;
}

TaskScan ScanCandidates() {
  daqmx::cNITask task;
  TaskScan scan;
  std::string last_failure;
  for (daqmx::int32 i = 0; i < task.TaskCount(); ++i) {
    if (!task.LoadTask(i)) {  // the driver skips such a task too
      last_failure = task.TaskNameAt(i) + ": " + task.StatusText();
      continue;
    }
    if (task.ChannelType(0) == daqmx::val::kAI) {
      scan.candidates.push_back({task.TaskName(), i, task.SampleTimingType() == daqmx::val::kOnDemand});
    }
    task.UnloadTask();
  }
  if (!scan.candidates.empty()) return scan;
  if (task.TaskCount() == 0 && task.Status() < 0) {
    scan.problem = task.StatusText();
  } else {
    scan.problem = "no saved task has an analog-input channel first";
    if (!last_failure.empty()) scan.problem += " (" + last_failure + ")";
  }
  return scan;
}

std::string CandidateNames(const std::vector<Candidate>& candidates) {
  std::string names;
  for (const auto& c : candidates) names += (names.empty() ? "" : ", ") + c.name;
  return names.empty() ? "none" : names;
}

}  // namespace tools

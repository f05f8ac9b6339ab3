// cNITask: the driver's only gateway to NI-DAQmx. It lists the saved tasks,
// loads one by index, answers questions about it, starts, reads and stops it,
// and turns NI-DAQmx status codes into text. Failures never throw: the status
// is recorded and the member returns its neutral value (false, 0, empty text).
//
// Errors in this layer: cNITask's last status is the boundary; the loader
// and the probe answer with a result and a reason in an out-parameter or the
// wrapper's status, and never throw.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "daqmx/api.h"
#include "daqmx/library.h"

namespace daqmx {

// The loaded task.
struct TaskInfo {
  int32 Index = 0;  // -1 once a task was unloaded, the loaded task's index otherwise
  std::string Name;
  int32 ChannelCount = 0;
  std::vector<std::string> Channels;
  std::string DeviceList;  // as NI-DAQmx returned it, without the terminating NUL
  int32 DeviceCount = 0;
  std::vector<std::string> Devices;
};

class cNITask {
 public:
  explicit cNITask(std::shared_ptr<const Library> library = Library::Default());
  ~cNITask();
  cNITask(const cNITask&) = delete;
  cNITask& operator=(const cNITask&) = delete;

  int32 DAQmxMajorVersion() const { return mMajorVersion; }
  int32 DAQmxMinorVersion() const { return mMinorVersion; }

  int32 RefreshTaskList();
  int32 TaskCount() const { return mTaskCount; }
  std::string TaskNameAt(int32 index) const;
  bool LoadTask(int32 index);
  void UnloadTask();
  int32 ReadTaskChannels();
  int32 ReadTaskDevices();
  TaskHandle Handle() const { return mHandle.load(std::memory_order_relaxed); }
  const std::string& TaskName() const { return mInfo.Name; }
  const TaskInfo& Info() const { return mInfo; }

  float64 SampClkRate();
  float64 SampClkMaxRate();
  int32 SampleMode();
  int32 SamplesPerChannel();
  int32 SampleTimingType();

  const std::string& DeviceList() const { return mInfo.DeviceList; }
  int32 DeviceCount() const { return mInfo.DeviceCount; }
  std::string DeviceName(int32 index) const;
  std::string DeviceProductType(int32 index);
  std::string DeviceSerialNumber(int32 index);
  bool DeviceHasAIChannels(int32 index);

  int32 ChannelCount() const { return mInfo.ChannelCount; }
  std::string TaskChannelName(int32 index) const;
  std::string PhysicalChannelName(int32 index);
  int32 ChannelType(int32 index);
  int32 ChannelMeasType(int32 index);
  std::string ChannelUnits(int32 index);
  float64 ChannelMax(int32 index);
  float64 ChannelMin(int32 index);

  bool StartTask();
  void StopTask();
  // Reads up to samps_per_chan frames, interleaved, straight into `data`.
  // Safe to call from the acquisition worker while the host thread queries.
  int32 ReadSamples(int32 samps_per_chan, float64 timeout, float64* data, int32 array_size);
  bool ReadChannelValue(int32 index, float64& value);

  // The last recorded NI-DAQmx status and its text ("" after success).
  int32 Status() const { return mStatus.load(std::memory_order_relaxed); }
  std::string StatusText() const;

  // The list parser and the unit table, public for the probe and for tests.
  static int32 SplitList(const std::string& text, std::vector<std::string>& list);
  static std::string UnitsOfMeasType(int32 meas_type);

 private:
  template <auto Function, typename... Args>
  int32 Call(Args... args) const;
  void Record(int32 status) { mStatus.store(status, std::memory_order_relaxed); }
  std::string ErrorText(int32 code) const;
  void ReleaseTask(std::atomic<TaskHandle>& handle);
  bool ValidChannel(int32 index) const { return index >= 0 && index < mInfo.ChannelCount; }
  bool ValidDevice(int32 index) const { return index >= 0 && index < mInfo.DeviceCount; }
  std::string ChannelArgument(int32 index) const;
  std::string DeviceArgument(int32 index) const;

  std::shared_ptr<const Library> mLibrary;
  int32 mMajorVersion = 0;
  int32 mMinorVersion = 0;
  int32 mTaskCount = 0;
  std::vector<std::string> mTaskNames;
  TaskInfo mInfo;
  std::atomic<int32> mStatus{0};
  int32 mSize = 0;
  std::atomic<TaskHandle> mHandle{nullptr};
};

}  // namespace daqmx

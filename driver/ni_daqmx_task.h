// The driver object: one member for each member of the host's IADC3
// interface, in the interface's order, so that the COM server only
// translates types. Members never throw and never fail the host: a failure
// gives the member's neutral result and, where there is a reason, the
// last-error text.
//
// Errors in this layer: the driver's LastError text is the boundary; inside,
// functions answer with a result (false, 0, empty) and write the reason into
// the state's mLastError. Nothing throws out of a member.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "daqmx/probe.h"

namespace driver {

struct DriverState;

// Codes as the host receives them from InputData: `rows` channels by
// `columns` frames, channel index fastest. Column 0 is the channel table;
// columns 1.. are the frames.
struct CodeTable {
  std::int32_t rows = 0;
  std::int32_t columns = 0;
  std::vector<std::int16_t> codes;
};

class NI_DAQmx_Task {
 public:
  NI_DAQmx_Task();
  ~NI_DAQmx_Task();
  NI_DAQmx_Task(const NI_DAQmx_Task&) = delete;
  NI_DAQmx_Task& operator=(const NI_DAQmx_Task&) = delete;

  std::string ADCName() const;
  std::uint8_t Resolution() const;
  std::int16_t ChannelsCount() const;
  float RateMax() const;
  std::vector<std::string> Ranges() const;
  bool Detected() const;
  bool Test();
  std::int16_t BasePort() const;
  bool Busy() const;
  std::string ChannelName(std::int16_t index) const;
  std::int16_t ChannelRange(std::int16_t index) const;
  void SetChannelRange(std::int16_t index, std::int16_t range_index);  // ignored: the task decides
  float ChannelUnitScale(std::int16_t index) const;
  float ChannelUnitOffset(std::int16_t index) const;
  std::string ChannelUnitName(std::int16_t index) const;
  float Rate() const;
  void SetRate(float rate);  // ignored: the task decides
  void SetInputSizeData(std::int32_t new_size);
  std::int32_t InputSizeData() const;
  std::int32_t InputCountData() const;
  std::int32_t InputSizeKadrs() const;
  std::int32_t InputCountKadrs() const;
  std::int16_t InputCountChannels() const;
  std::vector<std::int16_t> InputChannels() const;
  void SetInputChannels(const std::vector<std::int16_t>& table);  // ignored: every channel is acquired
  std::int16_t GetChannel(std::int16_t index);
  std::vector<std::int16_t> GetKadr();  // always empty
  bool StartRecord();
  void StopRecord();
  CodeTable InputData();
  // Copies whole waiting frames into the host's buffer of `data_size` codes;
  // `data_size` becomes the codes written, `input_count_data` the codes still
  // waiting. Returns the frames delivered.
  std::int32_t GetData(std::int16_t* data, std::int32_t& data_size, std::int32_t& input_count_data);
  std::string LastError() const;
  bool ShowSetting();

  // The chooser used when several saved tasks qualify (for every object of
  // this thread).
  void SetTaskChooser(daqmx::TaskChooser chooser);
  // The shared state, for the setup dialog and tests.
  const DriverState& State() const { return *state_; }

 private:
  const daqmx::ChannelInfo* Channel(std::int16_t index) const;

  std::shared_ptr<DriverState> state_;
};

// What the setup window shows: the driver and NI-DAQmx versions, the task,
// its channels and devices, and the help file ("" when there is none).
struct SetupView {
  struct Channel {
    std::string name;
    std::string range;
    std::string physical;
  };
  struct Device {
    std::string name;
    std::string product_type;
    std::string serial_number;
  };
  std::string instance_name;
  std::int32_t daqmx_major = 0;
  std::int32_t daqmx_minor = 0;
  std::string task_name;
  std::vector<Channel> channels;
  std::vector<Device> devices;
  std::string help_file;
};

// Shows the setup window (the user interface installs it; none off Windows).
using SetupDialog = void (*)(const SetupView& view);
void SetSetupDialog(SetupDialog dialog);

// How the user chooses among several saved tasks in this process: the task
// selection dialog on Windows, a console prompt in adc-record (each installs
// its own); by default no choice (-1).
using PlatformChooser = std::int16_t (*)(const std::vector<daqmx::TaskListEntry>& entries);
void SetPlatformChooser(PlatformChooser chooser);

// The chooser of a driver state that no host has given its own: the saved
// task named by the environment variable NIADC_TASK when it is a candidate
// (for unattended recording), otherwise the platform's chooser.
std::int16_t ChooseByDefault(const std::vector<daqmx::TaskListEntry>& entries);

}  // namespace driver

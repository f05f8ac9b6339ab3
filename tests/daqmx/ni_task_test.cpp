// The task wrapper against the simulated NI-DAQmx, loaded through the real
// loader: listing, loading, queries, neutral values, failures and reads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "daqmx/ni_task.h"
#include "tests/support/sim_env.h"

namespace {

using daqmx::cNITask;
using daqmx::int32;

const char* const kTwoTasks = R"(
[DAQmx]
MajorVersion = 21
MinorVersion = 3

[DAQmxTask Analog Task]
Channels = Analog Task/Voltage0, Analog Task/Temp1, Analog Task/Current2
SampQuant.SampMode = Continuous Samples
SampQuant.SampPerChan = 1000
SampClk.Rate = 2000
SampTimingType = Sample Clock

[DAQmxChannel Analog Task/Voltage0]
ChanType = Analog Input
PhysicalChanName = Dev1/ai0
AI.MeasType = Voltage
AI.Max = 10
AI.Min = -10
Sim.Signal = Constant
Sim.Value = 2.5

[DAQmxChannel Analog Task/Temp1]
ChanType = Analog Input
PhysicalChanName = Dev2/ai1
AI.MeasType = Temperature:Thermocouple
AI.Max = 100
AI.Min = 0
Sim.Signal = Constant
Sim.Value = 25

[DAQmxChannel Analog Task/Current2]
ChanType = Analog Input
PhysicalChanName = Dev1/ai2
AI.MeasType = Current
AI.Max = 0.02
AI.Min = -0.02

[DAQmxTask Finite]
Channels = Finite/ai0
SampQuant.SampMode = Finite Samples
SampQuant.SampPerChan = 5000000000
SampClk.Rate = 1000
SampTimingType = Sample Clock

[DAQmxChannel Finite/ai0]
ChanType = Analog Input
PhysicalChanName = Dev1/ai3
AI.MeasType = Voltage
AI.Max = 5
AI.Min = 0

[DAQmxTask Broken]
Channels = Broken/ai0
SampQuant.SampMode = Continuous Samples
SampClk.Rate = 1000
SampTimingType = Sample Clock
Sim.FailLoad = -200485

[DAQmxChannel Broken/ai0]
ChanType = Analog Input
PhysicalChanName = Dev1/ai0
AI.Max = 10
AI.Min = -10

[DAQmxTask Reserved]
Channels = Reserved/ai0
SampQuant.SampMode = Continuous Samples
SampClk.Rate = 1000
SampTimingType = Sample Clock
Sim.FailStart = -50103

[DAQmxChannel Reserved/ai0]
ChanType = Analog Input
PhysicalChanName = Dev1/ai0
AI.Max = 10
AI.Min = -10

[DAQmxDevice Dev1]
ProductType = PCIe-6363 (BNC)
DevSerialNum = 0xABC
DevIsSimulated = 1

[DAQmxDevice Dev2]
ProductType = NI 9205
DevSerialNum = 0xF
DevIsSimulated = 1
Sim.AIChannels = 0
)";

class WrapperTest : public ::testing::Test {
 protected:
  testsupport::SimConfigFile config_{kTwoTasks};
  cNITask task_{testsupport::SimLibrary()};

  int32 IndexOf(const std::string& name) {
    for (int32 i = 0; i < task_.TaskCount(); ++i) {
      if (task_.TaskNameAt(i) == name) return i;
    }
    return -1;
  }
  void Load(const std::string& name) { ASSERT_TRUE(task_.LoadTask(IndexOf(name))) << task_.StatusText(); }
};

TEST_F(WrapperTest, ConstructionReadsVersionAndTaskList) {
  EXPECT_GT(task_.DAQmxMajorVersion(), 0);
  EXPECT_EQ(task_.TaskCount(), 4);
  EXPECT_EQ(task_.TaskNameAt(0), "Analog Task");
  EXPECT_EQ(task_.TaskNameAt(3), "Reserved");
  EXPECT_EQ(task_.TaskNameAt(4), "");
  EXPECT_EQ(task_.TaskNameAt(-1), "");
  EXPECT_EQ(task_.Handle(), nullptr);
}

TEST_F(WrapperTest, LoadFillsTaskInfo) {
  Load("Analog Task");
  EXPECT_NE(task_.Handle(), nullptr);
  EXPECT_EQ(task_.TaskName(), "Analog Task");
  EXPECT_EQ(task_.Info().Index, 0);
  EXPECT_EQ(task_.ChannelCount(), 3);
  EXPECT_EQ(task_.TaskChannelName(0), "Voltage0");
  EXPECT_EQ(task_.TaskChannelName(2), "Current2");
  EXPECT_EQ(task_.DeviceCount(), 2);
  EXPECT_EQ(task_.DeviceList(), "Dev1, Dev2");
  EXPECT_EQ(task_.DeviceName(1), "Dev2");
  EXPECT_EQ(task_.StatusText(), "");
}

TEST_F(WrapperTest, ChannelQueries) {
  Load("Analog Task");
  EXPECT_EQ(task_.PhysicalChannelName(1), "Dev2/ai1");
  EXPECT_EQ(task_.ChannelType(0), daqmx::val::kAI);
  EXPECT_EQ(task_.ChannelMeasType(1), daqmx::val::kTempTC);
  EXPECT_EQ(task_.ChannelUnits(0), "V");
  EXPECT_EQ(task_.ChannelUnits(1), "\xC2\xB0"
                                   "C");
  EXPECT_EQ(task_.ChannelUnits(2), "V");  // current channels show volts, as the host always did
  EXPECT_EQ(task_.ChannelMax(1), 100.0);
  EXPECT_EQ(task_.ChannelMin(0), -10.0);
}

TEST_F(WrapperTest, TimingQueries) {
  Load("Analog Task");
  EXPECT_EQ(task_.SampClkRate(), 2000.0);
  EXPECT_GT(task_.SampClkMaxRate(), 0.0);
  EXPECT_EQ(task_.SampleMode(), daqmx::val::kContSamps);
  EXPECT_EQ(task_.SampleTimingType(), daqmx::val::kSampClk);
  Load("Finite");
  EXPECT_EQ(task_.SampleMode(), daqmx::val::kFiniteSamps);
  // Five billion samples do not fit 32 bits: saturate, never wrap.
  EXPECT_EQ(task_.SamplesPerChannel(), 0x7FFFFFFF);
}

TEST_F(WrapperTest, IndexesOutsideTheirListsGiveNeutralValues) {
  Load("Analog Task");
  for (int32 bad : {-1, 3, 1000}) {
    EXPECT_EQ(task_.TaskChannelName(bad), "");
    EXPECT_EQ(task_.PhysicalChannelName(bad), "");
    EXPECT_EQ(task_.ChannelType(bad), 0);
    EXPECT_EQ(task_.ChannelMeasType(bad), 0);
    EXPECT_EQ(task_.ChannelUnits(bad), "V");
    EXPECT_EQ(task_.ChannelMax(bad), 0.0);
    EXPECT_EQ(task_.ChannelMin(bad), 0.0);
    double value = 42;
    EXPECT_FALSE(task_.ReadChannelValue(bad, value));
    EXPECT_EQ(value, 42);
  }
  for (int32 bad : {-1, 2}) {
    EXPECT_EQ(task_.DeviceName(bad), "");
    EXPECT_EQ(task_.DeviceProductType(bad), "");
    EXPECT_EQ(task_.DeviceSerialNumber(bad), "0");
    EXPECT_FALSE(task_.DeviceHasAIChannels(bad));
  }
  EXPECT_FALSE(task_.LoadTask(4));
  EXPECT_FALSE(task_.LoadTask(-1));
  EXPECT_EQ(task_.Handle(), nullptr);
}

TEST_F(WrapperTest, DeviceDescriptions) {
  Load("Analog Task");
  // The suffix after a blank past the fourth character is dropped; an early blank stays.
  EXPECT_EQ(task_.DeviceProductType(0), "PCIe-6363");
  EXPECT_EQ(task_.DeviceProductType(1), "NI 9205");
  EXPECT_EQ(task_.DeviceSerialNumber(0), "ABC");
  EXPECT_EQ(task_.DeviceSerialNumber(1), "00F");
  EXPECT_TRUE(task_.DeviceHasAIChannels(0));
  EXPECT_FALSE(task_.DeviceHasAIChannels(1));
}

TEST_F(WrapperTest, SerialNumberOfADeviceWithoutOneIsZero) {
  testsupport::SimConfigFile config(R"(
[DAQmxTask Serial]
Channels = Serial/ai0
SampClk.Rate = 100
[DAQmxChannel Serial/ai0]
ChanType = Analog Input
PhysicalChanName = Dev7/ai0
[DAQmxDevice Dev7]
ProductType = USB-6001
DevSerialNum = 0x0
)");
  cNITask task(testsupport::SimLibrary());
  ASSERT_TRUE(task.LoadTask(0)) << task.StatusText();
  EXPECT_EQ(task.DeviceSerialNumber(0), "0");
  EXPECT_EQ(task.DeviceProductType(0), "USB-6001");
}

TEST_F(WrapperTest, FailingLoadLeavesNoTaskAndExplains) {
  Load("Analog Task");
  EXPECT_FALSE(task_.LoadTask(IndexOf("Broken")));
  EXPECT_EQ(task_.Handle(), nullptr);
  EXPECT_EQ(task_.Info().Index, -1);
  EXPECT_EQ(task_.TaskName(), "");
  EXPECT_EQ(task_.ChannelCount(), 0);
  EXPECT_EQ(task_.Status(), -200485);
  EXPECT_FALSE(task_.StatusText().empty());
}

TEST_F(WrapperTest, LoadingAnotherTaskReleasesTheFirst) {
  Load("Analog Task");
  ASSERT_TRUE(task_.StartTask()) << task_.StatusText();
  const auto first = task_.Handle();
  Load("Finite");
  EXPECT_NE(task_.Handle(), first);
  // The first handle was cleared in NI-DAQmx: using it is an invalid-task error.
  const auto library = testsupport::SimLibrary();
  EXPECT_EQ(library->DAQmxStartTask(first), daqmx::status::kInvalidTask);
}

TEST_F(WrapperTest, FailingStartKeepsTheStartErrorNotTheCleanUpStop) {
  Load("Reserved");
  EXPECT_FALSE(task_.StartTask());
  EXPECT_EQ(task_.Status(), daqmx::status::kResourceReserved);
  EXPECT_FALSE(task_.StatusText().empty());
}

TEST_F(WrapperTest, ReadSamplesInterleavesFramesIntoTheCallersArray) {
  Load("Analog Task");
  ASSERT_TRUE(task_.StartTask()) << task_.StatusText();
  std::vector<double> block(3 * 20, -1.0);
  int32 total = 0;
  for (int attempt = 0; attempt < 10 && total == 0; ++attempt) {
    total = task_.ReadSamples(20, 1.0, block.data(), static_cast<int32>(block.size()));
  }
  ASSERT_EQ(total, 20) << task_.StatusText();
  for (int frame = 0; frame < 20; ++frame) {
    EXPECT_DOUBLE_EQ(block[frame * 3 + 0], 2.5);
    EXPECT_DOUBLE_EQ(block[frame * 3 + 1], 25.0);
  }
  task_.StopTask();
  EXPECT_EQ(task_.StatusText(), "");
}

TEST_F(WrapperTest, ReadWithoutTaskChangesNothing) {
  Load("Reserved");
  task_.StartTask();  // leaves a recorded error
  const int32 before = task_.Status();
  task_.UnloadTask();
  const int32 after_unload = task_.Status();
  double block[2] = {};
  EXPECT_EQ(task_.ReadSamples(1, 0.01, block, 2), 0);
  EXPECT_EQ(task_.Status(), after_unload);
  EXPECT_NE(before, 0);
}

TEST_F(WrapperTest, ShortReadReturnsWhatArrivedWithTheTimeoutStatus) {
  Load("Analog Task");
  ASSERT_TRUE(task_.StartTask());
  // 2000 frames per second: 100000 frames cannot arrive in 20 ms.
  std::vector<double> block(3 * 100000);
  const int32 read = task_.ReadSamples(100000, 0.02, block.data(), static_cast<int32>(block.size()));
  EXPECT_LT(read, 100000);
  EXPECT_EQ(task_.Status(), daqmx::status::kSamplesNotYetAvailable);
  EXPECT_FALSE(task_.StatusText().empty());
}

TEST_F(WrapperTest, ReadChannelValueReadsOneFrameAndStops) {
  Load("Analog Task");
  double value = 0;
  ASSERT_TRUE(task_.ReadChannelValue(1, value)) << task_.StatusText();
  EXPECT_DOUBLE_EQ(value, 25.0);
  ASSERT_TRUE(task_.ReadChannelValue(0, value));
  EXPECT_DOUBLE_EQ(value, 2.5);
  EXPECT_EQ(task_.Status(), 0);  // the stop's status replaced the read's
}

TEST_F(WrapperTest, DeviceAIChannelQueryRecordsNoStatus) {
  Load("Reserved");
  task_.StartTask();
  const int32 failed = task_.Status();
  task_.DeviceHasAIChannels(0);
  EXPECT_EQ(task_.Status(), failed);
}

TEST(WrapperEmptyConfiguration, NoSavedTasks) {
  testsupport::SimConfigFile config("[DAQmx]\nMajorVersion = 21\nMinorVersion = 3\n");
  cNITask task(testsupport::SimLibrary());
  EXPECT_EQ(task.RefreshTaskList(), 0);
  EXPECT_EQ(task.TaskCount(), 0);
  EXPECT_EQ(task.TaskNameAt(0), "");
  EXPECT_FALSE(task.LoadTask(0));
}

TEST(WrapperBuiltIn, ListsTheBuiltInTasksWithChannelsAndDevices) {
  testsupport::ScopedEnv no_config("NIDAQMX_SIM_CONFIG", std::nullopt);
  cNITask task(testsupport::SimLibrary());
  ASSERT_GE(task.TaskCount(), 5);
  int analog_first = 0;
  for (int32 i = 0; i < task.TaskCount(); ++i) {
    ASSERT_TRUE(task.LoadTask(i)) << task.TaskNameAt(i) << ": " << task.StatusText();
    EXPECT_GE(task.ChannelCount(), 1);
    EXPECT_GE(task.DeviceCount(), 1);
    if (task.ChannelType(0) == daqmx::val::kAI) ++analog_first;
  }
  EXPECT_EQ(analog_first, task.TaskCount() - 1);
}

TEST(SplitList, NamesAreTrimmedAndEmptyPartsKept) {
  std::vector<std::string> list{"old"};
  EXPECT_EQ(cNITask::SplitList("Task A, Task B", list), 2);
  EXPECT_EQ(list, (std::vector<std::string>{"Task A", "Task B"}));
  EXPECT_EQ(cNITask::SplitList("  Task A  ", list), 1);
  EXPECT_EQ(list, (std::vector<std::string>{"Task A"}));
  EXPECT_EQ(cNITask::SplitList("A,B,", list), 3);
  EXPECT_EQ(list, (std::vector<std::string>{"A", "B", ""}));
  EXPECT_EQ(cNITask::SplitList(std::string("X, Y\0, Z", 8), list), 2);
  EXPECT_EQ(list, (std::vector<std::string>{"X", "Y"}));
}

TEST(SplitList, EmptyTextLeavesTheListAlone) {
  std::vector<std::string> list{"kept"};
  EXPECT_EQ(cNITask::SplitList("   ", list), 0);
  EXPECT_EQ(cNITask::SplitList(std::string("\0abc", 4), list), 0);
  EXPECT_EQ(list, (std::vector<std::string>{"kept"}));
}

TEST(UnitsOfMeasType, MapsTheTableAndDefaultsToVolts) {
  const std::string degrees = "\xC2\xB0"
                              "C";
  EXPECT_EQ(cNITask::UnitsOfMeasType(daqmx::val::kVoltage), "V");
  EXPECT_EQ(cNITask::UnitsOfMeasType(daqmx::val::kCurrent), "V");
  EXPECT_EQ(cNITask::UnitsOfMeasType(daqmx::val::kCurrentRMS), "V");
  EXPECT_EQ(cNITask::UnitsOfMeasType(daqmx::val::kFreqVoltage), "Hz");
  EXPECT_EQ(cNITask::UnitsOfMeasType(daqmx::val::kResistance), "Ohm");
  EXPECT_EQ(cNITask::UnitsOfMeasType(daqmx::val::kTempRTD), degrees);
  EXPECT_EQ(cNITask::UnitsOfMeasType(daqmx::val::kTempThrmstr), degrees);
  EXPECT_EQ(cNITask::UnitsOfMeasType(daqmx::val::kTempTC), degrees);
  EXPECT_EQ(cNITask::UnitsOfMeasType(daqmx::val::kTempBuiltInSensor), degrees);
  EXPECT_EQ(cNITask::UnitsOfMeasType(daqmx::val::kSoundPressureMicrophone), "Pa");
  EXPECT_EQ(cNITask::UnitsOfMeasType(daqmx::val::kAccelerometer), "g");
  EXPECT_EQ(cNITask::UnitsOfMeasType(daqmx::val::kStrainGage), "V");
  EXPECT_EQ(cNITask::UnitsOfMeasType(0), "V");
}

}  // namespace

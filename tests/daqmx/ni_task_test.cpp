// The task wrapper against the simulated NI-DAQmx, loaded through the real
// loader: listing, loading, queries, neutral values, failures and reads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "daqmx/ni_task.h"
#include "tests/support/sim_config.h"
#include "tests/support/sim_env.h"

namespace {

using daqmx::cNITask;
using daqmx::int32;

const std::string kDegrees = "\xC2\xB0" "C";

// One channel per unit the host is shown; current shows volts, as the host always did.
const std::pair<const char*, std::string> kUnits[] = {
    {"Voltage", "V"},  {"Current", "V"},     {"Frequency:Voltage", "Hz"}, {"Resistance", "Ohm"},
    {"RTD", kDegrees}, {"Microphone", "Pa"}, {"Accelerometer", "g"},      {"Strain Gage", "V"}};

std::string Config() {
  testsupport::SimIni ini;
  ini.Task("Analog Task", "SampClk.Rate = 2000")
      .Channel("Voltage0", "Dev1/ai0", "Sim.Signal = Constant\nSim.Value = 2.5")
      .Channel("Temp1", "Dev2/ai1",
               "AI.MeasType = Temperature:Thermocouple\nAI.Min = 0\nAI.Max = 100\n"
               "Sim.Signal = Constant\nSim.Value = 25")
      .Channel("Current2", "Dev1/ai2", "AI.MeasType = Current\nAI.Min = -0.02\nAI.Max = 0.02");
  ini.Task("Finite", "SampQuant.SampMode = Finite Samples\nSampQuant.SampPerChan = 5000000000")
      .Channel("ai0", "Dev1/ai3");
  ini.Task("Broken", "Sim.FailLoad = -200485").Channel("ai0", "Dev1/ai0");
  ini.Task("Reserved", "Sim.FailStart = -50103").Channel("ai0", "Dev1/ai0");
  ini.Task("Units");
  for (int i = 0; const auto& [meas, units] : kUnits) {
    const std::string n = std::to_string(i++);
    ini.Channel("c" + n, "Dev3/ai" + n, "AI.MeasType = " + std::string(meas));
  }
  return ini.Device("Dev1", "PCIe-6363 (BNC)", "DevSerialNum = 0xABC")
      .Device("Dev2", "NI 9205", "DevSerialNum = 0xF\nSim.AIChannels = 0")
      .Device("Dev3", "USB-6001")
      .Text();
}

class WrapperTest : public ::testing::Test {
 protected:
  testsupport::SimConfigFile config_{Config()};
  cNITask task_{testsupport::SimLibrary()};

  int32 IndexOf(const std::string& name) {
    for (int32 i = 0; i < task_.TaskCount(); ++i) {
      if (task_.TaskNameAt(i) == name) return i;
    }
    return -1;
  }
  void Load(const std::string& name) { ASSERT_TRUE(task_.LoadTask(IndexOf(name))) << task_.StatusText(); }
};

TEST_F(WrapperTest, ListsLoadsAndDescribesATask) {
  EXPECT_GT(task_.DAQmxMajorVersion(), 0);
  EXPECT_EQ(task_.TaskCount(), 5);
  EXPECT_EQ(task_.TaskNameAt(4), "Units");
  EXPECT_EQ(task_.Handle(), nullptr);
  Load("Analog Task");
  EXPECT_NE(task_.Handle(), nullptr);
  EXPECT_EQ(task_.TaskName(), "Analog Task");
  EXPECT_EQ(task_.Info().Index, 0);
  EXPECT_EQ(task_.ChannelCount(), 3);
  EXPECT_EQ(task_.TaskChannelName(2), "Current2");
  EXPECT_EQ(task_.PhysicalChannelName(1), "Dev2/ai1");
  EXPECT_EQ(task_.ChannelType(0), daqmx::val::kAI);
  EXPECT_EQ(task_.ChannelMeasType(1), daqmx::val::kTempTC);
  EXPECT_EQ(task_.ChannelMax(1), 100.0);
  EXPECT_EQ(task_.ChannelMin(0), -10.0);
  EXPECT_EQ(task_.DeviceList(), "Dev1, Dev2");
  EXPECT_EQ(task_.DeviceCount(), 2);
  EXPECT_EQ(task_.DeviceName(1), "Dev2");
  // The suffix after a blank past the fourth character is dropped; an early
  // blank stays.
  EXPECT_EQ(task_.DeviceProductType(0), "PCIe-6363");
  EXPECT_EQ(task_.DeviceProductType(1), "NI 9205");
  EXPECT_EQ(task_.DeviceSerialNumber(0), "ABC");
  EXPECT_EQ(task_.DeviceSerialNumber(1), "00F");
  EXPECT_TRUE(task_.DeviceHasAIChannels(0));
  EXPECT_FALSE(task_.DeviceHasAIChannels(1));
  EXPECT_EQ(task_.SampClkRate(), 2000.0);
  EXPECT_GT(task_.SampClkMaxRate(), 0.0);
  EXPECT_EQ(task_.SampleMode(), daqmx::val::kContSamps);
  EXPECT_EQ(task_.SampleTimingType(), daqmx::val::kSampClk);
  EXPECT_EQ(task_.StatusText(), "");
}

TEST_F(WrapperTest, UnitsFollowTheMeasurementType) {
  Load("Units");
  for (int32 i = 0; const auto& [meas, units] : kUnits) EXPECT_EQ(task_.ChannelUnits(i++), units) << meas;
  EXPECT_EQ(task_.DeviceSerialNumber(0), "0");
}

TEST_F(WrapperTest, FiveBillionSamplesSaturateInsteadOfWrapping) {
  Load("Finite");
  EXPECT_EQ(task_.SampleMode(), daqmx::val::kFiniteSamps);
  EXPECT_EQ(task_.SamplesPerChannel(), 0x7FFFFFFF);
}

TEST_F(WrapperTest, IndexesOutsideTheirListsGiveNeutralValues) {
  EXPECT_EQ(task_.TaskNameAt(5), "");
  EXPECT_EQ(task_.TaskNameAt(-1), "");
  Load("Analog Task");
  for (int32 bad : {-1, 3}) {
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
  EXPECT_FALSE(task_.LoadTask(5));
  EXPECT_FALSE(task_.LoadTask(-1));
  EXPECT_EQ(task_.Handle(), nullptr);
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
  EXPECT_EQ(testsupport::SimLibrary()->DAQmxStartTask(first), daqmx::status::kInvalidTask);
}

TEST_F(WrapperTest, FailuresKeepTheirOwnStatus) {
  Load("Reserved");
  EXPECT_FALSE(task_.StartTask());
  EXPECT_EQ(task_.Status(), daqmx::status::kResourceReserved) << "not the clean-up stop's";
  EXPECT_FALSE(task_.StatusText().empty());
  task_.DeviceHasAIChannels(0);
  EXPECT_EQ(task_.Status(), daqmx::status::kResourceReserved) << "the device query records nothing";
  task_.UnloadTask();
  const int32 after_unload = task_.Status();
  double block[2] = {};
  EXPECT_EQ(task_.ReadSamples(1, 0.01, block, 2), 0);
  EXPECT_EQ(task_.Status(), after_unload) << "a read without a task records nothing";
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

TEST_F(WrapperTest, ShortReadReturnsWhatArrivedWithTheTimeoutStatus) {
  Load("Analog Task");
  ASSERT_TRUE(task_.StartTask());
  // 2000 frames per second: 100000 frames cannot arrive in 20 ms.
  std::vector<double> block(3 * 100000);
  EXPECT_LT(task_.ReadSamples(100000, 0.02, block.data(), static_cast<int32>(block.size())), 100000);
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

TEST(WrapperConfigurations, NoSavedTasksAndTheBuiltInOnes) {
  {
    testsupport::SimConfigFile empty("");
    cNITask task(testsupport::SimLibrary());
    EXPECT_EQ(task.RefreshTaskList(), 0);
    EXPECT_EQ(task.TaskNameAt(0), "");
    EXPECT_FALSE(task.LoadTask(0));
  }
  testsupport::ScopedEnv no_config("NIDAQMX_SIM_CONFIG", std::nullopt);
  cNITask task(testsupport::SimLibrary());
  ASSERT_GE(task.TaskCount(), 5);
  for (int32 i = 0; i < task.TaskCount(); ++i) {
    ASSERT_TRUE(task.LoadTask(i)) << task.TaskNameAt(i) << ": " << task.StatusText();
    EXPECT_GE(task.ChannelCount(), 1);
    EXPECT_GE(task.DeviceCount(), 1);
  }
}

TEST(SplitList, NamesAreTrimmedAndEmptyPartsKept) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"Task A, Task B", {"Task A", "Task B"}},  {"  Task A  ", {"Task A"}}, {"A,B,", {"A", "B", ""}},
      {std::string("X, Y\0, Z", 8), {"X", "Y"}}, {"   ", {"kept"}},          {std::string("\0abc", 4), {"kept"}},
  };
  for (const auto& [text, expected] : cases) {
    std::vector<std::string> list{"kept"};
    const bool empty = expected == std::vector<std::string>{"kept"};
    EXPECT_EQ(cNITask::SplitList(text, list), empty ? 0 : static_cast<int32>(expected.size())) << text;
    EXPECT_EQ(list, expected) << text;
  }
}

}  // namespace

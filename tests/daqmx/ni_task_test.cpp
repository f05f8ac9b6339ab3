// The task wrapper against the simulated NI-DAQmx, loaded through the real loader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "daqmx/ni_task.h"
#include "tests/support/sim_config.h"
#include "tests/support/sim_env.h"

namespace {

using daqmx::cNITask;
using daqmx::int32;

std::string Config() {
  testsupport::SimIni ini;
  ini.Task("Analog Task", "SampClk.Rate = 2000")
      .Channel("Voltage0", "Dev1/ai0", "Sim.Signal = Constant\nSim.Value = 2.5")
      .Channel("Temp1", "Dev2/ai1",
               "AI.MeasType = Temperature:Thermocouple\nAI.Max = 100\nSim.Signal = Constant\nSim.Value = 25")
      .Channel("Current2", "Dev1/ai2", "AI.MeasType = Current");
  ini.Task("Finite", "SampQuant.SampMode = Finite Samples\nSampQuant.SampPerChan = 5000000000")
      .Channel("ai0", "Dev1/ai3");
  ini.Task("Broken", "Sim.FailLoad = -200485").Channel("ai0", "Dev1/ai0");
  ini.Task("Reserved", "Sim.FailStart = -50103").Channel("ai0", "Dev1/ai0");
  return ini.Device("Dev1", "PCIe-6363 (BNC)", "DevSerialNum = 0xF").Device("Dev2", "NI 9205", "Sim.AIChannels = 0")
      .Text();
}

class WrapperTest : public ::testing::Test {
 protected:
  testsupport::SimConfigFile config_{Config()};
  cNITask task_{testsupport::SimLibrary()};

  // Task indexes in the order of the configuration.
  enum { kAnalog, kFinite, kBroken, kReserved };
  void Load(int32 index) { ASSERT_TRUE(task_.LoadTask(index)) << task_.StatusText(); }
};

TEST_F(WrapperTest, ListsLoadsAndDescribesATask) {
  EXPECT_GT(task_.DAQmxMajorVersion(), 0);
  ASSERT_EQ(task_.TaskCount(), 4);
  EXPECT_EQ(task_.TaskNameAt(kFinite), "Finite");
  Load(kAnalog);
  EXPECT_NE(task_.Handle(), nullptr);
  EXPECT_EQ(task_.TaskName(), "Analog Task");
  EXPECT_EQ(task_.ChannelCount(), 3);
  EXPECT_EQ(task_.TaskChannelName(2), "Current2");
  EXPECT_EQ(task_.PhysicalChannelName(1), "Dev2/ai1");
  EXPECT_EQ(task_.ChannelType(0), daqmx::val::kAI);
  EXPECT_EQ(task_.ChannelMeasType(1), daqmx::val::kTempTC);
  EXPECT_EQ(task_.ChannelMax(1), 100.0);
  EXPECT_EQ(task_.ChannelMin(0), -10.0);
  EXPECT_EQ(task_.DeviceList(), "Dev1, Dev2");
  EXPECT_EQ(task_.DeviceName(1), "Dev2");
  // The suffix after a blank past the fourth character is dropped; an early blank stays.
  EXPECT_EQ(task_.DeviceProductType(0), "PCIe-6363");
  EXPECT_EQ(task_.DeviceProductType(1), "NI 9205");
  EXPECT_EQ(task_.DeviceSerialNumber(0), "00F");
  EXPECT_EQ(task_.DeviceSerialNumber(1), "0");
  EXPECT_TRUE(task_.DeviceHasAIChannels(0));
  EXPECT_FALSE(task_.DeviceHasAIChannels(1));
  EXPECT_EQ(task_.SampClkRate(), 2000.0);
  EXPECT_GT(task_.SampClkMaxRate(), 0.0);
  EXPECT_EQ(task_.SampleMode(), daqmx::val::kContSamps);
  EXPECT_EQ(task_.SampleTimingType(), daqmx::val::kSampClk);
  // Current is shown in volts, as the host always did.
  const std::vector<std::string> units = {"V", "\xC2\xB0" "C", "V"};
  for (int32 i = 0; i < 3; ++i) EXPECT_EQ(task_.ChannelUnits(i), units[i]) << i;
  EXPECT_EQ(cNITask::UnitsOfMeasType(daqmx::val::kResistance), "Ohm");
  EXPECT_EQ(task_.StatusText(), "");
  Load(kFinite);
  EXPECT_EQ(task_.SamplesPerChannel(), 0x7FFFFFFF) << "five billion saturates";
}

TEST_F(WrapperTest, IndexesOutsideTheirListsGiveNeutralValues) {
  EXPECT_EQ(task_.TaskNameAt(4), "");
  EXPECT_EQ(task_.TaskNameAt(-1), "");
  Load(kAnalog);
  for (int32 bad : {-1, 3}) {
    EXPECT_EQ(task_.TaskChannelName(bad) + task_.PhysicalChannelName(bad), "");
    EXPECT_EQ(task_.ChannelType(bad) + task_.ChannelMeasType(bad), 0);
    EXPECT_EQ(task_.ChannelUnits(bad), "V");
    EXPECT_EQ(task_.ChannelMax(bad) + task_.ChannelMin(bad), 0.0);
    double value = 42;
    EXPECT_FALSE(task_.ReadChannelValue(bad, value));
    EXPECT_EQ(value, 42);
  }
  for (int32 bad : {-1, 2}) {
    EXPECT_EQ(task_.DeviceName(bad) + task_.DeviceProductType(bad), "");
    EXPECT_EQ(task_.DeviceSerialNumber(bad), "0");
    EXPECT_FALSE(task_.DeviceHasAIChannels(bad));
  }
  EXPECT_FALSE(task_.LoadTask(4));
  EXPECT_EQ(task_.Handle(), nullptr);
}

TEST_F(WrapperTest, LoadingReleasesTheTaskBeforeAndAFailedLoadLeavesNone) {
  Load(kAnalog);
  ASSERT_TRUE(task_.StartTask()) << task_.StatusText();
  const auto first = task_.Handle();
  Load(kFinite);
  EXPECT_NE(task_.Handle(), first);
  EXPECT_EQ(testsupport::SimLibrary()->DAQmxStartTask(first), daqmx::status::kInvalidTask);
  EXPECT_FALSE(task_.LoadTask(kBroken));
  EXPECT_EQ(task_.Handle(), nullptr);
  EXPECT_EQ(task_.Info().Index, -1);
  EXPECT_EQ(task_.TaskName(), "");
  EXPECT_EQ(task_.ChannelCount(), 0);
  EXPECT_EQ(task_.Status(), -200485);
  EXPECT_FALSE(task_.StatusText().empty());
}

TEST_F(WrapperTest, FailuresKeepTheirOwnStatus) {
  Load(kReserved);
  EXPECT_FALSE(task_.StartTask());
  EXPECT_EQ(task_.Status(), daqmx::status::kResourceReserved) << "not the clean-up stop's";
  task_.DeviceHasAIChannels(0);
  EXPECT_EQ(task_.Status(), daqmx::status::kResourceReserved) << "the device query records nothing";
  task_.UnloadTask();
  const int32 after_unload = task_.Status();
  double block[2] = {};
  EXPECT_EQ(task_.ReadSamples(1, 0.01, block, 2), 0);
  EXPECT_EQ(task_.Status(), after_unload) << "a read without a task records nothing";
}

TEST_F(WrapperTest, ReadsInterleaveFramesAndAShortReadSaysTimeout) {
  Load(kAnalog);
  ASSERT_TRUE(task_.StartTask()) << task_.StatusText();
  std::vector<double> block(3 * 20, -1.0);
  int32 total = 0;
  for (int attempt = 0; attempt < 10 && total == 0; ++attempt) {
    total = task_.ReadSamples(20, 1.0, block.data(), static_cast<int32>(block.size()));
  }
  ASSERT_EQ(total, 20) << task_.StatusText();
  for (int frame = 0; frame < 20; ++frame) {
    EXPECT_EQ(block[frame * 3 + 0], 2.5);
    EXPECT_EQ(block[frame * 3 + 1], 25.0);
  }
  // 2000 frames per second: 100000 frames cannot arrive in 20 ms.
  block.resize(3 * 100000);
  EXPECT_LT(task_.ReadSamples(100000, 0.02, block.data(), static_cast<int32>(block.size())), 100000);
  EXPECT_EQ(task_.Status(), daqmx::status::kSamplesNotYetAvailable);
  EXPECT_FALSE(task_.StatusText().empty());
  double value = 0;
  ASSERT_TRUE(task_.ReadChannelValue(1, value)) << task_.StatusText();
  EXPECT_EQ(value, 25.0);
}

TEST(WrapperConfigurations, NoSavedTasks) {
  testsupport::SimConfigFile empty("");
  cNITask task(testsupport::SimLibrary());
  EXPECT_EQ(task.TaskCount(), 0);
  EXPECT_FALSE(task.LoadTask(0));
}

}  // namespace

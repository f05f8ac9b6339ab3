// The task wrapper against the simulated NI-DAQmx, loaded through the real
// loader, and both on a machine without NI-DAQmx.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <dlfcn.h>

#include <cstdio>
#endif

#include "daqmx/ni_task.h"
#include "tests/support/sim_config.h"
#include "tests/support/sim_env.h"

namespace {

using daqmx::cNITask;
using daqmx::int32;

const std::string kMissingPath = testsupport::SimLibraryPath() + "-missing";

std::string Config() {
  testsupport::SimIni ini;
  ini.Task("Analog Task", "SampClk.Rate = 2000")
      .Channel("Voltage0", "Dev1/ai0", "Sim.Signal = Constant\nSim.Value = 2.5")
      .Channel("Temp1", "Dev2/ai1",
               "AI.MeasType = Temperature:Thermocouple\nAI.Max = 100\nSim.Signal = Constant\nSim.Value = 25")
      .Channel("Current2", "Dev1/ai2", "AI.MeasType = Current");
  ini.Task("Finite", "SampQuant.SampMode = Finite Samples\nSampQuant.SampPerChan = 5000000000\n"
                     "Sim.FailStart = -50103")
      .Channel("ai0", "Dev1/ai3");
  ini.Task("Broken", "Sim.FailLoad = -200485").Channel("ai0", "Dev1/ai0");
  return ini.Device("Dev1", "PCIe-6363 (BNC)", "DevSerialNum = 0xF").Device("Dev2", "NI 9205", "Sim.AIChannels = 0")
      .Text();
}

class WrapperTest : public ::testing::Test {
 protected:
  testsupport::SimConfigFile config_{Config()};
  cNITask task_{testsupport::SimLibrary()};
  enum { kAnalog, kFinite, kBroken };  // the tasks' indexes
  void Load(int32 index) { ASSERT_TRUE(task_.LoadTask(index)) << task_.StatusText(); }
};

TEST_F(WrapperTest, ListsLoadsAndDescribesATask) {
  EXPECT_GT(task_.DAQmxMajorVersion(), 0);
  ASSERT_EQ(task_.TaskCount(), 3);
  EXPECT_EQ(task_.TaskNameAt(kFinite), "Finite");
  Load(kAnalog);
  EXPECT_EQ(task_.TaskName(), "Analog Task");
  EXPECT_EQ(task_.TaskChannelName(2), "Current2");
  EXPECT_EQ(task_.PhysicalChannelName(1), "Dev2/ai1");
  EXPECT_EQ(task_.ChannelType(0), daqmx::val::kAI);
  EXPECT_EQ(std::make_pair(task_.ChannelMin(0), task_.ChannelMax(1)), std::make_pair(-10.0, 100.0));
  EXPECT_EQ(task_.DeviceName(1), "Dev2");
  // The suffix after a blank past the fourth character is dropped; an early blank stays.
  EXPECT_EQ(task_.DeviceProductType(0) + "/" + task_.DeviceProductType(1), "PCIe-6363/NI 9205");
  EXPECT_EQ(task_.DeviceSerialNumber(0) + "/" + task_.DeviceSerialNumber(1), "00F/0");
  EXPECT_TRUE(task_.DeviceHasAIChannels(0));
  EXPECT_FALSE(task_.DeviceHasAIChannels(1));
  EXPECT_EQ(task_.SampClkRate(), 2000.0);
  EXPECT_EQ(task_.SampleTimingType(), daqmx::val::kSampClk);
  // Units by measurement type; current is shown in volts, as the host always did.
  EXPECT_EQ(task_.ChannelUnits(0) + task_.ChannelUnits(1) + task_.ChannelUnits(2), "V\xC2\xB0" "CV");
  Load(kFinite);
  EXPECT_EQ(task_.SampleMode(), daqmx::val::kFiniteSamps);
  EXPECT_EQ(task_.SamplesPerChannel(), 0x7FFFFFFF) << "five billion saturates";
}

TEST_F(WrapperTest, IndexesOutsideTheirListsGiveNeutralValues) {
  EXPECT_EQ(task_.TaskNameAt(-1) + task_.TaskNameAt(3), "");
  Load(kAnalog);
  for (int32 bad : {-1, 3}) {
    EXPECT_EQ(task_.TaskChannelName(bad) + task_.PhysicalChannelName(bad) + task_.ChannelUnits(bad), "V");
    EXPECT_EQ(task_.ChannelType(bad) + task_.ChannelMeasType(bad), 0);
    EXPECT_EQ(task_.ChannelMax(bad) + task_.ChannelMin(bad), 0.0);
    double value = 42;
    EXPECT_FALSE(task_.ReadChannelValue(bad, value) || value != 42);
  }
  for (int32 bad : {-1, 2}) {
    EXPECT_EQ(task_.DeviceName(bad) + task_.DeviceProductType(bad) + task_.DeviceSerialNumber(bad), "0");
    EXPECT_FALSE(task_.DeviceHasAIChannels(bad));
  }
  EXPECT_FALSE(task_.LoadTask(3));
}

TEST_F(WrapperTest, LoadingReleasesTheTaskBeforeAndFailuresKeepTheirOwnStatus) {
  Load(kAnalog);
  ASSERT_TRUE(task_.StartTask()) << task_.StatusText();
  const auto first = task_.Handle();
  Load(kFinite);
  EXPECT_EQ(testsupport::SimLibrary()->DAQmxStartTask(first), daqmx::status::kInvalidTask);
  EXPECT_FALSE(task_.LoadTask(kBroken));
  EXPECT_EQ(task_.Handle(), nullptr);
  EXPECT_EQ(task_.TaskName(), "");
  EXPECT_EQ(task_.ChannelCount() + task_.DeviceCount(), 0);
  EXPECT_EQ(task_.Status(), -200485);
  EXPECT_FALSE(task_.StatusText().empty());
  Load(kFinite);  // which fails to start
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
  std::vector<double> block(3 * 100000, -1.0);
  ASSERT_EQ(task_.ReadSamples(20, 1.0, block.data(), 60), 20) << task_.StatusText();
  for (int frame = 0; frame < 20; ++frame) {
    EXPECT_EQ(std::make_pair(block[frame * 3], block[frame * 3 + 1]), std::make_pair(2.5, 25.0)) << frame;
  }
  // 2000 frames per second: 100000 frames cannot arrive in 20 ms.
  EXPECT_LT(task_.ReadSamples(100000, 0.02, block.data(), static_cast<int32>(block.size())), 100000);
  EXPECT_EQ(task_.Status(), daqmx::status::kSamplesNotYetAvailable);
  double value = 0;
  ASSERT_TRUE(task_.ReadChannelValue(1, value)) << task_.StatusText();
  EXPECT_EQ(value, 25.0);
}

TEST(Loader, FailuresSayWhatAndWhere) {
#ifdef _WIN32
  const std::string default_name = "nicaiu.dll";
  const std::string not_ni_daqmx = "C:\\windows\\system32\\kernel32.dll";
  const bool sim_loaded = false;
#else  // neither nicaiu.dll nor libnidaqmx.so exists on the build machine: "" finds none
  const std::string default_name = "libnidaqmx.so";
  Dl_info info{};  // any other shared library: the test's own platform runtime
  dladdr(reinterpret_cast<void*>(&std::fclose), &info);
  const std::string not_ni_daqmx = info.dli_fname;
  // The simulator carries NI's SONAME: once this process has loaded it, the default name finds it.
  const bool sim_loaded = dlopen("libnidaqmx.so.1", RTLD_NOW | RTLD_NOLOAD) != nullptr;
#endif
  const std::pair<std::string, std::string> cases[] = {{kMissingPath, kMissingPath},
                                                       {"nidaqmx-sim", "absolute"},
                                                       {not_ni_daqmx, "does not export DAQmx"},
                                                       {"", default_name}};
  for (const auto& [path, part] : cases) {
    if (path.empty() && sim_loaded) continue;
    const std::string error = daqmx::Library::Load(path)->LoadError();
    EXPECT_NE(error.find("NI-DAQmx could not be loaded from "), std::string::npos) << error;
    EXPECT_NE(error.find(part), std::string::npos) << error;
  }
}

TEST(WrapperWithoutLibrary, EveryCallGivesItsNeutralValueAndTheStatusExplains) {
  cNITask task(daqmx::Library::Load(kMissingPath));
  EXPECT_EQ(task.DAQmxMajorVersion() + task.DAQmxMinorVersion() + task.RefreshTaskList() + task.TaskCount(), 0);
  EXPECT_FALSE(task.LoadTask(0) || task.StartTask());
  task.StopTask();
  EXPECT_EQ(task.SampClkRate() + task.SampleMode() + task.SamplesPerChannel(), 0.0);
  double value = 7;
  EXPECT_FALSE(task.ReadChannelValue(0, value) || value != 7);
  EXPECT_EQ(task.ReadSamples(1, 0.1, &value, 1), 0);
  EXPECT_EQ(task.Status(), daqmx::kStatusLibraryNotLoaded);
  EXPECT_NE(task.StatusText().find("NI-DAQmx could not be loaded from"), std::string::npos);
}

}  // namespace

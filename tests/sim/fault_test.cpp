// The simulator's fault keys: failing loads, starts and reads, a lost
// device, and a sample clock above the device's limit.
#include "tests/sim/sim_api.h"

namespace simtest {
namespace {

namespace val = daqmx::val;
namespace st = daqmx::status;

class Faults : public SimTest {};

TEST_F(Faults, FailLoadRefusesTheTaskWithItsStatus) {
  testsupport::SimConfigFile file(TaskExport("Broken", "Sim.FailLoad = -200220", {""}));
  EXPECT_EQ(SysTasks(), "Broken");
  LoadedTask task("Broken");
  EXPECT_EQ(task.LoadStatus(), st::kInvalidDeviceId);
  EXPECT_EQ(task.Handle(), nullptr);
  EXPECT_NE(ExtendedError().find("Sim.FailLoad"), std::string::npos);
}

TEST_F(Faults, FailStartRefusesExplicitAndImplicitStarts) {
  testsupport::SimConfigFile file(TaskExport("Reserved", "Sim.FailStart = -50103", {""}));
  LoadedTask task("Reserved");
  ASSERT_EQ(task.LoadStatus(), 0);
  EXPECT_EQ(Api().DAQmxStartTask(task.Handle()), st::kResourceReserved);
  const auto read = task.Read(1, 0.0, 1);
  EXPECT_EQ(read.status, st::kResourceReserved);
  EXPECT_EQ(read.read, 0);
  EXPECT_NE(ExtendedError().find("Task Name: Reserved"), std::string::npos);
}

TEST_F(Faults, FailReadAfterDeliversUpToTheLimitThenFails) {
  testsupport::SimConfigFile file(
      TaskExport("Flaky", "Sim.FreeRunning = 1\nSim.FailReadAfter = 100\nSim.FailReadStatus = -200361", {"", ""}));
  LoadedTask task("Flaky");
  ASSERT_EQ(Api().DAQmxStartTask(task.Handle()), 0);
  EXPECT_EQ(task.Read(60, 0.0, 60).status, 0);
  const auto crossing = task.Read(60, 0.0, 60);
  EXPECT_EQ(crossing.status, st::kOnboardMemoryOverflow);
  EXPECT_EQ(crossing.read, 40);
  const auto after = task.Read(1, 1.0, 1);
  EXPECT_EQ(after.status, st::kOnboardMemoryOverflow);
  EXPECT_EQ(after.read, 0);
  // Counted per run.
  ASSERT_EQ(Api().DAQmxStopTask(task.Handle()), 0);
  ASSERT_EQ(Api().DAQmxStartTask(task.Handle()), 0);
  EXPECT_EQ(task.Read(100, 0.0, 100).status, 0);
}

TEST_F(Faults, FailReadAfterAppliesToPacedReadsWithoutWaitingForTheTimeout) {
  testsupport::SimConfigFile file(TaskExport("Flaky", "Sim.FailReadAfter = 20\nSim.FailReadStatus = -200361", {""}));
  LoadedTask task("Flaky");
  ASSERT_EQ(Api().DAQmxStartTask(task.Handle()), 0);
  const auto start = std::chrono::steady_clock::now();
  const auto result = task.Read(500, 5.0, 500);
  EXPECT_EQ(result.status, st::kOnboardMemoryOverflow);
  EXPECT_EQ(result.read, 20);
  EXPECT_LT(SecondsSince(start), 1.0);
}

TEST_F(Faults, LostDeviceStaysLostUntilTheTaskIsLoadedAgain) {
  testsupport::SimConfigFile file(TaskExport("Unplugged", "Sim.FreeRunning = 1\nSim.LoseDeviceAfter = 30", {""}));
  {
    LoadedTask task("Unplugged");
    ASSERT_EQ(Api().DAQmxStartTask(task.Handle()), 0);
    const auto result = task.Read(50, 0.0, 50);
    EXPECT_EQ(result.status, st::kDeviceCannotBeAccessed);
    EXPECT_EQ(result.read, 30);
    daqmx::bool32 done = 0;
    EXPECT_EQ(Api().DAQmxIsTaskDone(task.Handle(), &done), st::kDeviceCannotBeAccessed);
    EXPECT_EQ(done, 1u);
    EXPECT_EQ(Api().DAQmxStopTask(task.Handle()), 0);
    EXPECT_EQ(Api().DAQmxStartTask(task.Handle()), st::kDeviceCannotBeAccessed);
    EXPECT_EQ(task.Read(1, 0.0, 1).status, st::kDeviceCannotBeAccessed);
  }
  LoadedTask again("Unplugged");
  EXPECT_EQ(Api().DAQmxStartTask(again.Handle()), 0);
}

// Sim.MaxRate sets the limit, or else the product: one channel of a PCIe-6363 samples at up to 2 MS/s.
TEST_F(Faults, SampleClockAboveTheDeviceLimitCannotStart) {
  const std::pair<const char*, const char*> tasks[] = {{"TooFast", "Sim.MaxRate = 500"},
                                                       {"JustRight", "SampClk.Rate = 500\nSim.MaxRate = 500"},
                                                       {"Single", "SampClk.Rate = 2000000"},
                                                       {"Faster", "SampClk.Rate = 2000001"}};
  testsupport::SimIni ini;
  for (const auto& [name, keys] : tasks) ini.Task(name, keys).Channel("ai0", "Dev1/ai0");
  testsupport::SimConfigFile file(ini.Text());
  for (const auto& [name, keys] : tasks) {
    const bool too_fast = std::string(name).find("Fast") != std::string::npos;
    EXPECT_EQ(Api().DAQmxStartTask(LoadedTask(name).Handle()), too_fast ? kInvalidAttributeValue : 0) << name;
  }
  LoadedTask too_fast("TooFast");
  float64 max_rate = 0;
  EXPECT_EQ(Api().DAQmxGetSampClkMaxRate(too_fast.Handle(), &max_rate), 0);
  EXPECT_EQ(max_rate, 500.0);
  EXPECT_EQ(too_fast.Read(1, 0.0, 1).status, kInvalidAttributeValue);
  const std::string info = ExtendedError();
  EXPECT_NE(info.find("SampClk.Rate"), std::string::npos) << info;
  EXPECT_NE(info.find("1000"), std::string::npos) << info;
}

}  // namespace
}  // namespace simtest

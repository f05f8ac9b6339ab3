// Reading: pacing by the sample clock, timeouts, finite and on-demand tasks,
// free-running mode, fill modes, raw codes and the counting signal.
#include <cmath>
#include <thread>

#include "tests/sim/sim_api.h"

namespace simtest {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class Reading : public SimTest {};

const std::string kCounter = "Sim.Signal = Counter\nAI.Max = 64000\nAI.Min = 0";  // volts = sample index

TEST_F(Reading, ContinuousReadsArePacedByTheSampleClock) {
  testsupport::SimConfigFile file(TaskExport("Paced", "", {"", ""}));
  const LoadedTask task("Paced");
  const auto before_start = Clock::now();
  ASSERT_EQ(Api().DAQmxStartTask(task.handle), 0);
  const auto after_start = Clock::now();
  std::this_thread::sleep_for(milliseconds(150));
  const double shortest = SecondsSince(after_start);
  const auto all = task.Read(val::kAllAvailable, 0.0, 1000);
  EXPECT_EQ(all.status, 0);
  EXPECT_GE(all.read, static_cast<int32>(std::floor(shortest * 1000)));
  EXPECT_LE(all.read, static_cast<int32>(std::ceil(SecondsSince(before_start) * 1000)));
  // A read waits for its samples up to the timeout, and keeps what came when that passes.
  auto start = Clock::now();
  EXPECT_EQ(task.Read(100, 2.0, 100).read, 100);
  EXPECT_GE(SecondsSince(start), 0.095);
  start = Clock::now();
  const auto timed_out = task.Read(1000, 0.1, 1000);
  EXPECT_EQ(timed_out.status, st::kSamplesNotYetAvailable);
  EXPECT_GE(SecondsSince(start), 0.095);
  EXPECT_GE(timed_out.read, 90);
  uInt32 available = 9999;
  EXPECT_EQ(Api().DAQmxGetReadAvailSampPerChan(task.handle, &available), 0);
  EXPECT_LT(available, 50u);
  start = Clock::now();  // no timeout, no waiting for 5 s of samples
  EXPECT_EQ(task.Read(5000, 0.0, 5000).status, st::kSamplesNotYetAvailable);
  EXPECT_LT(SecondsSince(start), 1.0);
}

TEST_F(Reading, FiniteTaskEndsAfterItsSamples) {
  testsupport::SimConfigFile file(
      TaskExport("Finite", "SampQuant.SampMode = Finite Samples\nSampQuant.SampPerChan = 50", {"", ""}));
  const LoadedTask task("Finite");
  daqmx::bool32 done = 1;
  ASSERT_EQ(Api().DAQmxStartTask(task.handle), 0);
  EXPECT_EQ(Api().DAQmxIsTaskDone(task.handle, &done), 0);
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(task.Read(val::kAllAvailable, 1.0, 100).read, 50);
  EXPECT_EQ(task.Read(1, 1.0, 1).status, st::kSamplesWillNeverBeAvailable);
  // A read on the stopped task starts it and stops it again: each is a whole acquisition.
  ASSERT_EQ(Api().DAQmxStopTask(task.handle), 0);
  for (int run = 0; run < 2; ++run) {
    EXPECT_EQ(task.Read(val::kAllAvailable, 1.0, 100).read, 50);
    EXPECT_EQ(Api().DAQmxIsTaskDone(task.handle, &done), 0);
    EXPECT_EQ(done, 1u);
  }
}

// Each read takes new scans at once, and the signal moves on between reads.
TEST_F(Reading, OnDemandReturnsAtOnce) {
  testsupport::SimConfigFile file(TaskExport("Single", "SampTimingType = On Demand\nSampClk.Rate = 1", {kCounter}));
  const LoadedTask task("Single");
  const auto start = Clock::now();
  EXPECT_EQ(task.Read(val::kAllAvailable, 0.0, 1).data, std::vector<float64>{0});
  EXPECT_EQ(task.Read(3, 0.0, 3).data, (std::vector<float64>{1, 2, 3}));
  EXPECT_LT(SecondsSince(start), 1.0);  // paced at 1 S/s this would take seconds
}

TEST_F(Reading, FreeRunningByKeyOrVariableDeliversAsFastAsRead) {
  testsupport::SimConfigFile file(
      testsupport::SimIni().Task("Fast", "Sim.FreeRunning = 1").Channel("ai0", "Dev1/ai0").Task("Paced").Channel(
          "ai0", "Dev1/ai1").Text());
  const auto read_at_once = [](const char* name) { return LoadedTask(name).Read(5000, 0.0, 5000).read; };
  EXPECT_EQ(read_at_once("Fast"), 5000);
  EXPECT_LT(read_at_once("Paced"), 500);
  testsupport::ScopedEnv free_running("NIDAQMX_SIM_FREE_RUNNING", "1");
  EXPECT_EQ(read_at_once("Paced"), 5000);
}

TEST_F(Reading, FallingBehindTheBufferIsAnOverrunUntilRestarted) {
  testsupport::SimConfigFile file(TaskExport("Small", "Sim.BufferSize = 100", {""}));
  const LoadedTask task("Small");
  ASSERT_EQ(Api().DAQmxStartTask(task.handle), 0);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(task.Read(10, 1.0, 10).status, 0) << "keeping up, read " << i;
  std::this_thread::sleep_for(milliseconds(150));
  uInt32 available = 0;
  EXPECT_EQ(task.Read(10, 1.0, 10).status, st::kSamplesNoLongerAvailable);
  EXPECT_EQ(Api().DAQmxGetReadAvailSampPerChan(task.handle, &available), st::kSamplesNoLongerAvailable);
  const auto again = task.Read(1, 1.0, 1);
  EXPECT_EQ(std::make_pair(again.status, again.read), std::make_pair(st::kSamplesNoLongerAvailable, 0));
  ASSERT_EQ(Api().DAQmxStopTask(task.handle), 0);
  ASSERT_EQ(Api().DAQmxStartTask(task.handle), 0);
  EXPECT_EQ(task.Read(10, 1.0, 10).read, 10);
}

TEST_F(Reading, ArgumentsAreCheckedBeforeReading) {
  const std::tuple<int32, daqmx::bool32, uInt32, int32> cases[] = {
      {3, val::kGroupByScanNumber, 10, st::kReadBufferTooSmall},  // 4 channels
      {1, val::kGroupByScanNumber, 0, st::kReadBufferTooSmall}, {1, 7, 4, kInvalidAttributeValue},
      {-2, val::kGroupByChannel, 4, kInvalidAttributeValue}, {0, val::kGroupByChannel, 4, 0}};
  const LoadedTask task("Demo4ch");
  for (const auto& [samples, fill, size, status] : cases) {
    std::vector<float64> data(size);
    int32 read = -1;
    EXPECT_EQ(Api().DAQmxReadAnalogF64(task.handle, samples, 1.0, fill, size ? data.data() : nullptr, size, &read,
                                       nullptr), status) << samples << " " << fill << " " << size;
    EXPECT_EQ(read, 0);
  }
}

// Channel 0 counts samples, channel 1 is constant: the layout shows in the data.
TEST_F(Reading, FillModesLayOutScansOrChannelsPackedAndRestartAtZero) {
  testsupport::SimConfigFile file(TaskExport(
      "Layout", "SampQuant.SampMode = Finite Samples\nSampQuant.SampPerChan = 6\nSim.FreeRunning = 1",
      {kCounter, "Sim.Signal = Constant\nSim.Value = -3"}));
  const LoadedTask task("Layout");
  ASSERT_EQ(Api().DAQmxStartTask(task.handle), 0);
  EXPECT_EQ(task.Read(2, 0.0, 2, val::kGroupByScanNumber).data, (std::vector<float64>{0, -3, 1, -3}));
  EXPECT_EQ(task.Read(2, 0.0, 2, val::kGroupByChannel).data, (std::vector<float64>{2, 3, -3, -3}));
  const auto rest = task.Read(5, 0.0, 5, val::kGroupByChannel);
  EXPECT_EQ(rest.status, st::kSamplesWillNeverBeAvailable);
  EXPECT_EQ(rest.data, (std::vector<float64>{4, 5, -3, -3}));
  ASSERT_EQ(Api().DAQmxStopTask(task.handle), 0);
  EXPECT_EQ(task.Read(1, 0.0, 1).data, (std::vector<float64>{0, -3}));
}

TEST_F(Reading, BinaryReadGivesCodesOfTheLargerLimit) {
  testsupport::SimConfigFile file(TaskExport(
      "Raw", "Sim.FreeRunning = 1",
      {"Sim.Signal = Constant\nSim.Value = 5", "Sim.Signal = Constant\nSim.Value = -5\nAI.Max = 1\nAI.Min = -5",
       "Sim.Signal = Constant\nSim.Value = 2.5\nAI.Max = 5\nAI.Min = 0"}));
  const LoadedTask task("Raw");
  std::vector<daqmx::int16> codes(6, 0);
  int32 read = 0;
  ASSERT_EQ(Api().DAQmxReadBinaryI16(task.handle, 2, 0.0, val::kGroupByChannel, codes.data(), 6, &read, nullptr), 0);
  EXPECT_EQ(read, 2);
  EXPECT_EQ(codes, (std::vector<daqmx::int16>{16384, 16384, -32767, -32767, 16384, 16384}));
}

// Code -32000 + k % 64001 of the range at sample k: the driver's 64000 steps.
TEST_F(Reading, CounterSignalEncodesTheSampleIndexExactly) {
  testsupport::SimConfigFile file(
      TaskExport("Count", "Sim.FreeRunning = 1",
                 {"Sim.Signal = Counter\nAI.Max = 10\nAI.Min = -10",
                  "Sim.Signal = Counter\nSim.CounterDivisor = 64001\nAI.Max = 5\nAI.Min = 0",
                  "Sim.Signal = Counter\nSim.CounterDivisor = 3\nAI.Max = 1\nAI.Min = -5"}));
  const int32 samples = 200000;  // past three wraps of the low digit and one of the third channel
  const auto result = LoadedTask("Count").Read(samples, 0.0, samples);
  ASSERT_EQ(result.read, samples);
  const auto code = [&](int32 k, int c, float64 min, float64 max) {
    return std::lround((result.data[static_cast<size_t>(k) * 3 + c] - (min + max) / 2) * 64000 / (max - min));
  };
  for (int32 k = 0; k < samples; ++k) {
    ASSERT_EQ(code(k, 0, -10, 10), -32000 + k % 64001) << k;
    ASSERT_EQ(code(k, 1, 0, 5), -32000 + k / 64001) << k;
    ASSERT_EQ(code(k, 2, -5, 1), -32000 + (k / 3) % 64001) << k;
  }
  EXPECT_EQ(result.data[64000 * 3], 10.0);  // the range limits themselves
  EXPECT_EQ(result.data[64001 * 3], -10.0);
}

}  // namespace
}  // namespace simtest

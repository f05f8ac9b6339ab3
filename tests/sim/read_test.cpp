// Reading: pacing by the sample clock, timeouts, finite and on-demand tasks,
// free-running mode, fill modes, raw codes and the counting signal.
#include <cmath>
#include <thread>

#include "tests/sim/sim_api.h"

namespace simtest {
namespace {

namespace val = daqmx::val;
namespace st = daqmx::status;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class Reading : public SimTest {};

TEST_F(Reading, ContinuousTaskDeliversRateTimesElapsedTime) {
  testsupport::SimConfigFile file(TaskExport("Paced", "", {"", ""}));
  LoadedTask task("Paced");
  const auto before_start = Clock::now();
  ASSERT_EQ(Api().DAQmxStartTask(task.Handle()), 0);
  const auto after_start = Clock::now();
  std::this_thread::sleep_for(milliseconds(150));
  const auto before_read = Clock::now();
  const auto result = task.Read(val::kAllAvailable, 0.0, 1000);
  const double longest = std::chrono::duration<double>(Clock::now() - before_start).count();
  const double shortest = std::chrono::duration<double>(before_read - after_start).count();
  EXPECT_EQ(result.status, 0);
  EXPECT_GE(result.read, static_cast<int32>(std::floor(shortest * 1000)));
  EXPECT_LE(result.read, static_cast<int32>(std::ceil(longest * 1000)));
  EXPECT_GE(result.read, 140);
}

TEST_F(Reading, ReadWaitsForItsSamplesUpToTheTimeout) {
  testsupport::SimConfigFile file(TaskExport("Paced", "", {""}));
  LoadedTask task("Paced");
  const auto started = Clock::now();
  ASSERT_EQ(Api().DAQmxStartTask(task.Handle()), 0);
  auto start = Clock::now();
  const auto waited = task.Read(100, 2.0, 100);
  EXPECT_EQ(waited.status, 0);
  EXPECT_EQ(waited.read, 100);
  EXPECT_GE(SecondsSince(start), 0.095);
  EXPECT_LT(SecondsSince(start), 1.0);
  start = Clock::now();
  const auto timed_out = task.Read(1000, 0.1, 1000);
  const double elapsed = SecondsSince(start);
  EXPECT_EQ(timed_out.status, st::kSamplesNotYetAvailable);
  EXPECT_GE(elapsed, 0.095);
  EXPECT_GE(timed_out.read, 90);
  EXPECT_LE(waited.read + timed_out.read, static_cast<int32>(std::ceil(SecondsSince(started) * 1000)));
  // Those samples were consumed: the next read continues after them.
  uInt32 available = 9999;
  EXPECT_EQ(Api().DAQmxGetReadAvailSampPerChan(task.Handle(), &available), 0);
  EXPECT_LT(available, 50u);
}

TEST_F(Reading, ZeroTimeoutDoesNotWait) {
  testsupport::SimConfigFile file(TaskExport("Slow", "SampClk.Rate = 1", {""}));
  LoadedTask task("Slow");
  ASSERT_EQ(Api().DAQmxStartTask(task.Handle()), 0);
  const auto start = Clock::now();
  const auto result = task.Read(5, 0.0, 5);
  EXPECT_EQ(result.status, st::kSamplesNotYetAvailable);
  EXPECT_EQ(result.read, 0);
  EXPECT_LT(SecondsSince(start), 1.0);  // waiting would take 5 s
}

TEST_F(Reading, FiniteTaskEndsAfterItsSamples) {
  testsupport::SimConfigFile file(
      TaskExport("Finite", "SampQuant.SampMode = Finite Samples\nSampQuant.SampPerChan = 50", {"", ""}));
  LoadedTask task("Finite");
  daqmx::bool32 done = 1;
  ASSERT_EQ(Api().DAQmxStartTask(task.Handle()), 0);
  EXPECT_EQ(Api().DAQmxIsTaskDone(task.Handle(), &done), 0);
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(task.Read(val::kAllAvailable, 1.0, 100).read, 50);
  EXPECT_EQ(Api().DAQmxIsTaskDone(task.Handle(), &done), 0);
  EXPECT_EQ(done, 1u);
  const auto past_end = task.Read(1, 1.0, 1);
  EXPECT_EQ(past_end.status, st::kSamplesWillNeverBeAvailable);
  EXPECT_EQ(past_end.read, 0);
  // A read on the stopped task starts it and stops it again: each is a whole acquisition.
  ASSERT_EQ(Api().DAQmxStopTask(task.Handle()), 0);
  for (int run = 0; run < 2; ++run) {
    const auto all = task.Read(val::kAllAvailable, 1.0, 100);
    EXPECT_EQ(all.status, 0);
    EXPECT_EQ(all.read, 50);
    EXPECT_EQ(Api().DAQmxIsTaskDone(task.Handle(), &done), 0);
    EXPECT_EQ(done, 1u);
  }
}

// Each read takes new scans at once, and the signal moves on between reads.
TEST_F(Reading, OnDemandReturnsAtOnce) {
  testsupport::SimConfigFile file(TaskExport("Single", "SampTimingType = On Demand\nSampClk.Rate = 1",
                                             {"Sim.Signal = Counter\nAI.Max = 64000\nAI.Min = 0", ""}));
  LoadedTask task("Single");
  const auto start = Clock::now();
  const auto one = task.Read(val::kAllAvailable, 0.0, 1);
  const auto three = task.Read(3, 0.0, 3);
  EXPECT_LT(SecondsSince(start), 1.0);  // paced at 1 S/s this would take seconds
  EXPECT_EQ(one.status, 0);
  EXPECT_EQ(one.read, 1);
  EXPECT_EQ(one.data[0], 0);
  EXPECT_EQ(three.status, 0);
  ASSERT_EQ(three.read, 3);
  EXPECT_EQ(three.data[0], 1);
  EXPECT_EQ(three.data[4], 3);
}

TEST_F(Reading, FreeRunningByKeyOrVariableDeliversAsFastAsRead) {
  testsupport::SimConfigFile file(testsupport::SimIni()
                                      .Task("Fast", "Sim.FreeRunning = 1")
                                      .Channel("ai0", "Dev1/ai0")
                                      .Task("Paced")
                                      .Channel("ai0", "Dev1/ai1")
                                      .Text());
  const auto read_at_once = [](const char* name) { return LoadedTask(name).Read(5000, 0.0, 5000); };
  EXPECT_EQ(read_at_once("Fast").read, 5000);
  const auto paced = read_at_once("Paced");
  EXPECT_EQ(paced.status, st::kSamplesNotYetAvailable);
  EXPECT_LT(paced.read, 500);
  testsupport::ScopedEnv free_running("NIDAQMX_SIM_FREE_RUNNING", "1");
  EXPECT_EQ(read_at_once("Paced").read, 5000);
}

TEST_F(Reading, FallingBehindTheBufferIsAnOverrunUntilRestarted) {
  testsupport::SimConfigFile file(TaskExport("Small", "Sim.BufferSize = 20", {""}));
  LoadedTask task("Small");
  ASSERT_EQ(Api().DAQmxStartTask(task.Handle()), 0);
  std::this_thread::sleep_for(milliseconds(60));
  uInt32 available = 0;
  EXPECT_EQ(task.Read(10, 1.0, 10).status, st::kSamplesNoLongerAvailable);
  EXPECT_EQ(Api().DAQmxGetReadAvailSampPerChan(task.Handle(), &available), st::kSamplesNoLongerAvailable);
  const auto again = task.Read(1, 1.0, 1);
  EXPECT_EQ(again.status, st::kSamplesNoLongerAvailable);
  EXPECT_EQ(again.read, 0);
  ASSERT_EQ(Api().DAQmxStopTask(task.Handle()), 0);
  ASSERT_EQ(Api().DAQmxStartTask(task.Handle()), 0);
  const auto restarted = task.Read(10, 1.0, 10);
  EXPECT_EQ(restarted.status, 0);
  EXPECT_EQ(restarted.read, 10);
}

TEST_F(Reading, ReaderKeepingUpNeverOverruns) {
  testsupport::SimConfigFile file(TaskExport("Small", "Sim.BufferSize = 100", {""}));
  LoadedTask task("Small");
  ASSERT_EQ(Api().DAQmxStartTask(task.Handle()), 0);
  int32 total = 0;
  for (int i = 0; i < 10; ++i) {
    const auto result = task.Read(10, 1.0, 10);
    ASSERT_EQ(result.status, 0) << "read " << i;
    total += result.read;
  }
  EXPECT_EQ(total, 100);
}

TEST_F(Reading, ArgumentsAreCheckedBeforeReading) {
  struct Case {
    int32 samples;
    daqmx::bool32 fill;
    uInt32 size;
    int32 status;
  };
  const Case cases[] = {{3, val::kGroupByScanNumber, 10, st::kReadBufferTooSmall},  // 4 channels
                        {1, val::kGroupByScanNumber, 0, st::kReadBufferTooSmall},
                        {1, 7, 4, kInvalidAttributeValue},
                        {-2, val::kGroupByChannel, 4, kInvalidAttributeValue},
                        {0, val::kGroupByChannel, 4, 0}};
  LoadedTask task("Demo4ch");
  for (const auto& c : cases) {
    std::vector<float64> data(c.size);
    int32 read = -1;
    EXPECT_EQ(Api().DAQmxReadAnalogF64(task.Handle(), c.samples, 1.0, c.fill, c.size ? data.data() : nullptr, c.size,
                                       &read, nullptr),
              c.status)
        << c.samples << " " << c.fill << " " << c.size;
    EXPECT_EQ(read, 0);
  }
}

// Channel 0 counts samples, channel 1 is constant: the layout shows in the data.
std::string LayoutExport() {
  return TaskExport("Layout", "Sim.FreeRunning = 1",
                    {"Sim.Signal = Counter\nAI.Max = 64000\nAI.Min = 0", "Sim.Signal = Constant\nSim.Value = -3"});
}

TEST_F(Reading, FillModesLayOutChannelsOrScans) {
  testsupport::SimConfigFile file(LayoutExport());
  LoadedTask task("Layout");
  const auto by_scan = task.Read(4, 0.0, 4, val::kGroupByScanNumber);
  const auto by_channel = task.Read(4, 0.0, 4, val::kGroupByChannel);
  EXPECT_EQ(by_scan.data, (std::vector<float64>{0, -3, 1, -3, 2, -3, 3, -3}));
  EXPECT_EQ(by_channel.data, (std::vector<float64>{0, 1, 2, 3, -3, -3, -3, -3}));
}

TEST_F(Reading, PartialReadByChannelIsPacked) {
  testsupport::SimConfigFile file(
      TaskExport("Layout", "SampQuant.SampMode = Finite Samples\nSampQuant.SampPerChan = 3\nSim.FreeRunning = 1",
                 {"Sim.Signal = Counter\nAI.Max = 64000\nAI.Min = 0", "Sim.Signal = Constant\nSim.Value = 7"}));
  LoadedTask task("Layout");
  const auto result = task.Read(5, 0.0, 5, val::kGroupByChannel);
  EXPECT_EQ(result.status, st::kSamplesWillNeverBeAvailable);
  EXPECT_EQ(result.data, (std::vector<float64>{0, 1, 2, 7, 7, 7}));
}

TEST_F(Reading, RestartBeginsAtSampleZero) {
  testsupport::SimConfigFile file(LayoutExport());
  LoadedTask task("Layout");
  ASSERT_EQ(Api().DAQmxStartTask(task.Handle()), 0);
  EXPECT_EQ(task.Read(5, 0.0, 5).data[8], 4.0);
  ASSERT_EQ(Api().DAQmxStopTask(task.Handle()), 0);
  ASSERT_EQ(Api().DAQmxStartTask(task.Handle()), 0);
  EXPECT_EQ(task.Read(1, 0.0, 1).data[0], 0.0);
}

TEST_F(Reading, BinaryReadGivesCodesOfTheLargerLimit) {
  testsupport::SimConfigFile file(TaskExport(
      "Raw", "Sim.FreeRunning = 1",
      {"Sim.Signal = Constant\nSim.Value = 5", "Sim.Signal = Constant\nSim.Value = -5\nAI.Max = 1\nAI.Min = -5",
       "Sim.Signal = Constant\nSim.Value = 2.5\nAI.Max = 5\nAI.Min = 0"}));
  LoadedTask task("Raw");
  std::vector<daqmx::int16> codes(6, 0);
  int32 read = 0;
  ASSERT_EQ(Api().DAQmxReadBinaryI16(task.Handle(), 2, 0.0, val::kGroupByChannel, codes.data(), 6, &read, nullptr), 0);
  EXPECT_EQ(read, 2);
  EXPECT_EQ(codes, (std::vector<daqmx::int16>{16384, 16384, -32767, -32767, 16384, 16384}));
}

int32 DriverCode(float64 value, float64 min, float64 max) {
  return static_cast<int32>(std::lround((value - (min + max) / 2) * 64000 / (max - min)));
}

TEST_F(Reading, CounterSignalEncodesTheSampleIndexExactly) {
  testsupport::SimConfigFile file(
      TaskExport("Count", "Sim.FreeRunning = 1",
                 {"Sim.Signal = Counter\nAI.Max = 10\nAI.Min = -10",
                  "Sim.Signal = Counter\nSim.CounterDivisor = 64001\nAI.Max = 5\nAI.Min = 0",
                  "Sim.Signal = Counter\nSim.CounterDivisor = 3\nAI.Max = 1\nAI.Min = -5"}));
  LoadedTask task("Count");
  const int32 samples = 200000;  // past three wraps of the low digit and one of the third channel
  const auto result = task.Read(samples, 0.0, static_cast<uInt32>(samples));
  ASSERT_EQ(result.read, samples);
  for (int32 k = 0; k < samples; ++k) {
    const float64* scan = &result.data[static_cast<size_t>(k) * 3];
    ASSERT_EQ(DriverCode(scan[0], -10, 10), -32000 + k % 64001) << k;
    ASSERT_EQ(DriverCode(scan[1], 0, 5), -32000 + k / 64001) << k;
    ASSERT_EQ(DriverCode(scan[2], -5, 1), -32000 + (k / 3) % 64001) << k;
  }
  EXPECT_EQ(result.data[64000 * 3], 10.0);  // the range limits themselves
  EXPECT_EQ(result.data[64001 * 3], -10.0);
}

TEST_F(Reading, SignalsAreTheSameOnEveryRun) {
  testsupport::SimConfigFile file(TaskExport("Sine", "Sim.FreeRunning = 1", {"", ""}));
  std::vector<float64> first;
  {
    LoadedTask task("Sine");
    first = task.Read(300, 0.0, 300).data;
  }
  LoadedTask task("Sine");
  EXPECT_EQ(task.Read(300, 0.0, 300).data, first);
}

}  // namespace
}  // namespace simtest

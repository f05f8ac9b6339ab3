// Reading: pacing by the sample clock, timeouts, finite and on-demand tasks,
// free-running mode, fill modes, raw codes and the simulated signals.
#include <cmath>
#include <numbers>
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

TEST_F(Reading, ReadWaitsForItsSamples) {
  testsupport::SimConfigFile file(TaskExport("Paced", "", {""}));
  LoadedTask task("Paced");
  ASSERT_EQ(Api().DAQmxStartTask(task.Handle()), 0);
  const auto start = Clock::now();
  const auto result = task.Read(100, 2.0, 100);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.read, 100);
  EXPECT_GE(SecondsSince(start), 0.095);
  EXPECT_LT(SecondsSince(start), 1.0);
}

TEST_F(Reading, TimeoutReturnsWhatArrivedWithNotYetAvailable) {
  testsupport::SimConfigFile file(TaskExport("Paced", "", {""}));
  LoadedTask task("Paced");
  ASSERT_EQ(Api().DAQmxStartTask(task.Handle()), 0);
  const auto start = Clock::now();
  const auto result = task.Read(1000, 0.1, 1000);
  const double elapsed = SecondsSince(start);
  EXPECT_EQ(result.status, st::kSamplesNotYetAvailable);
  EXPECT_GE(elapsed, 0.095);
  EXPECT_GE(result.read, 90);
  EXPECT_LE(result.read, static_cast<int32>(std::ceil(elapsed * 1000)) + 1);
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
  const auto all = task.Read(val::kAllAvailable, 1.0, 100);
  EXPECT_EQ(all.status, 0);
  EXPECT_EQ(all.read, 50);
  EXPECT_EQ(Api().DAQmxIsTaskDone(task.Handle(), &done), 0);
  EXPECT_EQ(done, 1u);
  const auto past_end = task.Read(1, 1.0, 1);
  EXPECT_EQ(past_end.status, st::kSamplesWillNeverBeAvailable);
  EXPECT_EQ(past_end.read, 0);
}

TEST_F(Reading, FiniteReadBeyondTheEndGetsTheRestAndNeverAvailable) {
  testsupport::SimConfigFile file(
      TaskExport("Finite", "SampQuant.SampMode = Finite Samples\nSampQuant.SampPerChan = 30", {""}));
  LoadedTask task("Finite");
  ASSERT_EQ(Api().DAQmxStartTask(task.Handle()), 0);
  const auto result = task.Read(80, 1.0, 80);
  EXPECT_EQ(result.status, st::kSamplesWillNeverBeAvailable);
  EXPECT_EQ(result.read, 30);
}

TEST_F(Reading, ReadOnAnIdleTaskStartsAndStopsIt) {
  testsupport::SimConfigFile file(
      TaskExport("Finite", "SampQuant.SampMode = Finite Samples\nSampQuant.SampPerChan = 20", {""}));
  LoadedTask task("Finite");
  const auto first = task.Read(val::kAllAvailable, 1.0, 20);
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(first.read, 20);
  daqmx::bool32 done = 0;
  EXPECT_EQ(Api().DAQmxIsTaskDone(task.Handle(), &done), 0);
  EXPECT_EQ(done, 1u);
  // Stopped again, so the next read is a fresh acquisition.
  const auto second = task.Read(val::kAllAvailable, 1.0, 20);
  EXPECT_EQ(second.status, 0);
  EXPECT_EQ(second.read, 20);
}

TEST_F(Reading, OnDemandReturnsAtOnce) {
  testsupport::SimConfigFile file(TaskExport("Single", "SampTimingType = On Demand\nSampClk.Rate = 1",
                                             {"", "AI.MeasType = Current\nAI.Max = 0.02\nAI.Min = -0.02"}));
  LoadedTask task("Single");
  const auto start = Clock::now();
  const auto one = task.Read(val::kAllAvailable, 0.0, 1);
  const auto three = task.Read(3, 0.0, 3);
  EXPECT_LT(SecondsSince(start), 1.0);  // paced at 1 S/s this would take seconds
  EXPECT_EQ(one.status, 0);
  EXPECT_EQ(one.read, 1);
  EXPECT_EQ(three.status, 0);
  EXPECT_EQ(three.read, 3);
  ASSERT_EQ(one.data.size(), 2u);
  EXPECT_LE(std::abs(one.data[0]), 10.0);
  EXPECT_LE(std::abs(one.data[1]), 0.02);
}

TEST_F(Reading, BuiltInOnDemandTaskReadsOneScan) {
  LoadedTask task("OnDemand");
  const auto scan = task.Read(val::kAllAvailable, 1.0, 1);
  EXPECT_EQ(scan.status, 0);
  EXPECT_EQ(scan.read, 1);
}

TEST_F(Reading, FreeRunningTaskDeliversAsFastAsRead) {
  testsupport::SimConfigFile file(TaskExport("Fast", "Sim.FreeRunning = 1", {"", ""}));
  LoadedTask task("Fast");
  ASSERT_EQ(Api().DAQmxStartTask(task.Handle()), 0);
  const auto result = task.Read(50000, 0.0, 50000);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.read, 50000);
}

TEST_F(Reading, FreeRunningVariableAppliesToEveryTask) {
  testsupport::ScopedEnv free_running("NIDAQMX_SIM_FREE_RUNNING", "1");
  LoadedTask task("Demo4ch");
  ASSERT_EQ(Api().DAQmxStartTask(task.Handle()), 0);
  const auto result = task.Read(5000, 0.0, 5000);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.read, 5000);
}

TEST_F(Reading, WithoutFreeRunningTheSameReadIsShort) {
  LoadedTask task("Demo4ch");
  ASSERT_EQ(Api().DAQmxStartTask(task.Handle()), 0);
  const auto result = task.Read(5000, 0.0, 5000);
  EXPECT_EQ(result.status, st::kSamplesNotYetAvailable);
  EXPECT_LT(result.read, 500);
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

TEST_F(Reading, ArrayTooSmallIsRefused) {
  LoadedTask task("Demo4ch");
  std::vector<float64> data(10);
  int32 read = -1;
  EXPECT_EQ(Api().DAQmxReadAnalogF64(task.Handle(), 3, 1.0, val::kGroupByScanNumber, data.data(), 10, &read, nullptr),
            st::kReadBufferTooSmall);
  EXPECT_EQ(read, 0);
  EXPECT_EQ(Api().DAQmxReadAnalogF64(task.Handle(), 1, 1.0, val::kGroupByScanNumber, nullptr, 4, &read, nullptr),
            st::kReadBufferTooSmall);
}

TEST_F(Reading, BadArgumentsAreRefused) {
  LoadedTask task("OnDemand");
  std::vector<float64> data(4);
  int32 read = -1;
  EXPECT_EQ(Api().DAQmxReadAnalogF64(task.Handle(), 1, 0.0, 7, data.data(), 4, &read, nullptr), kInvalidAttributeValue);
  EXPECT_EQ(Api().DAQmxReadAnalogF64(task.Handle(), -2, 0.0, 0, data.data(), 4, &read, nullptr),
            kInvalidAttributeValue);
  EXPECT_EQ(Api().DAQmxReadAnalogF64(task.Handle(), 0, 0.0, 0, data.data(), 4, &read, nullptr), 0);
  EXPECT_EQ(read, 0);
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
  const int32 samples = 130000;  // past two wraps of the low digit
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

TEST_F(Reading, RampSweepsTheRangeOverItsPeriod) {
  testsupport::SimConfigFile file(
      TaskExport("Ramp", "Sim.FreeRunning = 1", {"Sim.Signal = Ramp\nSim.Period = 5\nAI.Max = 4\nAI.Min = 0"}));
  LoadedTask task("Ramp");
  EXPECT_EQ(task.Read(7, 0.0, 7).data, (std::vector<float64>{0, 1, 2, 3, 4, 0, 1}));
}

// Amplitude and phase of the component with `period` samples per cycle.
std::pair<double, double> Fundamental(const std::vector<float64>& data, size_t channels, size_t channel,
                                      double period) {
  double re = 0;
  double im = 0;
  const size_t n = data.size() / channels;
  for (size_t k = 0; k < n; ++k) {
    const double angle = 2 * std::numbers::pi * static_cast<double>(k) / period;
    re += data[k * channels + channel] * std::cos(angle);
    im += data[k * channels + channel] * std::sin(angle);
  }
  return {2 * std::hypot(re, im) / static_cast<double>(n), std::atan2(-re, im) * 180 / std::numbers::pi};
}

TEST_F(Reading, DefaultSignalIsANoisyFullScaleSineFiveDegreesPerChannel) {
  testsupport::SimConfigFile file(TaskExport("Sine", "Sim.FreeRunning = 1", {"", "", "", "AI.Max = 5\nAI.Min = 0"}));
  LoadedTask task("Sine");
  const auto result = task.Read(1000, 0.0, 1000);  // ten periods of 100 samples
  ASSERT_EQ(result.read, 1000);
  const double phase0 = Fundamental(result.data, 4, 0, 100).second;
  for (size_t c = 0; c < 4; ++c) {
    SCOPED_TRACE(c);
    const double half = c == 3 ? 2.5 : 10.0;
    const double middle = c == 3 ? 2.5 : 0.0;
    const auto [amplitude, phase] = Fundamental(result.data, 4, c, 100);
    EXPECT_NEAR(amplitude, half, 0.01 * half);
    EXPECT_NEAR(phase - phase0, 5.0 * static_cast<double>(c), 0.5);
    double largest_noise = 0;
    for (size_t k = 0; k < 1000; ++k) {
      const double value = result.data[k * 4 + c];
      const double ideal = middle + half * std::sin(2 * std::numbers::pi * static_cast<double>(k) / 100 -
                                                    5.0 * static_cast<double>(c) * std::numbers::pi / 180);
      ASSERT_GE(value, middle - half);
      ASSERT_LE(value, middle + half);
      largest_noise = std::max(largest_noise, std::abs(value - ideal));
    }
    EXPECT_LE(largest_noise, 0.03 * half + 1e-9);
    EXPECT_GE(largest_noise, 0.02 * half);  // there is noise
  }
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

TEST_F(Reading, OnDemandSignalMovesOnBetweenReads) {
  testsupport::SimConfigFile file(
      TaskExport("Single", "SampTimingType = On Demand", {"Sim.Signal = Counter\nAI.Max = 64000\nAI.Min = 0"}));
  LoadedTask task("Single");
  EXPECT_EQ(task.Read(1, 0.0, 1).data, std::vector<float64>{0});
  EXPECT_EQ(task.Read(2, 0.0, 2).data, (std::vector<float64>{1, 2}));
  EXPECT_EQ(task.Read(1, 0.0, 1).data, std::vector<float64>{3});
}

}  // namespace
}  // namespace simtest

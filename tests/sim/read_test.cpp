// Reading: pacing by the sample clock, timeouts, finite tasks, overruns, fill
// modes, the simulator's fault keys, and readers woken by stop or clear.
#include <future>
#include <thread>

#include "tests/sim/sim_api.h"

namespace simtest {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

class Reading : public SimTest {};

TEST_F(Reading, ContinuousReadsArePacedByTheSampleClock) {
  testsupport::SimConfigFile file(Tasks().Add("Paced", "", {"", ""}).Text());
  const LoadedTask task("Paced");
  const auto started = Clock::now();
  ASSERT_EQ(Api().DAQmxStartTask(task.handle), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  const auto all = task.Read(val::kAllAvailable, 0.0, 1000);
  EXPECT_TRUE(all.status == 0 && all.read >= 150 && all.read <= SecondsSince(started) * 1000 + 1) << all.read;
  // A read waits for its samples up to the timeout and keeps what came; with a timeout of 0 it does not wait.
  EXPECT_EQ(task.Read(100, 2.0, 100).read, 100);
  const auto timed_out = task.Read(1000, 0.1, 1000);
  EXPECT_TRUE(timed_out.status == st::kSamplesNotYetAvailable && timed_out.read >= 90) << timed_out.read;
  EXPECT_LT(Value<uInt32>(Api().DAQmxGetReadAvailSampPerChan, task.handle), 50u);
  EXPECT_EQ(task.Read(5000, 0.0, 5000).status, st::kSamplesNotYetAvailable);
}

// A finite task of 6 scans: channel 0 counts samples, channel 1 is constant, so the layout shows in the data.
TEST_F(Reading, FiniteTaskInEitherFillModeEndsAfterItsSamples) {
  testsupport::SimConfigFile file(
      Tasks().Add("Layout", "SampQuant.SampMode = Finite Samples\nSampQuant.SampPerChan = 6\nSim.FreeRunning = 1",
                  {"Sim.Signal = Counter\nAI.Max = 64000\nAI.Min = 0", "Sim.Signal = Constant\nSim.Value = -3"})
          .Text());
  const LoadedTask task("Layout");
  ASSERT_EQ(Api().DAQmxStartTask(task.handle), 0);
  EXPECT_EQ(task.Read(2, 0.0, 2, val::kGroupByScanNumber).data, (std::vector<float64>{0, -3, 1, -3}));
  EXPECT_EQ(Value<bool32>(Api().DAQmxIsTaskDone, task.handle), 0u);
  EXPECT_EQ(task.Read(2, 0.0, 2, val::kGroupByChannel).data, (std::vector<float64>{2, 3, -3, -3}));
  const auto rest = task.Read(5, 0.0, 5, val::kGroupByChannel);  // only 2 left: packed as 2 per channel
  EXPECT_EQ(rest.status, st::kSamplesWillNeverBeAvailable);
  EXPECT_EQ(rest.data, (std::vector<float64>{4, 5, -3, -3}));
  ASSERT_EQ(Api().DAQmxStopTask(task.handle), 0);
  // Each read of the stopped task is a whole acquisition; codes are by the larger limit (64000 V, 10 V).
  EXPECT_EQ(task.Read(val::kAllAvailable, 1.0, 10).data,
            (std::vector<float64>{0, -3, 1, -3, 2, -3, 3, -3, 4, -3, 5, -3}));
  int16 codes[6];
  int32 read = 0;
  EXPECT_EQ(Api().DAQmxReadBinaryI16(task.handle, 3, 0.0, val::kGroupByScanNumber, codes, 6, &read, nullptr), 0);
  EXPECT_EQ(std::vector<int16>(codes, codes + 6), (std::vector<int16>{0, -9830, 1, -9830, 1, -9830}));
  ASSERT_EQ(Api().DAQmxSetTimingAttribute(task.handle, 0x1347, val::kOnDemand), 0);  // each read takes new scans
  EXPECT_EQ(task.Read(1, 0.0, 1).data, (std::vector<float64>{3, -3}));
  EXPECT_EQ(task.Read(1, 0.0, 1).data, (std::vector<float64>{4, -3}));
}

// "Requested Value: 2000001" from "SampClk.Rate = 2000001": the text must show why the value fails.
std::string Requested(const std::string& keys) {
  const auto equals = keys.find(" = ");
  return "Requested Value: " + (keys.rfind("Sim.", 0) == 0 ? "1000" : keys.substr(equals + 3));
}

// Each task is started, read, stopped and started again; a lost device stays lost until loaded anew.
TEST_F(Reading, FaultKeysAndTheDeviceRateLimit) {
  // The statuses of start, read and restart; samples asked for and read.
  struct Row { const char* keys; int32 start, samples, status, read, restart; } const rows[] = {
      {"Sim.FailStart = -50103", -50103, 1, -50103, 0, -50103},
      {"Sim.FreeRunning = 1\nSim.FailReadAfter = 100\nSim.FailReadStatus = -200361", 0, 160, -200361, 100, 0},
      {"Sim.FailReadAfter = 20\nSim.FailReadStatus = -200361", 0, 500, -200361, 20, 0},  // without waiting 5 s
      {"Sim.FreeRunning = 1\nSim.LoseDeviceAfter = 30", 0, 50, st::kDeviceCannotBeAccessed, 30,
       st::kDeviceCannotBeAccessed},
      {"Sim.MaxRate = 500", kInvalidAttributeValue, 1, kInvalidAttributeValue, 0, kInvalidAttributeValue},
      {"SampClk.Rate = 2000000\nSim.FreeRunning = 1", 0, 10, 0, 10, 0},  // a PCIe-6363's limit for one channel
      {"SampClk.Rate = 2000001", kInvalidAttributeValue, 1, kInvalidAttributeValue, 0, kInvalidAttributeValue},
      {"Sim.BufferSize = 20", 0, 30, st::kSamplesNoLongerAvailable, 0, 0},  // a read longer than the buffer
      {"SampClk.Rate = 0", kInvalidAttributeValue, 1, kInvalidAttributeValue, 0, kInvalidAttributeValue}};
  Tasks tasks;
  for (const Row& row : rows) tasks.Add("T" + std::to_string(&row - rows), row.keys, {""});
  testsupport::SimConfigFile file(tasks.Add("Broken", "Sim.FailLoad = -200220", {""}).Text());
  EXPECT_EQ(LoadedTask("Broken").status, st::kInvalidDeviceId);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.keys);
    const LoadedTask task("T" + std::to_string(&row - rows));
    EXPECT_EQ(Api().DAQmxStartTask(task.handle), row.start);
    if (row.start == kInvalidAttributeValue) {
      EXPECT_THAT(ExtendedError(), HasSubstr(Requested(row.keys)));
    }
    const auto start = Clock::now();
    const auto first = task.Read(row.samples, 5.0, static_cast<uInt32>(row.samples));
    EXPECT_EQ(std::make_pair(first.status, first.read), std::make_pair(row.status, row.read));
    EXPECT_LT(SecondsSince(start), 1.0);
    EXPECT_EQ(Api().DAQmxStopTask(task.handle), 0);
    EXPECT_EQ(Api().DAQmxStartTask(task.handle), row.restart);
  }
  EXPECT_EQ(Api().DAQmxStartTask(LoadedTask("T3").handle), 0);  // the lost device, loaded anew
}

// A read of 10 s worth of samples, with no timeout, ends early only when stopped or cleared.
TEST_F(Reading, StopAndClearWakeABlockedReader) {
  const std::pair<bool, bool> cases[] = {{false, false}, {true, false}, {true, true}};  // started first, cleared
  for (const auto& [started_first, clear] : cases) {
    SCOPED_TRACE(testing::Message() << "started first " << started_first << ", cleared " << clear);
    const LoadedTask task("Demo4ch");
    ASSERT_EQ(started_first ? Api().DAQmxStartTask(task.handle) : 0, 0);
    auto reader = std::async(std::launch::async, [&] { return task.Read(10000, val::kWaitInfinitely, 10000); });
    // Repeated, as a loaded machine may run the first one before the reader waits.
    for (int tries = 0; tries < 20 && reader.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready;
         ++tries) {
      clear ? Api().DAQmxClearTask(task.handle) : Api().DAQmxStopTask(task.handle);
    }
    ASSERT_EQ(reader.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    const auto woken = reader.get();
    EXPECT_EQ(std::make_pair(woken.status, woken.read),
              std::make_pair(clear ? st::kInvalidTask : st::kSamplesWillNeverBeAvailable, 0));
  }
}

}  // namespace
}  // namespace simtest

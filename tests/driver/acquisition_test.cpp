// Recording through the driver object against the simulated NI-DAQmx:
// timing choices, transfer, continuity of every frame, finite and on-demand
// tasks, start failures, and stop/start cycles.
#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <random>
#include <thread>

#include "driver/convert.h"
#include "driver/engine.h"
#include "driver/ni_daqmx_task.h"
#include "driver/state.h"
#include "platform/system.h"
#include "tests/driver/ini.h"
#include "tests/support/allocation_limit.h"
#include "tests/support/sim_env.h"

namespace {

using driver::NI_DAQmx_Task;
using std::chrono::milliseconds;
using testini::Channel;
using testini::Task;
using testini::TaskSection;

template <typename Body>
void OnFreshThread(Body body) {
  std::thread thread(body);
  thread.join();
}

// Waits until `done` holds or about two seconds have passed.
template <typename Done>
bool Eventually(Done done) {
  for (int i = 0; i < 400 && !done(); ++i) std::this_thread::sleep_for(milliseconds(5));
  return done();
}

// Two counting channels: together they number every frame (low and high digit).
std::string CountingTask(const std::string& extra) {
  return TaskSection("Count", {"low", "high"}, extra) +
         Channel("Count", "low", "Dev1/ai0|-10|10|Voltage", "Analog Input", "Sim.Signal = Counter\n") +
         Channel("Count", "high", "Dev1/ai1|-10|10|Voltage", "Analog Input",
                 "Sim.Signal = Counter\nSim.CounterDivisor = 64001\n");
}

std::int64_t FrameNumber(const std::int16_t* frame) {
  return (static_cast<std::int64_t>(frame[1]) + 32000) * 64001 + (frame[0] + 32000);
}

TEST(Timing, BlockAndTimeoutFollowTheRateAndRing) {
  // At 25 x 2^k S/s a power of two lasts exactly 40 ms, and that block is enough.
  const struct {
    int rate;
    std::int32_t block;
  } cases[] = {{1000, 64}, {100, 4}, {400, 16}, {12800, 512}, {102400, 4096}};
  for (const auto& c : cases) {
    testini::SimConfig config(
        Task("Tsk", "Dev1/ai0", "Analog Input", "SampClk.Rate = " + std::to_string(c.rate) + "\n"));
    OnFreshThread([&] {
      NI_DAQmx_Task adc;
      ASSERT_TRUE(adc.Test());
      adc.SetInputSizeData(65536);
      ASSERT_TRUE(adc.StartRecord()) << adc.LastError();
      EXPECT_EQ(adc.State().mBlockKadrs, c.block) << c.rate << " S/s";
      EXPECT_DOUBLE_EQ(adc.State().mTimeout, c.block / static_cast<double>(c.rate) * 5 + 0.05) << c.rate << " S/s";
      adc.StopRecord();
    });
  }
}

TEST(Timing, DoublingBesideTheLargestRingEnds) {
  EXPECT_EQ(driver::BlockKadrs(1e12, std::numeric_limits<std::int32_t>::max()), 1 << 30);
}

TEST(Timing, SmallRingStopsTheDoubling) {
  testini::SimConfig config(Task("Tsk", "Dev1/ai0:63", "Analog Input",
                                         "SampClk.Rate = 10000\nSim.FreeRunning = 1\n"));
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    ASSERT_TRUE(adc.Test());
    adc.SetInputSizeData(1024);
    ASSERT_TRUE(adc.StartRecord()) << adc.LastError();
    EXPECT_EQ(adc.InputSizeKadrs(), 16);
    EXPECT_EQ(adc.State().mBlockKadrs, 8);
    adc.StopRecord();
  });
}

TEST(Timing, OnDemandTaskReadsOneFrameAtAHundredPerSecond) {
  testini::SimConfig config(Task("Tsk", "Dev1/ai0:1", "Analog Input", "SampTimingType = On Demand\n"));
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    ASSERT_TRUE(adc.Test());
    ASSERT_TRUE(adc.StartRecord()) << adc.LastError();
    EXPECT_EQ(adc.Rate(), 100.0f);
    EXPECT_EQ(adc.State().mBlockKadrs, 1);
    EXPECT_TRUE(Eventually([&] { return adc.InputCountKadrs() > 0; }));
    adc.StopRecord();
  });
}

TEST(Timing, OtherSampleModesReadOneFrameAtATime) {
  testini::SimConfig config(Task("Tsk", "Dev1/ai0", "Analog Input",
                                         "SampQuant.SampMode = Hardware Timed Single Point\n"));
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    ASSERT_TRUE(adc.Test());
    ASSERT_TRUE(adc.StartRecord()) << adc.LastError();
    EXPECT_EQ(adc.State().mBlockKadrs, 1);
    adc.StopRecord();
  });
}

TEST(Timing, OffsetsSwitchTheSubtractionOnForAllChannels) {
  testini::SimConfig config(TaskSection("Tsk", {"a", "b"}) + Channel("Tsk", "a", "Dev1/ai0|-10|10|Voltage") +
                                    Channel("Tsk", "b", "Dev1/ai1|0|10|Voltage"));
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    ASSERT_TRUE(adc.Test());
    ASSERT_TRUE(adc.StartRecord()) << adc.LastError();
    EXPECT_TRUE(adc.State().mPattern.HasOffset());
    adc.StopRecord();
  });
}

// CTest runs the transfer tests once per kernel with NIADC_CONVERT_KERNEL set.
TEST(Transfer, TheEnvironmentChoosesTheKernel) {
  const auto forced = platform::GetEnv("NIADC_CONVERT_KERNEL");
  if (!forced) GTEST_SKIP() << "only in the runs with a forced kernel";
  for (const driver::Kernel& k : driver::Kernels()) {
    if (k.name == *forced && !k.supported) GTEST_SKIP() << k.name << " is not supported by this processor";
  }
  EXPECT_EQ(driver::SelectedKernel().name, *forced);
}

TEST(Transfer, ConstantSignalsBecomeTheirCodes) {
  testini::SimConfig config(
      TaskSection("Tsk", {"a", "b", "c"}) +
      Channel("Tsk", "a", "Dev1/ai0|-10|10|Voltage", "Analog Input", "Sim.Signal = Constant\nSim.Value = 10\n") +
      Channel("Tsk", "b", "Dev1/ai1|0|10|Voltage", "Analog Input", "Sim.Signal = Constant\nSim.Value = 0\n") +
      Channel("Tsk", "c", "Dev1/ai2|-10|10|Voltage", "Analog Input", "Sim.Signal = Constant\nSim.Value = 20\n"));
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    ASSERT_TRUE(adc.Test());
    EXPECT_EQ(adc.GetChannel(0), 32000);
    EXPECT_EQ(adc.GetChannel(1), -32000);
    EXPECT_EQ(adc.GetChannel(2), 32767);  // twice the limit clips, never wraps
    ASSERT_TRUE(adc.StartRecord()) << adc.LastError();
    std::vector<std::int16_t> buffer(30);
    std::int32_t size = 0;
    std::int32_t waiting = 0;
    ASSERT_TRUE(Eventually([&] {
      size = 30;
      return adc.GetData(buffer.data(), size, waiting) > 0;
    }));
    EXPECT_EQ(size % 3, 0);
    for (std::int32_t i = 0; i < size; i += 3) {
      EXPECT_EQ(buffer[i], 32000);
      EXPECT_EQ(buffer[i + 1], -32000);
      EXPECT_EQ(buffer[i + 2], 32767);
    }
    adc.StopRecord();
  });
}

TEST(Transfer, GetDataDeliversWholeFramesWithinTheCapacity) {
  testini::SimConfig config(CountingTask("SampClk.Rate = 1000\n"));
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    ASSERT_TRUE(adc.Test());
    ASSERT_TRUE(adc.StartRecord()) << adc.LastError();
    ASSERT_TRUE(Eventually([&] { return adc.InputCountKadrs() >= 3; }));
    adc.StopRecord();
    std::vector<std::int16_t> buffer(8, 77);
    std::int32_t size = 1;  // below one frame: nothing
    std::int32_t waiting = 0;
    EXPECT_EQ(adc.GetData(buffer.data(), size, waiting), 0);
    EXPECT_EQ(size, 0);
    EXPECT_GE(waiting, 6);
    size = -5;
    EXPECT_EQ(adc.GetData(buffer.data(), size, waiting), 0);
    EXPECT_EQ(size, 0);
    size = 8;
    EXPECT_EQ(adc.GetData(nullptr, size, waiting), 0);
    EXPECT_EQ(size, 0);
    size = 5;  // two frames fit
    EXPECT_EQ(adc.GetData(buffer.data(), size, waiting), 2);
    EXPECT_EQ(size, 4);
    EXPECT_EQ(buffer[4], 77);  // never beyond the frames delivered
    EXPECT_EQ(FrameNumber(&buffer[0]), 0);
    EXPECT_EQ(FrameNumber(&buffer[2]), 1);
    EXPECT_EQ(waiting, adc.InputCountKadrs() * 2);
    EXPECT_EQ(adc.InputCountData(), waiting);
  });
}

TEST(Transfer, InputDataHasTheChannelTableColumnAndEmptiesTheRing) {
  testini::SimConfig config(
      Task("Tsk", "Dev1/ai0:3", "Analog Input", "SampQuant.SampMode = Finite Samples\nSampQuant.SampPerChan = 3\n"));
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    ASSERT_TRUE(adc.Test());
    ASSERT_TRUE(adc.StartRecord()) << adc.LastError();
    ASSERT_TRUE(Eventually([&] { return adc.InputCountKadrs() == 3; }));
    const auto table = adc.InputData();
    EXPECT_EQ(table.rows, 4);
    EXPECT_EQ(table.columns, 4);
    EXPECT_EQ((std::vector<std::int16_t>(table.codes.begin(), table.codes.begin() + 4)),
              (std::vector<std::int16_t>{0, 1, 2, 3}));
    EXPECT_EQ(adc.InputCountKadrs(), 0);
    EXPECT_EQ(adc.InputCountData(), 0);
    // Everything fetched: the finite acquisition ends by itself.
    EXPECT_TRUE(Eventually([&] { return !adc.Busy(); }));
    const auto empty = adc.InputData();
    EXPECT_EQ(empty.columns, 1);
    EXPECT_EQ(empty.codes, (std::vector<std::int16_t>{0, 1, 2, 3}));
  });
}

TEST(Finite, OneReadFetchesItAllAndBusyFallsAfterTheLastFetch) {
  testini::SimConfig config(CountingTask(
      "SampClk.Rate = 100000\nSampQuant.SampMode = Finite Samples\nSampQuant.SampPerChan = 1000\n"));
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    ASSERT_TRUE(adc.Test());
    adc.SetInputSizeData(131072);
    ASSERT_TRUE(adc.StartRecord()) << adc.LastError();
    EXPECT_EQ(adc.InputSizeKadrs(), 65536);
    EXPECT_EQ(adc.State().mBlockKadrs, 1000);
    ASSERT_TRUE(Eventually([&] { return adc.InputCountKadrs() == 1000; }));
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_TRUE(adc.Busy());  // waits for the host to fetch
    std::vector<std::int16_t> buffer(2 * 600);
    std::int32_t size = 1200;
    std::int32_t waiting = 0;
    EXPECT_EQ(adc.GetData(buffer.data(), size, waiting), 600);
    EXPECT_EQ(waiting, 800);
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_TRUE(adc.Busy());
    size = 1200;
    EXPECT_EQ(adc.GetData(buffer.data(), size, waiting), 400);
    EXPECT_EQ(FrameNumber(&buffer[2 * 399]), 999);
    EXPECT_TRUE(Eventually([&] { return !adc.Busy(); }));
    EXPECT_EQ(driver::LiveWorkers(), 0);
  });
}

// The host fetches with GetData and InputData in irregular sizes and at
// irregular moments, with a small ring: every frame arrives once and in order.
void ReceiveEveryFrame(std::int32_t ring_request, std::int64_t total) {
  NI_DAQmx_Task adc;
  ASSERT_TRUE(adc.Test());
  adc.SetInputSizeData(ring_request);
  ASSERT_TRUE(adc.StartRecord()) << adc.LastError();
  std::mt19937 random(12345);
  std::vector<std::int16_t> buffer(4096);
  std::int64_t expected = 0;
  std::int64_t wrong = 0;
  auto check = [&](const std::int16_t* frames, std::int64_t count) {
    for (std::int64_t f = 0; f < count; ++f, ++expected) wrong += FrameNumber(frames + 2 * f) != expected;
  };
  while (expected < total && wrong == 0) {
    const std::int64_t before = expected;
    if (random() % 10 == 0) {
      const auto table = adc.InputData();
      check(table.codes.data() + 2, table.columns - 1);
    } else {
      std::int32_t size = static_cast<std::int32_t>(1 + random() % buffer.size());
      std::int32_t waiting = 0;
      check(buffer.data(), adc.GetData(buffer.data(), size, waiting));
    }
    if (expected == before) {
      std::this_thread::sleep_for(std::chrono::microseconds(50));  // a host polls
    } else if (random() % 200 == 0) {
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));  // the ring fills: back-pressure
    }
  }
  adc.StopRecord();
  EXPECT_EQ(wrong, 0) << "first wrong frame near " << expected;
  EXPECT_GE(expected, total);
}

TEST(Continuity, TenMillionFramesThroughASmallRing) {
  testini::SimConfig config(CountingTask("SampClk.Rate = 100000\nSim.FreeRunning = 1\n"));
  OnFreshThread([] { ReceiveEveryFrame(1500, 10'000'000); });  // 750 frames: blocks wrap at the end
}

TEST(Continuity, TinyRingOfFewFrames) {
  testini::SimConfig config(CountingTask("SampClk.Rate = 400000\nSim.FreeRunning = 1\n"));
  OnFreshThread([] { ReceiveEveryFrame(1024, 1'000'000); });
}

TEST(Continuity, PacedTaskWithHostPauses) {
  testini::SimConfig config(CountingTask("SampClk.Rate = 20000\n"));
  OnFreshThread([] { ReceiveEveryFrame(2048, 10000); });
}

TEST(Failures, SampleClockWithoutRate) {
  testini::SimConfig config(Task("Tsk", "Dev1/ai0", "Analog Input", "SampClk.Rate = 0\n"));
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    ASSERT_TRUE(adc.Test());
    EXPECT_FALSE(adc.StartRecord());
    EXPECT_EQ(adc.LastError(), "No Sampling Rate selected!");
    EXPECT_FALSE(adc.Busy());
  });
}

TEST(Failures, TaskThatWillNotStartGivesNiDaqmxText) {
  testini::SimConfig config(Task("Tsk", "Dev1/ai0", "Analog Input", "Sim.FailStart = -50103\n"));
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    ASSERT_TRUE(adc.Test());
    EXPECT_FALSE(adc.StartRecord());
    EXPECT_FALSE(adc.LastError().empty());
    char text[512] = {};
    testsupport::SimLibrary()->DAQmxGetErrorString(-50103, text, sizeof text);
    EXPECT_EQ(adc.LastError(), text);
    EXPECT_FALSE(adc.Busy());
    EXPECT_EQ(driver::LiveWorkers(), 0);
  });
}

TEST(Failures, FailedReadsKeepTheAcquisitionGoingWithoutSpinning) {
  testini::SimConfig config(
      Task("Tsk", "Dev1/ai0", "Analog Input", "SampClk.Rate = 1000\nSim.FailReadAfter = 10\nSim.FailReadStatus = -200279\n"));
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    ASSERT_TRUE(adc.Test());
    ASSERT_TRUE(adc.StartRecord());
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_TRUE(adc.Busy());
    EXPECT_EQ(adc.LastError(), "");
    adc.StopRecord();
    EXPECT_FALSE(adc.Busy());
  });
}

// Every buffer StartRecord allocates, refused in turn by a smaller memory
// limit: each refusal is the same "Buffer Error 7" and nothing escapes.
TEST(Failures, EveryAllocationThatFailsGivesBufferError7) {
  const struct {
    const char* what;
    const char* channels;
    int rate;
    std::int32_t request;
    std::size_t limit;  // bytes one allocation may have
  } cases[] = {
      {"a ring", "Dev1/ai0", 1000, 1 << 20, 1 << 20},  // 2 MiB of codes
      {"the block", "Dev1/ai0", 1000000, 140000, 400000},  // 280 kB of codes, a block of 512 KiB of samples
      // 63 channels: 8 kB of conversion pattern; the channel model's 63 records stay just below.
      {"the conversion pattern", "Dev1/ai0:62", 10, 1024, 8128},
  };
  for (const auto& c : cases) {
    testini::SimConfig config(
        Task("Tsk", c.channels, "Analog Input", "SampClk.Rate = " + std::to_string(c.rate) + "\n"));
    OnFreshThread([&] {
      NI_DAQmx_Task adc;
      ASSERT_TRUE(adc.Test());
      adc.SetInputSizeData(c.request);
      bool started = true;
      {
        testsupport::AllocationLimit limit(c.limit);
        started = adc.StartRecord();
      }
      EXPECT_FALSE(started) << c.what;
      EXPECT_TRUE(adc.LastError().starts_with("Buffer Error 7: \r\nOut of memory: ")) << adc.LastError();
      EXPECT_NE(adc.LastError().find(c.what), std::string::npos) << adc.LastError();
      EXPECT_FALSE(adc.Busy());
      EXPECT_EQ(driver::LiveWorkers(), 0);
    });
  }
}

TEST(StopStart, StopReturnsPromptlyAndBusyFallsAtOnce) {
  testini::SimConfig config(Task("Tsk", "Dev1/ai0", "Analog Input", "SampClk.Rate = 10\n"));
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    ASSERT_TRUE(adc.Test());
    ASSERT_TRUE(adc.StartRecord());
    EXPECT_FALSE(adc.StartRecord());  // already recording: untouched
    EXPECT_TRUE(adc.Busy());
    const auto before = std::chrono::steady_clock::now();
    adc.StopRecord();
    EXPECT_FALSE(adc.Busy());
    EXPECT_LT(std::chrono::steady_clock::now() - before, milliseconds(1000));
  });
}

TEST(StopStart, ManyQuickCyclesNeverLeaveTwoWorkers) {
  testini::SimConfig config(CountingTask("SampClk.Rate = 100000\nSim.FreeRunning = 1\n"));
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    ASSERT_TRUE(adc.Test());
    adc.SetInputSizeData(4096);
    for (int cycle = 0; cycle < 1000; ++cycle) {
      ASSERT_TRUE(adc.StartRecord()) << cycle << ": " << adc.LastError();
      ASSERT_EQ(driver::LiveWorkers(), 1) << cycle;
      adc.StopRecord();
    }
    // Frames from the last acquisition start at frame 0: the ring was reset.
    std::vector<std::int16_t> buffer(2);
    std::int32_t size = 2;
    std::int32_t waiting = 0;
    if (adc.GetData(buffer.data(), size, waiting) == 1) {
      EXPECT_EQ(FrameNumber(buffer.data()), 0);
    }
  });
  EXPECT_EQ(driver::LiveWorkers(), 0);
}

// Two objects of one thread; either is released while the other's
// acquisition runs. The one left goes on fetching without losing a frame,
// then records again without a new Test.
TEST(Lifetime, EitherOfTwoObjectsMayGoFirst) {
  testini::SimConfig config(CountingTask("SampClk.Rate = 100000\nSim.FreeRunning = 1\n"));
  for (const bool release_first : {true, false}) {
    OnFreshThread([&] {
      auto first = std::make_unique<NI_DAQmx_Task>();
      ASSERT_TRUE(first->Test());
      auto second = std::make_unique<NI_DAQmx_Task>();
      ASSERT_TRUE(first->StartRecord()) << first->LastError();
      std::vector<std::int16_t> buffer(2 * 500);
      std::int64_t expected = 0;
      auto fetch = [&](NI_DAQmx_Task& adc, std::int64_t until) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (expected < until) {
          ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "frames stopped at " << expected;
          std::int32_t size = static_cast<std::int32_t>(buffer.size());
          std::int32_t waiting = 0;
          const std::int32_t frames = adc.GetData(buffer.data(), size, waiting);
          for (std::int32_t f = 0; f < frames; ++f, ++expected) {
            ASSERT_EQ(FrameNumber(&buffer[2 * static_cast<size_t>(f)]), expected) << release_first;
          }
          if (frames == 0) std::this_thread::sleep_for(milliseconds(1));
        }
      };
      fetch(*first, 2000);
      (release_first ? first : second).reset();
      NI_DAQmx_Task& left = release_first ? *second : *first;
      EXPECT_TRUE(left.Busy());
      fetch(left, 20000);
      left.StopRecord();
      EXPECT_TRUE(left.Detected());
      ASSERT_TRUE(left.StartRecord()) << left.LastError();
      expected = 0;  // a new acquisition counts from frame 0
      fetch(left, 2000);
      left.StopRecord();
    });
    EXPECT_EQ(driver::LiveStates(), 0);
    EXPECT_EQ(driver::LiveWorkers(), 0);
  }
}

}  // namespace

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
#include "tests/support/allocation_limit.h"
#include "tests/support/driver_detected.h"
#include "tests/support/sim_env.h"
#include "tests/support/wait.h"

namespace {

using driver::NI_DAQmx_Task;
using std::chrono::milliseconds;
using testsupport::OneTask;
using testsupport::OnFreshThread;
using testsupport::SimConfigFile;
using testsupport::SimIni;
using testsupport::WaitUntil;
using testsupport::WithDetected;

// Two counting channels: together they number every frame (low and high digit).
SimIni CountingTask(const std::string& keys) {
  SimIni ini;
  ini.Task("Count", keys)
      .Channel("low", "Dev1/ai0", "Sim.Signal = Counter")
      .Channel("high", "Dev1/ai1", "Sim.Signal = Counter\nSim.CounterDivisor = 64001");
  return ini;
}

std::int64_t FrameNumber(const std::int16_t* frame) {
  return (static_cast<std::int64_t>(frame[1]) + 32000) * 64001 + (frame[0] + 32000);
}

// The block each read asks for and how long it may wait, by rate, ring and
// timing type.
TEST(Timing, BlockAndTimeoutFollowTheRateAndRing) {
  SimIni offsets;
  offsets.Task("Tsk").Channel("a", "Dev1/ai0").Channel("b", "Dev1/ai1", "AI.Min = 0");
  const struct {
    SimIni ini;
    std::int32_t ring_request;
    std::int32_t block;
    double timeout;
    bool offset;
  } cases[] = {
      {OneTask(1, "SampClk.Rate = 1000"), 65536, 64, 0.37, false},
      {OneTask(1, "SampClk.Rate = 100"), 65536, 4, 0.25, false},
      {OneTask(1, "SampClk.Rate = 400"), 65536, 16, 0.25, false},
      {OneTask(1, "SampClk.Rate = 12800"), 65536, 512, 0.25, false},
      {OneTask(1, "SampClk.Rate = 102400"), 65536, 4096, 0.25, false},
      {OneTask(1, "SampClk.Rate = 3000"), 65536, 128, 0.263333333333333, false},
      {OneTask(64, "SampClk.Rate = 10000"), 1024, 8, 0.054, false},  // a ring of 16 frames stops the doubling
      {OneTask(2, "SampTimingType = On Demand"), 65536, 1, 0.1, false},  // at 100 frames/s
      {OneTask(1, "SampQuant.SampMode = Hardware Timed Single Point"), 65536, 1, 0.055, false},
      {offsets, 65536, 64, 0.37, true},  // one offset switches the subtraction on for all channels
  };
  for (const auto& c : cases) {
    WithDetected(c.ini, [&](NI_DAQmx_Task& adc) {
      adc.SetInputSizeData(c.ring_request);
      ASSERT_TRUE(adc.StartRecord()) << adc.LastError();
      const auto at = &c - cases;
      EXPECT_EQ(adc.State().mBlockKadrs, c.block) << at;
      EXPECT_NEAR(adc.State().mTimeout, c.timeout, 1e-12) << at;
      EXPECT_EQ(adc.State().mPattern.HasOffset(), c.offset) << at;
      EXPECT_TRUE(WaitUntil([&] { return adc.InputCountKadrs() > 0; })) << at;
      adc.StopRecord();
    });
  }
  EXPECT_EQ(driver::BlockKadrs(1e12, std::numeric_limits<std::int32_t>::max()), 1 << 30);
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
  SimIni ini;
  ini.Task("Tsk")
      .Channel("a", "Dev1/ai0", "Sim.Signal = Constant\nSim.Value = 10")
      .Channel("b", "Dev1/ai1", "AI.Min = 0\nSim.Signal = Constant\nSim.Value = 0")
      .Channel("c", "Dev1/ai2", "Sim.Signal = Constant\nSim.Value = 20");
  WithDetected(ini, [](NI_DAQmx_Task& adc) {
    EXPECT_EQ(adc.GetChannel(0), 32000);
    EXPECT_EQ(adc.GetChannel(1), -32000);
    EXPECT_EQ(adc.GetChannel(2), 32767);  // twice the limit clips, never wraps
    ASSERT_TRUE(adc.StartRecord()) << adc.LastError();
    std::vector<std::int16_t> buffer(30);
    std::int32_t size = 0;
    std::int32_t waiting = 0;
    ASSERT_TRUE(WaitUntil([&] {
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
  WithDetected(CountingTask("SampClk.Rate = 1000"), [](NI_DAQmx_Task& adc) {
    ASSERT_TRUE(adc.StartRecord()) << adc.LastError();
    ASSERT_TRUE(WaitUntil([&] { return adc.InputCountKadrs() >= 3; }));
    adc.StopRecord();
    std::vector<std::int16_t> buffer(8, 77);
    std::int32_t size = 0;
    std::int32_t waiting = 0;
    // Below one frame, a negative size, no buffer: nothing.
    for (const auto& [data, request] : {std::pair{buffer.data(), 1}, {buffer.data(), -5}, {nullptr, 8}}) {
      size = request;
      EXPECT_EQ(adc.GetData(data, size, waiting), 0) << request;
      EXPECT_EQ(size, 0) << request;
      EXPECT_GE(waiting, 6);
    }
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
  WithDetected(OneTask(4, "SampQuant.SampMode = Finite Samples\nSampQuant.SampPerChan = 3"), [](NI_DAQmx_Task& adc) {
    ASSERT_TRUE(adc.StartRecord()) << adc.LastError();
    ASSERT_TRUE(WaitUntil([&] { return adc.InputCountKadrs() == 3; }));
    const auto table = adc.InputData();
    EXPECT_EQ(table.rows, 4);
    EXPECT_EQ(table.columns, 4);
    EXPECT_EQ((std::vector<std::int16_t>(table.codes.begin(), table.codes.begin() + 4)),
              (std::vector<std::int16_t>{0, 1, 2, 3}));
    EXPECT_EQ(adc.InputCountKadrs(), 0);
    EXPECT_EQ(adc.InputCountData(), 0);
    // Everything fetched: the finite acquisition ends by itself.
    EXPECT_TRUE(WaitUntil([&] { return !adc.Busy(); }));
    const auto empty = adc.InputData();
    EXPECT_EQ(empty.columns, 1);
    EXPECT_EQ(empty.codes, (std::vector<std::int16_t>{0, 1, 2, 3}));
  });
}

TEST(Finite, OneReadFetchesItAllAndBusyFallsAfterTheLastFetch) {
  const auto finite =
      CountingTask("SampClk.Rate = 100000\nSampQuant.SampMode = Finite Samples\nSampQuant.SampPerChan = 1000");
  WithDetected(finite, [](NI_DAQmx_Task& adc) {
    adc.SetInputSizeData(131072);
    ASSERT_TRUE(adc.StartRecord()) << adc.LastError();
    EXPECT_EQ(adc.InputSizeKadrs(), 65536);
    EXPECT_EQ(adc.State().mBlockKadrs, 1000);
    ASSERT_TRUE(WaitUntil([&] { return adc.InputCountKadrs() == 1000; }));
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
    EXPECT_TRUE(WaitUntil([&] { return !adc.Busy(); }));
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
  SimConfigFile config(CountingTask("SampClk.Rate = 100000\nSim.FreeRunning = 1").Text());
  OnFreshThread([] { ReceiveEveryFrame(1500, 10'000'000); });  // 750 frames: blocks wrap at the end
}

TEST(Continuity, TinyRingOfFewFrames) {
  SimConfigFile config(CountingTask("SampClk.Rate = 400000\nSim.FreeRunning = 1").Text());
  OnFreshThread([] { ReceiveEveryFrame(1024, 1'000'000); });
}

TEST(Continuity, PacedTaskWithHostPauses) {
  SimConfigFile config(CountingTask("SampClk.Rate = 20000").Text());
  OnFreshThread([] { ReceiveEveryFrame(2048, 10000); });
}

TEST(Failures, SampleClockWithoutRate) {
  WithDetected(OneTask(1, "SampClk.Rate = 0"), [](NI_DAQmx_Task& adc) {
    EXPECT_FALSE(adc.StartRecord());
    EXPECT_EQ(adc.LastError(), "No Sampling Rate selected!");
    EXPECT_FALSE(adc.Busy());
  });
}

TEST(Failures, TaskThatWillNotStartGivesNiDaqmxText) {
  WithDetected(OneTask(1, "Sim.FailStart = -50103"), [](NI_DAQmx_Task& adc) {
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
  WithDetected(OneTask(1, "Sim.FailReadAfter = 10\nSim.FailReadStatus = -200279"), [](NI_DAQmx_Task& adc) {
    ASSERT_TRUE(adc.StartRecord());
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_TRUE(adc.Busy());
    EXPECT_EQ(adc.LastError(), "");
    adc.StopRecord();
    EXPECT_FALSE(adc.Busy());
  });
}

// Every buffer StartRecord allocates, refused in turn by a smaller memory
// limit: each refusal is the same "Buffer Error 7", nothing escapes, and the
// object records again with a ring that fits.
TEST(Failures, EveryAllocationThatFailsGivesBufferError7) {
  const struct {
    const char* what;
    int channels;
    const char* rate;
    std::int32_t request;
    std::size_t limit;  // bytes one allocation may have
    const char* error = "Buffer Error 7: \r\nOut of memory: ";
  } cases[] = {
      {"a ring", 1, "SampClk.Rate = 1000", 1 << 20, 1 << 20},  // 2 MiB of codes
      // Near the 32-bit limit: 4 GiB of codes, more than a 32-bit host can have.
      {"a ring", 3, "SampClk.Rate = 1000", std::numeric_limits<std::int32_t>::max(), std::size_t{1} << 30,
       sizeof(void*) == 8 ? "Buffer Error 7: \r\nOut of memory: " : "Buffer Error 6: \r\nOverflow"},
      {"the block", 1, "SampClk.Rate = 1000000", 140000, 400000},  // 280 kB of codes, a block of 512 KiB of samples
  };
  for (const auto& c : cases) {
    WithDetected(OneTask(c.channels, c.rate), [&](NI_DAQmx_Task& adc) {
      adc.SetInputSizeData(c.request);
      bool started = true;
      {
        testsupport::AllocationLimit limit(c.limit);
        started = adc.StartRecord();
      }
      EXPECT_FALSE(started) << c.what;
      EXPECT_TRUE(adc.LastError().starts_with(c.error)) << adc.LastError();
      EXPECT_NE(adc.LastError().find(c.what), std::string::npos) << adc.LastError();
      EXPECT_FALSE(adc.Busy());
      EXPECT_EQ(driver::LiveWorkers(), 0);
      adc.SetInputSizeData(4096);
      ASSERT_TRUE(adc.StartRecord()) << adc.LastError();
      EXPECT_TRUE(WaitUntil([&] { return adc.InputCountKadrs() > 0; })) << c.what;
      adc.StopRecord();
    });
  }
}

TEST(StopStart, StopReturnsPromptlyAndBusyFallsAtOnce) {
  WithDetected(OneTask(1, "SampClk.Rate = 10"), [](NI_DAQmx_Task& adc) {
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
  SimConfigFile config(CountingTask("SampClk.Rate = 100000\nSim.FreeRunning = 1").Text());
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
  SimConfigFile config(CountingTask("SampClk.Rate = 100000\nSim.FreeRunning = 1").Text());
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

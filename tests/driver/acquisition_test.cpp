// Recording through the driver object against the simulated NI-DAQmx:
// timing choices, transfer, continuity of every frame, finite tasks, start
// failures, and stop/start cycles.
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

// Fetches frames of the counting task as a host does, with GetData and
// InputData in irregular sizes and at irregular moments, until frame `until`
// is due: every frame must arrive once and in order.
void ReceiveInOrder(NI_DAQmx_Task& adc, std::int64_t& next, std::int64_t until) {
  std::mt19937 random(12345);
  std::vector<std::int16_t> buffer(4096);
  std::int64_t wrong = 0;
  const auto check = [&](const std::int16_t* frames, std::int64_t count) {
    for (std::int64_t f = 0; f < count; ++f, ++next) wrong += FrameNumber(frames + 2 * f) != next;
  };
  while (next < until && wrong == 0) {
    const std::int64_t before = next;
    if (random() % 10 == 0) {
      const auto table = adc.InputData();
      check(table.codes.data() + 2, table.columns - 1);
    } else {
      auto size = static_cast<std::int32_t>(1 + random() % buffer.size());
      std::int32_t waiting = 0;
      check(buffer.data(), adc.GetData(buffer.data(), size, waiting));
    }
    if (next == before) {
      std::this_thread::sleep_for(std::chrono::microseconds(50));  // a host polls
    } else if (random() % 200 == 0) {
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));  // the ring fills: back-pressure
    }
  }
  EXPECT_EQ(wrong, 0) << "first wrong frame near " << next;
}

TEST(Timing, BlockAndTimeoutFollowTheRateRingAndTimingType) {
  const struct {
    SimIni ini;
    std::int32_t ring_request, block;
    double timeout;
  } cases[] = {
      {OneTask(1, "SampClk.Rate = 1000"), 65536, 64, 0.37},
      {OneTask(1, "SampClk.Rate = 100"), 65536, 4, 0.25},
      {OneTask(1, "SampClk.Rate = 12800"), 65536, 512, 0.25},  // exactly 40 ms
      {OneTask(1, "SampClk.Rate = 3000"), 65536, 128, 0.263333333333333},
      {OneTask(64, "SampClk.Rate = 10000"), 1024, 8, 0.054},  // a ring of 16 frames stops the doubling
      {OneTask(2, "SampTimingType = On Demand"), 65536, 1, 0.1},  // at 100 frames/s
      {OneTask(1, "SampQuant.SampMode = Hardware Timed Single Point"), 65536, 1, 0.055},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    WithDetected(c.ini, [&](NI_DAQmx_Task& adc) {
      adc.SetInputSizeData(c.ring_request);
      ASSERT_TRUE(adc.StartRecord()) << adc.LastError();
      EXPECT_EQ(adc.State().mBlockKadrs, c.block);
      EXPECT_NEAR(adc.State().mTimeout, c.timeout, 1e-12);
      EXPECT_TRUE(WaitUntil([&] { return adc.InputCountKadrs() > 0; }));
      adc.StopRecord();
    });
  }
  EXPECT_EQ(driver::BlockKadrs(1e12, std::numeric_limits<std::int32_t>::max()), 1 << 30);
}

// CTest runs the transfer tests once more per kernel with NIADC_CONVERT_KERNEL
// set; without it the fastest supported kernel converts.
TEST(Transfer, TheEnvironmentOrTheProcessorChoosesTheKernel) {
  const auto forced = platform::GetEnv("NIADC_CONVERT_KERNEL");
  for (const driver::Kernel& k : driver::Kernels()) {
    if (forced ? k.name == *forced : k.supported) {
      if (!k.supported) GTEST_SKIP() << k.name << " is not supported by this processor";
      EXPECT_EQ(driver::SelectedKernel().name, k.name);
      return;
    }
  }
  ADD_FAILURE() << "no kernel is named " << forced.value_or("");
}

TEST(Transfer, ConstantSignalsBecomeTheirCodes) {
  SimIni ini;
  ini.Task("Tsk")
      .Channel("a", "Dev1/ai0", "Sim.Signal = Constant\nSim.Value = 10")
      .Channel("b", "Dev1/ai1", "AI.Min = 0\nSim.Signal = Constant\nSim.Value = 0")
      .Channel("c", "Dev1/ai2", "Sim.Signal = Constant\nSim.Value = 20");  // twice the limit clips, never wraps
  const std::vector<std::int16_t> codes{32000, -32000, 32767};
  WithDetected(ini, [&](NI_DAQmx_Task& adc) {
    for (std::int16_t c = 0; c < 3; ++c) EXPECT_EQ(adc.GetChannel(c), codes[static_cast<size_t>(c)]);
    ASSERT_TRUE(adc.StartRecord()) << adc.LastError();
    std::vector<std::int16_t> buffer(30);
    std::int32_t size = 0;
    std::int32_t waiting = 0;
    ASSERT_TRUE(WaitUntil([&] {
      size = 30;
      return adc.GetData(buffer.data(), size, waiting) > 0;
    }));
    for (std::int32_t i = 0; i < size; i += 3) {
      EXPECT_EQ(std::vector<std::int16_t>(buffer.begin() + i, buffer.begin() + i + 3), codes);
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
    EXPECT_EQ(FrameNumber(&buffer[2]), 1);
    EXPECT_EQ(waiting, adc.InputCountKadrs() * 2);
    EXPECT_EQ(adc.InputCountData(), waiting);
  });
}

// A finite task is read in one block; it stays busy until the host has
// fetched every frame, here partly with GetData and the rest with InputData.
TEST(Finite, BusyUntilTheLastFrameIsFetched) {
  const auto finite =
      CountingTask("SampClk.Rate = 100000\nSampQuant.SampMode = Finite Samples\nSampQuant.SampPerChan = 1000");
  WithDetected(finite, [](NI_DAQmx_Task& adc) {
    adc.SetInputSizeData(131072);
    ASSERT_TRUE(adc.StartRecord()) << adc.LastError();
    EXPECT_EQ(adc.State().mBlockKadrs, 1000);
    ASSERT_TRUE(WaitUntil([&] { return adc.InputCountKadrs() == 1000; }));
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_TRUE(adc.Busy());
    std::vector<std::int16_t> buffer(2 * 600);
    std::int32_t size = 1200;
    std::int32_t waiting = 0;
    EXPECT_EQ(adc.GetData(buffer.data(), size, waiting), 600);
    EXPECT_EQ(waiting, 800);
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_TRUE(adc.Busy());
    const auto table = adc.InputData();  // the channel column, then one column per frame
    EXPECT_EQ(table.rows, 2);
    ASSERT_EQ(table.columns, 401);
    EXPECT_EQ(table.codes[1], 1);
    EXPECT_EQ(FrameNumber(&table.codes[2 * 400]), 999);
    EXPECT_EQ(adc.InputCountData(), 0);
    EXPECT_TRUE(WaitUntil([&] { return !adc.Busy(); }));
    EXPECT_EQ(driver::LiveWorkers(), 0);
    EXPECT_EQ(adc.InputData().codes, (std::vector<std::int16_t>{0, 1}));
  });
}

void ReceiveEveryFrame(const SimIni& ini, std::int32_t ring_request, std::int64_t total) {
  WithDetected(ini, [&](NI_DAQmx_Task& adc) {
    adc.SetInputSizeData(ring_request);
    ASSERT_TRUE(adc.StartRecord()) << adc.LastError();
    std::int64_t next = 0;
    ReceiveInOrder(adc, next, total);
    adc.StopRecord();
  });
}

TEST(Continuity, TenMillionFramesThroughASmallRing) {
  // 750 frames: blocks wrap at the ring's end.
  ReceiveEveryFrame(CountingTask("SampClk.Rate = 100000\nSim.FreeRunning = 1"), 1500, 10'000'000);
}

TEST(Continuity, TinyRingAndPacedTask) {
  ReceiveEveryFrame(CountingTask("SampClk.Rate = 400000\nSim.FreeRunning = 1"), 1024, 1'000'000);
  ReceiveEveryFrame(CountingTask("SampClk.Rate = 20000"), 2048, 10000);
}

TEST(Failures, StartFailuresExplainThemselves) {
  char refused[512] = {};
  testsupport::SimLibrary()->DAQmxGetErrorString(-50103, refused, sizeof refused);
  const struct {
    const char* keys;
    std::string error;
  } cases[] = {{"SampClk.Rate = 0", "No Sampling Rate selected!"}, {"Sim.FailStart = -50103", refused}};
  for (const auto& c : cases) {
    WithDetected(OneTask(1, c.keys), [&](NI_DAQmx_Task& adc) {
      EXPECT_FALSE(adc.StartRecord());
      EXPECT_EQ(adc.LastError(), c.error);
      EXPECT_NE(adc.LastError(), "");
      EXPECT_FALSE(adc.Busy());
      EXPECT_EQ(driver::LiveWorkers(), 0);
    });
  }
}

TEST(Failures, FailedReadsKeepTheAcquisitionGoing) {
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
      {"the block", 1, "SampClk.Rate = 1000000", 140000, 400000},  // a block of 512 KiB of samples
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
  WithDetected(CountingTask("SampClk.Rate = 100000\nSim.FreeRunning = 1"), [](NI_DAQmx_Task& adc) {
    adc.SetInputSizeData(4096);
    for (int cycle = 0; cycle < 1000; ++cycle) {
      ASSERT_TRUE(adc.StartRecord()) << cycle << ": " << adc.LastError();
      ASSERT_EQ(driver::LiveWorkers(), 1) << cycle;
      adc.StopRecord();
    }
    std::vector<std::int16_t> buffer(2);
    std::int32_t size = 2;
    std::int32_t waiting = 0;
    if (adc.GetData(buffer.data(), size, waiting) == 1) {
      EXPECT_EQ(FrameNumber(buffer.data()), 0);  // the ring was reset for the last acquisition
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
    SCOPED_TRACE(release_first);
    OnFreshThread([&] {
      auto first = std::make_unique<NI_DAQmx_Task>();
      ASSERT_TRUE(first->Test());
      auto second = std::make_unique<NI_DAQmx_Task>();
      ASSERT_TRUE(first->StartRecord()) << first->LastError();
      std::int64_t next = 0;
      ReceiveInOrder(*first, next, 2000);
      (release_first ? first : second).reset();
      NI_DAQmx_Task& left = release_first ? *second : *first;
      EXPECT_TRUE(left.Busy());
      ReceiveInOrder(left, next, 20000);
      left.StopRecord();
      ASSERT_TRUE(left.StartRecord()) << left.LastError();
      next = 0;  // a new acquisition counts from frame 0
      ReceiveInOrder(left, next, 2000);
      left.StopRecord();
    });
    EXPECT_EQ(driver::LiveStates(), 0);
    EXPECT_EQ(driver::LiveWorkers(), 0);
  }
}

}  // namespace

// The driver object against the simulated NI-DAQmx as a host uses it, and the
// ring between the object's worker and the host.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <chrono>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <thread>
#include <tuple>

#include "driver/convert.h"
#include "driver/engine.h"
#include "driver/help_file.h"
#include "driver/ring.h"
#include "driver/state.h"
#include "platform/system.h"
#include "tests/support/allocation_limit.h"
#include "tests/support/driver_detected.h"
#include "tests/support/wait.h"

namespace {

using driver::NI_DAQmx_Task;
using std::chrono::milliseconds;
using namespace testsupport;

const std::string kPlusMinus = "\xC2\xB1";
const std::string kDegrees = "\xC2\xB0" "C";

TEST(Neutral, FreshObjectAndIndexesOutsideTheChannels) {
  SimConfigFile config(OneTask(2).Text());
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    EXPECT_EQ(std::tuple(adc.ADCName(), adc.Detected(), adc.ChannelsCount(), adc.Ranges().size()),
              std::tuple("NI-DAQmx-Task", false, 0, 0u));
    std::vector<std::int16_t> buffer(16, 99);
    std::int32_t size = 16;
    std::int32_t waiting = -1;
    EXPECT_EQ(adc.GetData(buffer.data(), size, waiting), 0);
    EXPECT_EQ(std::tuple(size, waiting, buffer[0], adc.InputData().codes.size()), std::tuple(0, 0, 99, 0u));
    adc.SetInputSizeData(4096);  // no channel yet: no ring length
    EXPECT_EQ(adc.InputSizeKadrs(), 0);
    EXPECT_FALSE(adc.StartRecord());  // before Test: refused without a text
    EXPECT_EQ(adc.LastError(), "");
    ASSERT_TRUE(adc.Test());
    for (const std::int16_t bad : {-1, 2, 32767, -32768}) {
      EXPECT_EQ(std::tuple(adc.ChannelName(bad), adc.ChannelUnitName(bad), adc.ChannelRange(bad),
                           adc.GetChannel(bad), adc.ChannelUnitScale(bad), adc.ChannelUnitOffset(bad)),
                std::tuple("", "", 0, 0, 0.0f, 0.0f));
    }
    const float rate = adc.Rate();  // what the task decides ignores the host
    adc.SetChannelRange(0, 1);
    adc.SetRate(rate * 2);
    adc.SetInputChannels({1});
    EXPECT_EQ(std::tuple(adc.ChannelRange(0), adc.Rate(), adc.InputChannels()),
              std::tuple(0, rate, std::vector<std::int16_t>{0, 1}));
  });
}

// Tasks whose first channel is an analog input are candidates; one needs no
// choice, several are shown in list order. Names outside ASCII pass the
// NI-DAQmx boundary in the system's code page and come back unchanged.
TEST(Probe, ChoosesAmongAnalogInputTasks) {
  const std::string umlauts = "Messung \xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F";  // "Messung äöüß"
  const std::string ecart = "\xC3\x89" "cart";                              // "Écart"
  SimIni one, output, output_first, three, beyond_ascii;
  Inputs(one.Task("Four"), 2).Device("Dev1", "PCIe-6363 (BNC)");
  output.Task("Output").Channel("ao0", "Dev1/ao0", "ChanType = Analog Output");
  output_first = output;
  output_first.Task("Input").Channel("ai0", "Dev1/ai0");
  Inputs(Inputs(three.Task("A"), 1).Task("B"), 2).Task("C");
  Inputs(three, 1, "Dev2").Device("Dev2", "USB-6001");
  beyond_ascii.Task("Single").Channel("ai0", "Dev1/ai0").Task(umlauts);
  beyond_ascii.Channel("Temperatur " + kDegrees, "Dev1/ai1").Channel(ecart, "Dev2/ai0");
  const std::vector<std::string> abc{"A|1 AI|Dev1", "B|2 AI|Dev1", "C|1 AI|Dev2"};
  const struct {
    const SimIni& ini;
    std::int16_t answer, port;
    std::vector<std::string> shown, channels;
    std::string name;
    std::int16_t retried;  // the base port after a second Test whose chooser picks the first
  } cases[] = {
      {one, -1, 1, {}, {"ai0", "ai1"}, "PCIe-6363", 1},  // named after its one device
      {output, -1, 0, {}, {}, "NI-DAQmx-Task", 0},
      {output_first, -1, 2, {}, {"ai0"}, "PCIe-6363", 2},
      {three, 2, 3, abc, {"ai0"}, "USB-6001", 3},  // a success is kept
      {three, -1, 0, abc, {}, "NI-DAQmx-Task", 1},  // no choice: the host may ask again
      {beyond_ascii, 1, 2, {"Single|1 AI|Dev1", umlauts + "|2 AI|Dev1, Dev2"},
       {"Temperatur " + kDegrees, ecart}, umlauts, 2},  // spanning devices: named after itself
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    SimConfigFile config(c.ini.Text());
    OnFreshThread([&] {
      NI_DAQmx_Task adc;
      std::vector<std::string> shown;
      adc.SetTaskChooser([&](const std::vector<daqmx::TaskListEntry>& list) {
        for (const auto& e : list) shown.push_back(e.EntryName + "|" + e.ChannelSummary + "|" + e.DeviceText);
        return c.answer;
      });
      EXPECT_EQ(adc.Test(), c.port != 0);
      EXPECT_EQ(shown, c.shown);
      EXPECT_EQ(std::tuple(adc.BasePort(), adc.ADCName(), adc.LastError()), std::tuple(c.port, c.name, ""));
      std::vector<std::string> names;
      for (std::int16_t i = 0; i < adc.ChannelsCount(); ++i) names.push_back(adc.ChannelName(i));
      EXPECT_EQ(names, c.channels);
      adc.SetTaskChooser([](const auto&) { return std::int16_t{0}; });
      const bool again = adc.Test();
      EXPECT_EQ(std::pair(again, adc.BasePort()), std::pair(c.retried != 0, c.retried));
    });
  }
}

TEST(Ranges, TextsScalesOffsetsAndIndexes) {
  const struct {
    const char* keys;
    std::string text;
    float scale, offset;
    std::int16_t range;
  } cases[] = {
      {"AI.Min = 0\nAI.Max = 0", kPlusMinus + "10 V", 3200, 0, 0},  // no limits: ±10
      {"AI.Min = 5\nAI.Max = 5", kPlusMinus + "5 V", 6400, 0, 1},   // equal limits: ± the limit
      {"AI.Min = 0\nAI.Max = 10", "0...10 V", 6400, 5, 2},
      {"AI.Min = -5\nAI.Max = 1", "-5...1 V", 32000.0f / 3, -2, 3},
      {"AI.Min = -0.5\nAI.Max = 0.5", kPlusMinus + "0.5 V", 64000, 0, 4},
      {"", kPlusMinus + "10 V", 3200, 0, 0},  // a text used before keeps its index
      {"AI.Min = 0\nAI.Max = 10\nAI.MeasType = Temperature:Thermocouple", "0...10 " + kDegrees, 6400, 5, 5},
  };
  SimIni ini;
  ini.Task("Rng");
  for (const auto& c : cases) {
    ini.Channel("ch" + std::to_string(&c - cases), "Dev1/ai" + std::to_string(&c - cases), c.keys);
  }
  WithDetected(ini, [&](NI_DAQmx_Task& adc) {
    EXPECT_EQ(std::pair(adc.Resolution(), adc.Ranges().size()), std::pair(std::uint8_t{16}, size_t{6}));
    for (std::int16_t i = 0; i < static_cast<std::int16_t>(std::size(cases)); ++i) {
      const auto& c = cases[i];
      EXPECT_EQ(std::tuple(adc.ChannelRange(i), adc.ChannelUnitScale(i), adc.ChannelUnitOffset(i)),
                std::tuple(c.range, c.scale, c.offset)) << i;
      EXPECT_EQ(adc.Ranges().at(static_cast<size_t>(c.range)), c.text) << i;
      EXPECT_TRUE(c.text.ends_with(" " + adc.ChannelUnitName(i))) << i;
    }
  });
}

// A decimal comma as the user's setting on Windows; elsewhere as the C locale a
// host may have set (when one is installed), which the texts must not follow.
TEST(Ranges, LimitsUseTheUsersDecimalSeparator) {
  SimConfigFile config(OneTask(1, "", "AI.Min = -0\nAI.Max = 2.5").Text());
  OnFreshThread([] {
    const std::string c_locale = std::setlocale(LC_NUMERIC, nullptr);
#ifdef _WIN32
    wchar_t saved[8] = {};
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, saved, 8);
    SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, L",");
#endif
    for (const char* name : {"de_DE.UTF-8", "de_DE", "German_Germany.1252"}) {
      if (std::setlocale(LC_NUMERIC, name) != nullptr) break;
    }
    const std::string separator = platform::DecimalSeparator();
    NI_DAQmx_Task adc;
    const bool detected = adc.Test();
    std::setlocale(LC_NUMERIC, c_locale.c_str());
#ifdef _WIN32
    SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, saved);
    EXPECT_EQ(separator, ",");
#endif
    ASSERT_TRUE(detected);
    EXPECT_EQ(adc.Ranges().at(0), "0...2" + separator + "5 V");  // -0 reads 0
  });
}

// The rate falls by tens below the device's maximum; ring requests in codes
// become whole frames, and near the 32-bit limit stay a 32-bit count of codes.
// Only a plain NI*.chm beside the driver is its help file, matched as Windows matches names.
TEST(HelpFile, OnlyAPlainNiChmFileCounts) {
  const auto folder = std::filesystem::temp_directory_path() / ("niadc-help-" + std::to_string(std::random_device{}()));
  const auto touch = [&](const char* name) { std::ofstream(folder / name) << "x"; };
  std::filesystem::create_directories(folder / "NI-folder.chm");
  touch("readme.txt");
#ifdef _WIN32
  touch("NI-hidden.chm");
  touch("NI-system.chm");
  SetFileAttributesW((folder / "NI-hidden.chm").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesW((folder / "NI-system.chm").c_str(), FILE_ATTRIBUTE_SYSTEM);
#endif
  const std::u8string utf8 = folder.u8string();
  const std::string path(utf8.begin(), utf8.end());
  EXPECT_EQ(driver::FindHelpFile(path), "");
  touch("ni-plain.CHM");
  const std::string found = driver::FindHelpFile(path);
  EXPECT_EQ(platform::FolderOf(found), path);
  EXPECT_TRUE(found.ends_with("ni-plain.CHM")) << found;
  std::filesystem::remove_all(folder);
}

TEST(Sizing, RateDefaultRequestAndRingSizes) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  // Channels, task keys, rate, ring request (0: the default one), frames.
  const std::tuple<int, const char*, float, std::int32_t, std::int32_t> cases[] = {
      {1, "SampClk.Rate = 0\nSim.MaxRate = 250000", 100, 0, 262144},
      {1, "SampClk.Rate = 1000000\nSim.MaxRate = 250000", 100000, 0, 262144},
      {1, "Sim.MaxRate = 100000000", 1000, 0, 16777216},
      {1, "", 1000, 500, 32768}, {3, "", 1000, 500, 16384}, {2, "", 1000, 1025, 512},
      {1, "", 1000, kMax, kMax}, {3, "", 1000, kMax, kMax / 3}, {2, "", 1000, kMax - 1, kMax / 2}};
  for (const auto& [channels, keys, rate, request, frames] : cases) {
    WithDetected(OneTask(channels, keys), [&](NI_DAQmx_Task& adc) {
      EXPECT_EQ(adc.Rate(), rate) << keys;
      adc.SetInputSizeData(request != 0 ? request : adc.State().model.InputSizeRequest);
      EXPECT_EQ(std::pair(adc.InputSizeKadrs(), adc.InputSizeData()), std::pair(frames, frames * channels));
    });
  }
}

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

// Fetches frames of the counting task as a host does, irregularly with GetData
// and InputData, until frame `until` is due: each must arrive once, in order.
void ReceiveInOrder(NI_DAQmx_Task& adc, std::int64_t& next, std::int64_t until) {
  std::mt19937 random(12345);
  std::vector<std::int16_t> buffer(4096);
  std::int64_t wrong = 0;
  const auto check = [&](const std::int16_t* frames, std::int64_t count) {
    for (std::int64_t f = 0; f < count; ++f, ++next) wrong += FrameNumber(frames + 2 * f) != next;
  };
  auto last_frame = std::chrono::steady_clock::now();
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
    if (next > before) {
      last_frame = std::chrono::steady_clock::now();
      if (random() % 200 == 0) std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));
    } else {
      ASSERT_LT(std::chrono::steady_clock::now() - last_frame, std::chrono::seconds(10)) << next;
      std::this_thread::sleep_for(std::chrono::microseconds(50));  // a host polls
    }
  }
  EXPECT_EQ(wrong, 0) << "first wrong frame near " << next;
}

// Frames per read: the smallest power of two lasting 40 ms, unless twice
// that would reach the ring's size.
TEST(Timing, BlockFollowsTheRateAndTheRing) {
  const std::tuple<double, std::int32_t, std::int32_t> cases[] = {
      {12800, 65536, 512}, {3000, 65536, 128}, {10000, 16, 8}, {1e12, 0x7FFFFFFF, 1 << 30}};
  for (const auto& [rate, ring, block] : cases) EXPECT_EQ(driver::BlockKadrs(rate, ring), block) << rate;
}

// CTest runs the transfer tests once more per kernel with NIADC_CONVERT_KERNEL
// set; without it the fastest supported kernel converts.
TEST(Transfer, TheEnvironmentOrTheProcessorChoosesTheKernel) {
  const auto forced = platform::GetEnv("NIADC_CONVERT_KERNEL");
  const auto kernels = driver::Kernels();
  const auto chosen = std::find_if(kernels.begin(), kernels.end(), [&](const driver::Kernel& k) {
    return forced ? k.name == *forced : k.supported;
  });
  ASSERT_NE(chosen, kernels.end()) << "no kernel is named " << forced.value_or("");
  if (!chosen->supported) GTEST_SKIP() << chosen->name << " is not supported by this processor";
  EXPECT_EQ(driver::SelectedKernel().name, chosen->name);
}

// Constant signals (with an offset; clipped at twice the limit) read on demand
// and recorded. GetData delivers whole frames that fit, none for a bad request.
TEST(Transfer, ConstantSignalsBecomeTheirCodesInWholeFrames) {
  SimIni ini;
  ini.Task("Tsk", "SampTimingType = On Demand")
      .Channel("a", "Dev1/ai0", "Sim.Signal = Constant\nSim.Value = 10")
      .Channel("b", "Dev1/ai1", "AI.Min = 0\nSim.Signal = Constant\nSim.Value = 0")
      .Channel("c", "Dev1/ai2", "Sim.Signal = Constant\nSim.Value = 20");
  WithDetected(ini, [&](NI_DAQmx_Task& adc) {
    EXPECT_EQ(std::tuple(adc.GetChannel(0), adc.GetChannel(1), adc.GetChannel(2)),
              std::tuple(32000, -32000, 32767));
    ASSERT_TRUE(adc.StartRecord()) << adc.LastError();
    ASSERT_TRUE(WaitUntil([&] { return adc.InputCountKadrs() >= 3; }));
    adc.StopRecord();
    std::vector<std::int16_t> buffer(8, 77);
    std::int32_t waiting = 0;
    for (auto [data, size] : {std::pair{buffer.data(), 2}, {buffer.data(), -5}, {nullptr, 8}}) {
      EXPECT_EQ(adc.GetData(data, size, waiting), 0);
      EXPECT_EQ(size, 0);
    }
    std::int32_t size = 8;  // two frames fit
    EXPECT_EQ(adc.GetData(buffer.data(), size, waiting), 2);
    EXPECT_EQ(buffer, (std::vector<std::int16_t>{32000, -32000, 32767, 32000, -32000, 32767, 77, 77}));
    EXPECT_EQ(std::tuple(size, waiting, adc.InputCountData()),
              std::tuple(6, adc.InputCountKadrs() * 3, adc.InputCountKadrs() * 3));
  });
}

// A finite task is read in one block; it stays busy until the host has
// fetched every frame, here partly with GetData and the rest with InputData.
TEST(Finite, BusyUntilTheLastFrameIsFetched) {
  const auto finite =
      CountingTask("SampClk.Rate = 1e5\nSampQuant.SampMode = Finite Samples\nSampQuant.SampPerChan = 1000");
  WithDetected(finite, [](NI_DAQmx_Task& adc) {
    ASSERT_TRUE(adc.StartRecord()) << adc.LastError();
    EXPECT_EQ(adc.State().mBlockKadrs, 1000);
    ASSERT_TRUE(WaitUntil([&] { return adc.InputCountKadrs() == 1000; }));
    std::vector<std::int16_t> buffer(2 * 600);
    std::int32_t size = 1200;
    std::int32_t waiting = 0;
    EXPECT_EQ(adc.GetData(buffer.data(), size, waiting), 600);
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_TRUE(adc.Busy());
    const auto table = adc.InputData();  // the channel column, then one column per frame
    ASSERT_EQ(std::tuple(table.rows, table.columns, adc.InputCountData()), std::tuple(2, 401, 0));
    EXPECT_EQ(FrameNumber(&table.codes[2 * 400]), 999);
    EXPECT_TRUE(WaitUntil([&] { return !adc.Busy() && driver::LiveWorkers() == 0; }));
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

// A ring of 750 frames, so that blocks wrap at its end.
TEST(Continuity, TenMillionFramesThroughASmallRing) {
  ReceiveEveryFrame(CountingTask("SampClk.Rate = 100000\nSim.FreeRunning = 1"), 1500, 10'000'000);
}

TEST(Continuity, TinyRingAndPacedTask) {
  ReceiveEveryFrame(CountingTask("SampClk.Rate = 400000\nSim.FreeRunning = 1"), 1024, 1'000'000);
  ReceiveEveryFrame(CountingTask("SampClk.Rate = 20000"), 2048, 10000);
}

// A failed start leaves nothing running and says why. Each buffer refused in turn
// gives "Buffer Error 7", and the object records again with a ring that fits.
TEST(Failures, StartFailuresExplainThemselves) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();
  char refused[512] = {};
  SimLibrary()->DAQmxGetErrorString(-50103, refused, sizeof refused);
  const std::string out_of_memory = "Buffer Error 7: \r\nOut of memory: ";
  const struct {
    int channels;
    const char* keys;
    std::int32_t request;
    std::size_t limit;  // bytes one allocation may have
    std::string error;
  } cases[] = {
      {1, "SampClk.Rate = 0", 4096, kNoLimit, "No Sampling Rate selected!"},
      {1, "Sim.FailStart = -50103", 4096, kNoLimit, refused},
      {1, "SampClk.Rate = 1000", 1 << 20, 1 << 20, out_of_memory + "a ring"},  // 2 MiB of codes
      // Near the 32-bit limit: 4 GiB of codes, more than a 32-bit host can have.
      {3, "SampClk.Rate = 1000", kMax, std::size_t{1} << 30,
       sizeof(void*) == 8 ? out_of_memory + "a ring" : "Buffer Error 6: \r\nOverflow: a ring"},
      {1, "SampClk.Rate = 1000000", 140000, 400000, out_of_memory + "the block"},  // 512 KiB of samples
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    WithDetected(OneTask(c.channels, c.keys), [&](NI_DAQmx_Task& adc) {
      adc.SetInputSizeData(c.request);
      const bool started = [&] {
        const AllocationLimit limit(c.limit);
        return adc.StartRecord();
      }();
      EXPECT_EQ(std::tuple(started, adc.Busy(), driver::LiveWorkers()), std::tuple(false, false, 0));
      EXPECT_TRUE(adc.LastError().starts_with(c.error) && !c.error.empty()) << adc.LastError();
      if (c.limit == kNoLimit) return;
      adc.SetInputSizeData(4096);
      ASSERT_TRUE(adc.StartRecord()) << adc.LastError();
      EXPECT_TRUE(WaitUntil([&] { return adc.InputCountKadrs() > 0; }));
      adc.StopRecord();
    });
  }
}

// Failed reads neither end the acquisition nor reach the host; a stop during
// a long read returns at once; quick cycles never leave two workers.
TEST(StopStart, StopIsPromptAndCyclesNeverLeaveTwoWorkers) {
  const auto failing = "SampQuant.SampMode = Hardware Timed Single Point\nSim.FailReadAfter = 10";
  WithDetected(OneTask(1, failing), [](NI_DAQmx_Task& adc) {
    ASSERT_TRUE(adc.StartRecord());
    ASSERT_TRUE(WaitUntil([&] { return adc.InputCountKadrs() >= 10; }));
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(std::pair(adc.Busy(), adc.LastError()), std::pair(true, std::string()));
  });
  WithDetected(OneTask(1, "SampClk.Rate = 0.2"), [](NI_DAQmx_Task& adc) {
    ASSERT_TRUE(adc.StartRecord());
    EXPECT_FALSE(adc.StartRecord());
    std::this_thread::sleep_for(milliseconds(50));
    const auto before = std::chrono::steady_clock::now();
    adc.StopRecord();
    EXPECT_LT(std::chrono::steady_clock::now() - before, milliseconds(1000));
    EXPECT_FALSE(adc.Busy());
  });
  WithDetected(CountingTask("SampClk.Rate = 100000\nSim.FreeRunning = 1"), [](NI_DAQmx_Task& adc) {
    for (int cycle = 0; cycle < 1000; ++cycle) {
      ASSERT_TRUE(adc.StartRecord()) << cycle << ": " << adc.LastError();
      ASSERT_EQ(driver::LiveWorkers(), 1) << cycle;
      adc.StopRecord();
    }
  });
  EXPECT_EQ(driver::LiveWorkers(), 0);
}

// Objects of one thread share a state and its task, others do not. Either may go
// first while recording; the last one stops the acquisition and frees the state.
TEST(SharedState, EitherOfTwoObjectsMayGoFirst) {
  SimConfigFile config(CountingTask("SampClk.Rate = 100000\nSim.FreeRunning = 1").Text());
  for (const bool release_first : {true, false}) {
    SCOPED_TRACE(release_first);
    OnFreshThread([&] {
      auto first = std::make_unique<NI_DAQmx_Task>();
      ASSERT_TRUE(first->Test());
      auto second = std::make_unique<NI_DAQmx_Task>();
      EXPECT_EQ(second->State().mTask, first->State().mTask);
      OnFreshThread([] { EXPECT_FALSE(NI_DAQmx_Task().Detected()); });
      ASSERT_TRUE(second->StartRecord()) << second->LastError();
      std::int64_t next = 0;
      ReceiveInOrder(*first, next, 2000);
      (release_first ? first : second).reset();
      NI_DAQmx_Task& left = release_first ? *second : *first;
      ReceiveInOrder(left, next, 20000);
      left.StopRecord();
      ASSERT_TRUE(left.StartRecord()) << left.LastError();
      next = 0;
      ReceiveInOrder(left, next, 2000);
      (release_first ? second : first).reset();
      EXPECT_EQ(std::pair(driver::LiveStates(), driver::LiveWorkers()), std::pair(0, 0));
      EXPECT_FALSE(NI_DAQmx_Task().Detected());  // a new state: nothing of the old one is left
    });
  }
}

// Writer and reader move random numbers of frames, split at the ring's end.
TEST(Ring, TwoThreadsAtTheSmallestCapacities) {
  for (const auto& [capacity, ch, total] : {std::tuple{1, 1, 20000}, {2, 3, 50000}, {7, 2, 200000}}) {
    driver::FrameRing ring;
    std::string error;
    ASSERT_TRUE(ring.Reset(ch, capacity, error)) << error;
    std::thread writer([&] {
      std::minstd_rand random(1);
      for (std::int64_t written = 0; written < total;) {
        const auto want = static_cast<std::int32_t>(1 + random() % capacity);
        const auto n = std::min({want, ring.FreeFrames(), static_cast<std::int32_t>(total - written)});
        for (const auto& span : ring.NextSpans(n)) {
          for (int i = 0; i < span.frames * ch; ++i) span.codes[i] = std::int16_t(written * ch + i);
          written += span.frames;
        }
        ring.Publish(n);
        if (n == 0) std::this_thread::yield();
      }
    });
    std::vector<std::int16_t> out(static_cast<size_t>(capacity * ch));
    std::minstd_rand random(7);
    std::int64_t errors = 0;
    for (std::int64_t read = 0; read < total;) {
      const std::int32_t n = ring.Take(out.data(), static_cast<std::int32_t>(1 + random() % capacity));
      for (int i = 0; i < n * ch; ++i) errors += out[static_cast<size_t>(i)] != std::int16_t(read * ch + i);
      read += n;
      if (n == 0) std::this_thread::yield();
    }
    writer.join();
    EXPECT_EQ(errors, 0) << capacity << " frames of " << ch;
    EXPECT_EQ(ring.Waiting(), 0);
  }
}

}  // namespace

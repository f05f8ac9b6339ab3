// The driver object against the simulated NI-DAQmx, as the host sees it:
// neutral results, the probe's choices, channel ranges, ring sizing, the
// state shared by objects of one thread, and recording: timing, transfer,
// continuity of every frame, finite tasks, failures and stop/start cycles.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

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
#include "driver/ni_daqmx_task.h"
#include "driver/state.h"
#include "platform/system.h"
#include "tests/support/allocation_limit.h"
#include "tests/support/driver_detected.h"
#include "tests/support/wait.h"

namespace {

using driver::NI_DAQmx_Task;
using std::chrono::milliseconds;
using testsupport::Inputs;
using testsupport::OneTask;
using testsupport::OnFreshThread;
using testsupport::SimConfigFile;
using testsupport::SimIni;
using testsupport::WaitUntil;
using testsupport::WithDetected;

const std::string kPlusMinus = "\xC2\xB1";
const std::string kDegrees = "\xC2\xB0" "C";

TEST(Neutral, FreshObjectAndIndexesOutsideTheChannels) {
  SimConfigFile config(OneTask(2).Text());
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    EXPECT_EQ(adc.ADCName(), "NI-DAQmx-Task");
    EXPECT_EQ(std::make_tuple(adc.Detected(), adc.ChannelsCount(), adc.Ranges().size()), std::make_tuple(false, 0, 0u));
    std::vector<std::int16_t> buffer(16, 99);
    std::int32_t size = 16;
    std::int32_t waiting = -1;
    EXPECT_EQ(adc.GetData(buffer.data(), size, waiting), 0);
    EXPECT_EQ(std::make_tuple(size, waiting, buffer[0]), std::make_tuple(0, 0, 99));
    EXPECT_EQ(adc.InputData().codes.size(), 0u);
    const std::int32_t frames = adc.InputSizeKadrs();
    adc.SetInputSizeData(4096);  // no channel yet: the ring length stays
    EXPECT_EQ(adc.InputSizeKadrs(), frames);
    EXPECT_FALSE(adc.StartRecord());  // before Test: refused without a text
    EXPECT_EQ(adc.LastError(), "");
    ASSERT_TRUE(adc.Test());
    for (const std::int16_t bad : {-1, 2, 32767, -32768}) {
      EXPECT_EQ(std::make_tuple(adc.ChannelName(bad), adc.ChannelUnitName(bad), adc.ChannelRange(bad),
                                adc.GetChannel(bad), adc.ChannelUnitScale(bad), adc.ChannelUnitOffset(bad)),
                std::make_tuple("", "", 0, 0, 0.0f, 0.0f));
    }
    const float rate = adc.Rate();  // what the task decides ignores the host
    adc.SetChannelRange(0, 1);
    adc.SetRate(rate * 2);
    adc.SetInputChannels({1});
    EXPECT_EQ(std::make_tuple(adc.ChannelRange(0), adc.Rate(), adc.InputChannels()),
              std::make_tuple(0, rate, std::vector<std::int16_t>{0, 1}));
  });
}

// Tasks whose first channel is an analog input are candidates; one needs no
// choice, several are offered in list order. Names outside ASCII pass the
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
  const std::vector<std::string> abc{"A: 1 AI on Dev1", "B: 2 AI on Dev1", "C: 1 AI on Dev2"};
  const struct {
    const SimIni& ini;
    std::int16_t answer, base_port;
    std::vector<std::string> offered, channels;
    std::string name;
  } cases[] = {
      {one, -1, 1, {}, {"ai0", "ai1"}, "PCIe-6363"},  // named after its one device
      {output, -1, 0, {}, {}, "NI-DAQmx-Task"},
      {output_first, -1, 2, {}, {"ai0"}, "PCIe-6363"},
      {three, 2, 3, abc, {"ai0"}, "USB-6001"},
      {three, -1, 0, abc, {}, "NI-DAQmx-Task"},
      {beyond_ascii, 1, 2, {"Single: 1 AI on Dev1", umlauts + ": 2 AI on Dev1, Dev2"},
       {"Temperatur " + kDegrees, ecart}, umlauts},  // spanning devices: named after itself
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    SimConfigFile config(c.ini.Text());
    OnFreshThread([&] {
      NI_DAQmx_Task adc;
      std::vector<std::string> offered;
      adc.SetTaskChooser([&](const std::vector<daqmx::TaskListEntry>& entries) {
        for (const auto& e : entries) offered.push_back(e.EntryName + ": " + e.ChannelSummary + " on " + e.DeviceText);
        return c.answer;
      });
      EXPECT_EQ(adc.Test(), c.base_port != 0);
      if (c.base_port != 0) {
        EXPECT_TRUE(adc.Test());  // not repeated: nothing is offered again
      }
      EXPECT_EQ(offered, c.offered);
      EXPECT_EQ(std::make_tuple(adc.BasePort(), adc.ADCName(), adc.LastError()), std::make_tuple(c.base_port, c.name, ""));
      ASSERT_EQ(adc.ChannelsCount(), static_cast<std::int16_t>(c.channels.size()));
      for (std::int16_t i = 0; i < adc.ChannelsCount(); ++i) EXPECT_EQ(adc.ChannelName(i), c.channels[i]);
      if (c.base_port != 0) {
        ASSERT_TRUE(adc.StartRecord()) << adc.LastError();  // reads the channels again
        adc.StopRecord();
      } else if (!offered.empty()) {  // no choice: the host may ask again
        adc.SetTaskChooser([](const std::vector<daqmx::TaskListEntry>&) { return std::int16_t{0}; });
        EXPECT_TRUE(adc.Test());
      }
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
  for (const auto& c : cases) ini.Channel("ch" + std::to_string(&c - cases), "Dev1/ai" + std::to_string(&c - cases), c.keys);
  WithDetected(ini, [&](NI_DAQmx_Task& adc) {
    EXPECT_EQ(adc.Resolution(), 16);
    EXPECT_EQ(adc.Ranges().size(), 6u);
    for (std::int16_t i = 0; i < static_cast<std::int16_t>(std::size(cases)); ++i) {
      const auto& c = cases[i];
      EXPECT_EQ(adc.ChannelRange(i), c.range) << i;
      EXPECT_EQ(adc.Ranges().at(static_cast<size_t>(c.range)), c.text) << i;
      EXPECT_TRUE(c.text.ends_with(" " + adc.ChannelUnitName(i))) << i;
      EXPECT_EQ(std::make_pair(adc.ChannelUnitScale(i), adc.ChannelUnitOffset(i)), std::make_pair(c.scale, c.offset)) << i;
    }
  });
}

// The user's decimal separator for the duration of a test: on Windows the
// user's own setting; elsewhere, when a comma locale is installed, the C
// locale a host may have set (which the texts must not follow).
class CommaLocale {
 public:
  CommaLocale() : previous_(std::setlocale(LC_NUMERIC, nullptr)) {
#ifdef _WIN32
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, saved_, 8);
    SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, L",");
#endif
    for (const char* name : {"de_DE.UTF-8", "de_DE", "German_Germany.1252"}) {
      if (std::setlocale(LC_NUMERIC, name) != nullptr) break;
    }
  }
  ~CommaLocale() {
    std::setlocale(LC_NUMERIC, previous_.c_str());
#ifdef _WIN32
    SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, saved_);
#endif
  }

 private:
  std::string previous_;
#ifdef _WIN32
  wchar_t saved_[8] = {};
#endif
};

TEST(Ranges, LimitsUseTheUsersDecimalSeparator) {
  SimConfigFile config(OneTask(1, "", "AI.Min = -0\nAI.Max = 2.5").Text());
  OnFreshThread([] {
    std::string text, separator;
    {
      const CommaLocale comma;
      separator = platform::DecimalSeparator();
      NI_DAQmx_Task adc;
      if (adc.Test()) text = adc.Ranges().at(0);
    }
#ifdef _WIN32
    EXPECT_EQ(separator, ",");
#endif
    EXPECT_EQ(text, "0...2" + separator + "5 V");  // -0 reads 0
  });
}

// Only a plain file named NI*.chm is the help file: no folder, no hidden or
// system file.
TEST(HelpFile, OnlyAPlainNiChmFileCounts) {
  const auto folder = std::filesystem::temp_directory_path() /
                      ("niadc-help-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::filesystem::create_directories(folder / "NI-folder.chm");
  for (const char* name : {"readme.txt", "NI-hidden.chm", "NI-system.chm"}) std::ofstream(folder / name) << "x";
#ifdef _WIN32
  SetFileAttributesW((folder / "NI-hidden.chm").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesW((folder / "NI-system.chm").c_str(), FILE_ATTRIBUTE_SYSTEM);
#else
  std::filesystem::rename(folder / "NI-hidden.chm", folder / ".NI-hidden.chm");
  std::filesystem::remove(folder / "NI-system.chm");
#endif
  const std::u8string utf8 = folder.u8string();
  const std::string path(utf8.begin(), utf8.end());
  EXPECT_EQ(driver::FindHelpFile(path), "");
  std::ofstream(folder / "ni-plain.CHM") << "x";
  const std::string found = driver::FindHelpFile(path);
  EXPECT_EQ(platform::FolderOf(found), path);
  EXPECT_TRUE(found.ends_with("ni-plain.CHM")) << found;
  std::filesystem::remove_all(folder);
}

// The rate falls by tens below the device's maximum (100 frames/s without
// one); the default ring request covers a second of the maximum rate.
// Requests in codes become whole frames; one near the 32-bit limit stays a
// 32-bit count of codes.
TEST(Sizing, RateDefaultRequestAndRingSizes) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  const struct {
    int channels;
    const char* keys;
    float rate;
    std::int32_t request, frames;  // without a request: the default one
  } cases[] = {{1, "SampClk.Rate = 0\nSim.MaxRate = 250000", 100, 0, 262144},
               {1, "SampClk.Rate = 1000000\nSim.MaxRate = 250000", 100000, 0, 262144},
               {1, "SampClk.Rate = 5\nSim.MaxRate = 10", 5, 0, 65536},
               {1, "Sim.MaxRate = 100000000", 1000, 0, 16777216},
               {1, "", 1000, 500, 32768},
               {3, "", 1000, 500, 16384},
               {2, "", 1000, 1025, 512},
               {3, "", 1000, 1024, 512},
               {1, "", 1000, kMax, kMax},
               {3, "", 1000, kMax, kMax / 3},
               {2, "", 1000, kMax - 1, kMax / 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    WithDetected(OneTask(c.channels, c.keys), [&](NI_DAQmx_Task& adc) {
      EXPECT_EQ(adc.Rate(), c.rate);
      adc.SetInputSizeData(c.request != 0 ? c.request : adc.State().model.InputSizeRequest);
      EXPECT_EQ(adc.InputSizeKadrs(), c.frames);
      EXPECT_EQ(adc.InputSizeData(), c.frames * c.channels);
    });
  }
}

TEST(SharedState, ObjectsOfOneThreadShareItUntilTheLastIsReleased) {
  SimConfigFile config(OneTask(2).Text());
  OnFreshThread([] {
    {
      NI_DAQmx_Task first;
      ASSERT_TRUE(first.Test());
      NI_DAQmx_Task second;
      EXPECT_EQ(second.ChannelsCount(), 2);
      EXPECT_EQ(second.State().mTask, first.State().mTask);  // one wrapper, one loaded task
      OnFreshThread([] { EXPECT_FALSE(NI_DAQmx_Task().Detected()); });
      ASSERT_TRUE(second.StartRecord());  // released without StopRecord: the acquisition stops with them
    }
    EXPECT_EQ(driver::LiveWorkers(), 0);
    EXPECT_EQ(driver::LiveStates(), 0);
    EXPECT_FALSE(NI_DAQmx_Task().Detected());  // a new state: nothing of the old one is left
  });
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

// A start that fails leaves nothing running and says why. Every buffer
// StartRecord allocates, refused in turn by a smaller memory limit, gives the
// same "Buffer Error 7", and the object records again with a ring that fits.
TEST(Failures, StartFailuresExplainThemselves) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();
  char refused[512] = {};
  testsupport::SimLibrary()->DAQmxGetErrorString(-50103, refused, sizeof refused);
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
      bool started = true;
      {
        testsupport::AllocationLimit limit(c.limit);
        started = adc.StartRecord();
      }
      EXPECT_FALSE(started);
      EXPECT_TRUE(adc.LastError().starts_with(c.error) && !c.error.empty()) << adc.LastError();
      EXPECT_FALSE(adc.Busy());
      EXPECT_EQ(driver::LiveWorkers(), 0);
      if (c.limit == kNoLimit) return;
      adc.SetInputSizeData(4096);
      ASSERT_TRUE(adc.StartRecord()) << adc.LastError();
      EXPECT_TRUE(WaitUntil([&] { return adc.InputCountKadrs() > 0; }));
      adc.StopRecord();
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
  });
  EXPECT_EQ(driver::LiveWorkers(), 0);
}

// Two objects of one thread; either is released while the other's
// acquisition runs. The one left goes on fetching without losing a frame,
// then records again, from frame 0, without a new Test.
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
      next = 0;
      ReceiveInOrder(left, next, 2000);
      left.StopRecord();
    });
    EXPECT_EQ(driver::LiveStates(), 0);
    EXPECT_EQ(driver::LiveWorkers(), 0);
  }
}

}  // namespace

// The driver object as the host sees it before recording: neutral results,
// the probe's choices, channel ranges and scales, rates and ring sizing, and
// the state shared by objects of one thread.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <chrono>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <limits>
#include <tuple>

#include "driver/engine.h"
#include "driver/help_file.h"
#include "driver/ni_daqmx_task.h"
#include "driver/state.h"
#include "platform/system.h"
#include "tests/support/driver_detected.h"

namespace {

using driver::NI_DAQmx_Task;
using testsupport::Inputs;
using testsupport::OneTask;
using testsupport::OnFreshThread;
using testsupport::SimConfigFile;
using testsupport::SimIni;
using testsupport::WithDetected;

const std::string kPlusMinus = "\xC2\xB1";
const std::string kDegrees = "\xC2\xB0" "C";

TEST(Neutral, FreshObjectAndIndexesOutsideTheChannels) {
  SimConfigFile config(OneTask(2, "", "AI.Min = 0\nAI.Max = 5").Text());
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    EXPECT_EQ(adc.ADCName(), "NI-DAQmx-Task");
    EXPECT_FALSE(adc.Detected());
    EXPECT_EQ(adc.ChannelsCount(), 0);
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
    // Settings the task decides ignore the host.
    const float rate = adc.Rate();
    adc.SetChannelRange(0, 1);
    adc.SetRate(rate * 2);
    adc.SetInputChannels({1});
    EXPECT_EQ(adc.ChannelRange(0), 0);
    EXPECT_EQ(adc.Rate(), rate);
    EXPECT_EQ(adc.InputChannels(), (std::vector<std::int16_t>{0, 1}));
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
  const struct {
    const SimIni& ini;
    std::int16_t answer, base_port;
    std::vector<std::string> offered, channels;
    std::string name;
  } cases[] = {
      {one, -1, 1, {}, {"ai0", "ai1"}, "PCIe-6363"},  // named after its one device
      {output, -1, 0, {}, {}, "NI-DAQmx-Task"},
      {output_first, -1, 2, {}, {"ai0"}, "PCIe-6363"},
      {three, 2, 3, {"A: 1 AI on Dev1", "B: 2 AI on Dev1", "C: 1 AI on Dev2"}, {"ai0"}, "USB-6001"},
      {three, -1, 0, {"A: 1 AI on Dev1", "B: 2 AI on Dev1", "C: 1 AI on Dev2"}, {}, "NI-DAQmx-Task"},
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
      EXPECT_EQ(adc.BasePort(), c.base_port);
      EXPECT_EQ(adc.ADCName(), c.name);
      EXPECT_EQ(adc.LastError(), "");
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
  for (const auto& c : cases) {
    const std::string n = std::to_string(&c - cases);
    ini.Channel("ch" + n, "Dev1/ai" + n, c.keys);
  }
  WithDetected(ini, [&](NI_DAQmx_Task& adc) {
    EXPECT_EQ(adc.Resolution(), 16);
    EXPECT_EQ(adc.Ranges().size(), 6u);
    for (std::int16_t i = 0; i < static_cast<std::int16_t>(std::size(cases)); ++i) {
      const auto& c = cases[i];
      EXPECT_EQ(adc.ChannelRange(i), c.range) << i;
      EXPECT_EQ(adc.Ranges().at(static_cast<size_t>(c.range)), c.text) << i;
      EXPECT_TRUE(c.text.ends_with(" " + adc.ChannelUnitName(i))) << i;
      EXPECT_EQ(adc.ChannelUnitScale(i), c.scale) << i;
      EXPECT_EQ(adc.ChannelUnitOffset(i), c.offset) << i;
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

// The rate falls by tens below the device's maximum (100 frames/s without
// one); the default ring request covers a second of the maximum rate.
TEST(Rates, RateAndDefaultRingRequest) {
  const struct {
    const char* keys;
    float rate;
    std::int32_t request;
  } cases[] = {{"SampClk.Rate = 0\nSim.MaxRate = 250000", 100.0f, 262144},
               {"SampClk.Rate = 1000000\nSim.MaxRate = 250000", 100000.0f, 262144},
               {"SampClk.Rate = 5\nSim.MaxRate = 10", 5.0f, 65536},
               {"SampClk.Rate = 1000\nSim.MaxRate = 100000000", 1000.0f, 16777216}};
  for (const auto& c : cases) {
    WithDetected(OneTask(1, c.keys), [&](NI_DAQmx_Task& adc) {
      EXPECT_EQ(adc.Rate(), c.rate) << c.keys;
      EXPECT_EQ(adc.State().model.InputSizeRequest, c.request) << c.keys;
    });
  }
}

// Ring requests in codes become whole frames; a request near the 32-bit
// limit stays a 32-bit count of codes.
TEST(Rates, RequestsBecomeRingSizes) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  const struct {
    int channels;
    std::int32_t request, frames;
  } cases[] = {{1, 500, 32768}, {3, 500, 16384},      {2, 1025, 512},       {3, 1024, 512},
               {1, kMax, kMax}, {3, kMax, kMax / 3}, {2, kMax - 1, kMax / 2}};
  for (const auto& c : cases) {
    WithDetected(OneTask(c.channels), [&](NI_DAQmx_Task& adc) {
      adc.SetInputSizeData(c.request);
      EXPECT_EQ(adc.InputSizeKadrs(), c.frames) << c.channels << " x " << c.request;
      EXPECT_EQ(adc.InputSizeData(), c.frames * c.channels) << c.channels << " x " << c.request;
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

}  // namespace

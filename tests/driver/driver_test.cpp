// The driver object as the host sees it before recording: a fresh object,
// the probe's choices, channel ranges and scales, rates and ring sizing,
// neutral results, and the state shared by objects of one thread.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <chrono>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <limits>
#include <thread>

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

struct ChooserLog {
  int calls = 0;
  std::vector<daqmx::TaskListEntry> entries;
};

daqmx::TaskChooser Answer(std::int16_t answer, ChooserLog& log) {
  return [answer, &log](const std::vector<daqmx::TaskListEntry>& entries) {
    ++log.calls;
    log.entries = entries;
    return answer;
  };
}

// Runs `body(adc, log)` on a fresh thread after a Test in which the chooser answered `answer`.
template <typename Body>
void AfterTest(const SimIni& ini, std::int16_t answer, Body body) {
  SimConfigFile config(ini.Text());
  OnFreshThread([&] {
    NI_DAQmx_Task adc;
    ChooserLog log;
    adc.SetTaskChooser(Answer(answer, log));
    body(adc, log, adc.Test());
  });
}

TEST(FreshObject, AnswersFromTheInitialStateAndRefusesToStart) {
  SimConfigFile config(OneTask(1).Text());
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    EXPECT_EQ(adc.ADCName(), "NI-DAQmx-Task");
    EXPECT_FALSE(adc.Detected());
    EXPECT_EQ(adc.BasePort(), 0);
    EXPECT_EQ(adc.Resolution(), 0);
    EXPECT_EQ(adc.ChannelsCount(), 0);
    EXPECT_TRUE(adc.Ranges().empty());
    EXPECT_EQ(adc.InputCountData(), 0);
    EXPECT_TRUE(adc.GetKadr().empty());
    EXPECT_FALSE(adc.ShowSetting());
    std::vector<std::int16_t> buffer(16, 99);
    std::int32_t size = 16;
    std::int32_t waiting = -1;
    EXPECT_EQ(adc.GetData(buffer.data(), size, waiting), 0);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(waiting, 0);
    EXPECT_EQ(buffer[0], 99);
    const auto table = adc.InputData();
    EXPECT_EQ(table.rows, 0);
    EXPECT_EQ(table.columns, 1);
    EXPECT_FALSE(adc.StartRecord());  // before Test: refused without a text
    EXPECT_EQ(adc.LastError(), "");
    EXPECT_FALSE(adc.Busy());
  });
}

TEST(Probe, OneTaskNeedsNoChoiceAndStaysLoaded) {
  SimIni ini;
  ini.Task("Four").Device("Dev1", "PCIe-6363");
  AfterTest(Inputs(ini, 4), -1, [](NI_DAQmx_Task& adc, ChooserLog& log, bool detected) {
    ASSERT_TRUE(detected);
    EXPECT_EQ(log.calls, 0);
    EXPECT_EQ(adc.BasePort(), 1);
    EXPECT_TRUE(adc.Detected());
    EXPECT_EQ(adc.Resolution(), 16);
    EXPECT_EQ(adc.ChannelsCount(), 4);
    EXPECT_EQ(adc.Ranges(), std::vector<std::string>{kPlusMinus + "10 V"});
    for (std::int16_t c = 0; c < 4; ++c) {
      EXPECT_EQ(adc.ChannelRange(c), 0);
      EXPECT_EQ(adc.ChannelUnitScale(c), 3200.0f);
      EXPECT_EQ(adc.ChannelUnitOffset(c), 0.0f);
      EXPECT_EQ(adc.ChannelUnitName(c), "V");
    }
    EXPECT_EQ(adc.ChannelName(3), "ai3");
    EXPECT_NE(adc.State().mTask->Handle(), nullptr);
    EXPECT_TRUE(adc.Test());  // a successful Test is not repeated
    EXPECT_EQ(log.calls, 0);
  });
}

TEST(Probe, OnlyTasksWhoseFirstChannelIsAnalogInputQualify) {
  SimIni ini;
  ini.Task("Output").Channel("ao0", "Dev1/ao0", "ChanType = Analog Output");
  AfterTest(ini, -1, [](NI_DAQmx_Task& adc, ChooserLog&, bool detected) {
    EXPECT_FALSE(detected);
    EXPECT_EQ(adc.BasePort(), 0);
  });
  ini.Task("Input").Channel("ai0", "Dev1/ai0");
  AfterTest(ini, -1, [](NI_DAQmx_Task& adc, ChooserLog& log, bool detected) {
    ASSERT_TRUE(detected);
    EXPECT_EQ(log.calls, 0);
    EXPECT_EQ(adc.BasePort(), 2);
    EXPECT_EQ(adc.State().model.mTaskName, "Input");
  });
}

TEST(Probe, SeveralCandidatesAreOfferedInListOrder) {
  SimIni ini;
  ini.Task("A").Channel("ai0", "Dev1/ai0").Task("B");
  Inputs(ini, 2).Task("C");
  Inputs(ini, 4, "Dev2").Device("Dev1", "PCIe-6363").Device("Dev2", "USB-6001");
  AfterTest(ini, 2, [](NI_DAQmx_Task& adc, ChooserLog& log, bool detected) {
    ASSERT_TRUE(detected);
    EXPECT_EQ(log.calls, 1);
    ASSERT_EQ(log.entries.size(), 3u);
    EXPECT_EQ(log.entries[1].EntryName, "B");
    EXPECT_EQ(log.entries[1].ChannelSummary, "2 AI");
    EXPECT_EQ(log.entries[2].DeviceText, "Dev2");
    EXPECT_EQ(log.entries[2].TaskIndex, 2);
    EXPECT_EQ(adc.BasePort(), 3);
    EXPECT_EQ(adc.ChannelsCount(), 4);
    EXPECT_EQ(adc.State().mTask->TaskName(), "C");
  });
}

TEST(Probe, NoChoiceFailsTheTestAndItMayBeRepeated) {
  SimIni ini;
  ini.Task("A").Channel("ai0", "Dev1/ai0").Task("B").Channel("ai1", "Dev1/ai1");
  AfterTest(ini, -1, [](NI_DAQmx_Task& adc, ChooserLog& log, bool detected) {
    EXPECT_FALSE(detected);
    EXPECT_EQ(adc.BasePort(), 0);
    EXPECT_FALSE(adc.Detected());
    EXPECT_EQ(adc.LastError(), "");
    adc.SetTaskChooser(Answer(0, log));
    EXPECT_TRUE(adc.Test());
    EXPECT_EQ(log.calls, 2);
    EXPECT_EQ(adc.BasePort(), 1);
  });
}

// Names outside ASCII pass the NI-DAQmx boundary in the system's code page
// and come back to the host unchanged; a task spanning devices is named
// after itself.
TEST(Probe, NamesBeyondAsciiCrossNiDaqmxUnchanged) {
  const std::string task = "Messung \xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F";  // "Messung äöüß"
  const std::string channel = "Temperatur " + kDegrees;
  SimIni ini;
  ini.Task("Single").Channel("ai0", "Dev1/ai0").Device("Dev1", "PCIe-6363 (BNC)").Device("Dev2", "USB-6001");
  ini.Task(task).Channel(channel, "Dev1/ai1").Channel("\xC3\x89" "cart", "Dev2/ai0");  // "Écart"
  AfterTest(ini, 0, [](NI_DAQmx_Task& adc, ChooserLog&, bool detected) {
    ASSERT_TRUE(detected);
    EXPECT_EQ(adc.ADCName(), "PCIe-6363");  // one device: its product type
  });
  AfterTest(ini, 1, [&](NI_DAQmx_Task& adc, ChooserLog& log, bool detected) {
    ASSERT_TRUE(detected);
    ASSERT_EQ(log.entries.size(), 2u);
    EXPECT_EQ(log.entries[1].EntryName, task);
    EXPECT_EQ(adc.ADCName(), task);
    EXPECT_EQ(adc.ChannelName(0), channel);
    EXPECT_EQ(adc.ChannelName(1), "\xC3\x89" "cart");
    ASSERT_TRUE(adc.StartRecord()) << adc.LastError();
    adc.StopRecord();
  });
}

TEST(Ranges, TextsScalesAndOffsets) {
  const struct {
    const char* limits;
    std::string text;
    double scale, offset;
  } cases[] = {
      {"AI.Min = 0\nAI.Max = 0", kPlusMinus + "10 V", 3200, 0},  // no limits: ±10
      {"AI.Min = 5\nAI.Max = 5", kPlusMinus + "5 V", 6400, 0},   // equal limits: ± the limit
      {"AI.Min = 0\nAI.Max = 10", "0...10 V", 6400, 5},
      {"AI.Min = -5\nAI.Max = 1", "-5...1 V", 32000.0 / 3, -2},
      {"AI.Min = -0.5\nAI.Max = 0.5", kPlusMinus + "0.5 V", 64000, 0},
  };
  SimIni ini;
  ini.Task("Rng");
  for (const auto& c : cases) {
    const std::string n = std::to_string(&c - cases);
    ini.Channel("ch" + n, "Dev1/ai" + n, c.limits);
  }
  WithDetected(ini, [&](NI_DAQmx_Task& adc) {
    for (std::int16_t i = 0; i < static_cast<std::int16_t>(std::size(cases)); ++i) {
      const auto& info = adc.State().model.mChannelInfo[static_cast<size_t>(i)];
      EXPECT_EQ(info.RangeText, cases[i].text) << i;
      EXPECT_DOUBLE_EQ(info.Scale, cases[i].scale) << i;
      EXPECT_DOUBLE_EQ(info.Offset, cases[i].offset) << i;
      EXPECT_EQ(adc.ChannelUnitScale(i), static_cast<float>(cases[i].scale)) << i;
      EXPECT_EQ(adc.ChannelUnitOffset(i), static_cast<float>(cases[i].offset)) << i;
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
  SimIni ini;
  ini.Task("Rng").Channel("ch0", "Dev1/ai0", "AI.Min = -0\nAI.Max = 2.5");
  SimConfigFile config(ini.Text());
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

TEST(Ranges, DistinctTextsInOrderOfFirstUse) {
  SimIni ini;
  ini.Task("Rng");
  int n = 0;
  for (const char* limits : {"", "AI.Min = 0\nAI.Max = 5", "", "AI.Min = 0\nAI.Max = 5"}) {
    ini.Channel("ch" + std::to_string(n), "Dev1/ai" + std::to_string(n), limits);
    ++n;
  }
  ini.Channel("temp", "Dev1/ai4", "AI.Min = 0\nAI.Max = 5\nAI.MeasType = Temperature:Thermocouple");
  WithDetected(ini, [](NI_DAQmx_Task& adc) {
    EXPECT_EQ(adc.Ranges(), (std::vector<std::string>{kPlusMinus + "10 V", "0...5 V", "0...5 " + kDegrees}));
    for (std::int16_t c : {0, 1, 2, 3, 4}) EXPECT_EQ(adc.ChannelRange(c), std::vector<int>({0, 1, 0, 1, 2})[c]);
    EXPECT_EQ(adc.ChannelUnitName(4), kDegrees);  // same limits, other unit: its own range
  });
}

TEST(Ranges, IndexesOutsideTheChannelsGiveNeutralResultsAndIgnoredLetsChangeNothing) {
  WithDetected(OneTask(2, "", "AI.Min = 0\nAI.Max = 5"), [](NI_DAQmx_Task& adc) {
    for (std::int16_t bad : {std::int16_t{-1}, std::int16_t{2}, std::int16_t{32767}, std::int16_t{-32768}}) {
      EXPECT_EQ(adc.ChannelName(bad), "");
      EXPECT_EQ(adc.ChannelRange(bad), 0);
      EXPECT_EQ(adc.ChannelUnitScale(bad), 0.0f);
      EXPECT_EQ(adc.ChannelUnitOffset(bad), 0.0f);
      EXPECT_EQ(adc.ChannelUnitName(bad), "");
      EXPECT_EQ(adc.GetChannel(bad), 0);
    }
    const float rate = adc.Rate();
    adc.SetChannelRange(0, 1);
    adc.SetRate(rate * 2);
    adc.SetInputChannels({1});
    EXPECT_EQ(adc.ChannelRange(0), 0);
    EXPECT_EQ(adc.Rate(), rate);
    EXPECT_EQ(adc.InputChannels(), (std::vector<std::int16_t>{0, 1}));
    EXPECT_EQ(adc.InputCountChannels(), 2);
  });
}

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
TEST(Sizing, RequestsBecomeRingSizes) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  const struct {
    int channels;
    std::int32_t request, frames;
  } cases[] = {{1, 500, 32768},          {3, 500, 16384},          {2, 1025, 512},       {3, 1024, 512},
               {1, kMax, kMax},           {3, kMax, kMax / 3},      {64, kMax, kMax / 64}, {2, kMax - 1, kMax / 2}};
  for (const auto& c : cases) {
    WithDetected(OneTask(c.channels), [&](NI_DAQmx_Task& adc) {
      adc.SetInputSizeData(c.request);
      EXPECT_EQ(adc.InputSizeKadrs(), c.frames) << c.channels << " x " << c.request;
      EXPECT_EQ(adc.InputSizeData(), c.frames * c.channels) << c.channels << " x " << c.request;
    });
  }
}

TEST(Sizing, NoChannelKeepsTheRingLength) {
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    auto& state = const_cast<driver::DriverState&>(adc.State());
    state.mInput.InputSizeKadrs = 77;
    adc.SetInputSizeData(4096);
    EXPECT_EQ(adc.InputCountChannels(), 1);
    EXPECT_EQ(adc.InputSizeKadrs(), 77);
    EXPECT_EQ(adc.InputSizeData(), 77);
  });
}

TEST(SharedState, ObjectsOfOneThreadShareItOthersDoNot) {
  WithDetected(OneTask(2), [](NI_DAQmx_Task& first) {
    NI_DAQmx_Task second;
    EXPECT_TRUE(second.Detected());
    EXPECT_EQ(second.ChannelsCount(), 2);
    EXPECT_EQ(&second.State(), &first.State());
    EXPECT_EQ(second.State().mTask, first.State().mTask);  // one wrapper, one loaded task
    OnFreshThread([] {
      NI_DAQmx_Task elsewhere;
      EXPECT_FALSE(elsewhere.Detected());
      EXPECT_EQ(elsewhere.ChannelsCount(), 0);
    });
  });
}

TEST(SharedState, EndsWithTheLastObjectOfTheThread) {
  SimConfigFile config(OneTask(1).Text());
  OnFreshThread([] {
    {
      NI_DAQmx_Task adc;
      ASSERT_TRUE(adc.Test());
      ASSERT_TRUE(adc.StartRecord());  // released without StopRecord: the acquisition stops with it
      EXPECT_EQ(driver::LiveStates(), 1);
    }
    EXPECT_EQ(driver::LiveWorkers(), 0);
    EXPECT_EQ(driver::LiveStates(), 0);
    NI_DAQmx_Task later;  // a new state: nothing of the old one is left
    EXPECT_FALSE(later.Detected());
    EXPECT_EQ(later.BasePort(), 0);
  });
  EXPECT_EQ(driver::LiveStates(), 0);
}

}  // namespace

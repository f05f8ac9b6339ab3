// The driver object as the host sees it before recording: a fresh object,
// the probe's choices, channel ranges and scales, rates and ring sizing,
// neutral results, and the state shared by objects of one thread.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <cctype>
#include <chrono>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <thread>

#include "driver/engine.h"
#include "driver/help_file.h"
#include "driver/ni_daqmx_task.h"
#include "driver/state.h"
#include "platform/system.h"
#include "tests/driver/ini.h"
#include "tests/support/sim_env.h"

namespace {

using driver::NI_DAQmx_Task;
using testini::Channel;
using testini::Device;
using testini::Task;

const std::string kPlusMinus = "\xC2\xB1";
const std::string kDegrees = "\xC2\xB0"
                             "C";

// Every test gets a thread of its own, so that it starts from a fresh driver
// state, as a host's new apartment does.
template <typename Body>
void OnFreshThread(Body body) {
  std::thread thread(body);
  thread.join();
}

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

TEST(FreshObject, AnswersFromTheInitialState) {
  testini::SimConfig config(Task("Tsk", "Dev1/ai0"));
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    EXPECT_EQ(adc.ADCName(), "NI-DAQmx-Task");
    EXPECT_FALSE(adc.Detected());
    EXPECT_EQ(adc.BasePort(), 0);
    EXPECT_EQ(adc.Resolution(), 0);
    EXPECT_EQ(adc.ChannelsCount(), 0);
    EXPECT_TRUE(adc.Ranges().empty());
    EXPECT_FALSE(adc.Busy());
    EXPECT_EQ(adc.LastError(), "");
    EXPECT_EQ(adc.InputCountData(), 0);
    EXPECT_TRUE(adc.GetKadr().empty());
    EXPECT_FALSE(adc.ShowSetting());
  });
}

TEST(FreshObject, FetchesNothingBeforeTheFirstStart) {
  testini::SimConfig config(Task("Tsk", "Dev1/ai0"));
  OnFreshThread([] {
    NI_DAQmx_Task adc;
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
  });
}

TEST(FreshObject, StartBeforeTestIsRefusedWithoutText) {
  testini::SimConfig config(Task("Tsk", "Dev1/ai0"));
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    EXPECT_FALSE(adc.StartRecord());
    EXPECT_EQ(adc.LastError(), "");
    EXPECT_FALSE(adc.Busy());
  });
}

TEST(Probe, OneTaskNeedsNoChoiceAndStaysLoaded) {
  testini::SimConfig config(Task("Four", "Dev1/ai0:3") + Device("Dev1", "PCIe-6363"));
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    ChooserLog log;
    adc.SetTaskChooser(Answer(-1, log));
    ASSERT_TRUE(adc.Test());
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
    // A successful Test is not repeated.
    EXPECT_TRUE(adc.Test());
    EXPECT_EQ(log.calls, 0);
  });
}

TEST(Probe, OnlyTasksWhoseFirstChannelIsAnalogInputQualify) {
  testini::SimConfig config(Task("Output", "Dev1/ao0", "Analog Output") + Task("Input", "Dev1/ai0"));
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    ChooserLog log;
    adc.SetTaskChooser(Answer(-1, log));
    ASSERT_TRUE(adc.Test());
    EXPECT_EQ(log.calls, 0);
    EXPECT_EQ(adc.BasePort(), 2);
    EXPECT_EQ(adc.State().model.mTaskName, "Input");
  });
}

TEST(Probe, SeveralCandidatesAreOfferedInListOrder) {
  testini::SimConfig config(Task("A", "Dev1/ai0") + Task("B", "Dev1/ai0:1") + Task("C", "Dev2/ai0:3") +
                                    Device("Dev1", "PCIe-6363") + Device("Dev2", "USB-6001"));
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    ChooserLog log;
    adc.SetTaskChooser(Answer(2, log));
    ASSERT_TRUE(adc.Test());
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
  testini::SimConfig config(Task("A", "Dev1/ai0") + Task("B", "Dev1/ai1"));
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    ChooserLog log;
    adc.SetTaskChooser(Answer(-1, log));
    EXPECT_FALSE(adc.Test());
    EXPECT_EQ(adc.BasePort(), 0);
    EXPECT_FALSE(adc.Detected());
    EXPECT_EQ(adc.LastError(), "");
    adc.SetTaskChooser(Answer(0, log));
    EXPECT_TRUE(adc.Test());
    EXPECT_EQ(log.calls, 2);
    EXPECT_EQ(adc.BasePort(), 1);
  });
}

TEST(Probe, NothingUsableFailsTheTest) {
  testini::SimConfig config(Task("Output", "Dev1/ao0", "Analog Output"));
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    EXPECT_FALSE(adc.Test());
    EXPECT_EQ(adc.BasePort(), 0);
  });
}

TEST(Probe, DeviceNameIsTheProductTypeOfAnOnlyDevice) {
  testini::SimConfig config(Task("Single", "Dev1/ai0:1") + Task("Spanning", "Dev1/ai0, Dev2/ai0") +
                                    Device("Dev1", "PCIe-6363 (BNC)") + Device("Dev2", "USB-6001"));
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    ChooserLog log;
    adc.SetTaskChooser(Answer(0, log));
    ASSERT_TRUE(adc.Test());
    EXPECT_EQ(adc.ADCName(), "PCIe-6363");
  });
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    ChooserLog log;
    adc.SetTaskChooser(Answer(1, log));
    ASSERT_TRUE(adc.Test());
    EXPECT_EQ(adc.ADCName(), "Spanning");
  });
}

// One task of the given channels, each line "physical|min|max|measurement".
std::string RangeTask(const std::vector<std::string>& channels) {
  std::vector<std::string> names;
  std::string sections;
  for (size_t i = 0; i < channels.size(); ++i) {
    names.push_back("ch" + std::to_string(i));
    sections += Channel("Rng", names.back(), channels[i]);
  }
  return testini::TaskSection("Rng", names) + sections;
}

TEST(Ranges, TextsScalesAndOffsets) {
  testini::SimConfig config(RangeTask({"Dev1/ai0|0|0|Voltage", "Dev1/ai1|5|5|Voltage",
                                               "Dev1/ai2|0|10|Voltage", "Dev1/ai3|-5|1|Voltage",
                                               "Dev1/ai4|-0.5|0.5|Voltage"}));
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    ASSERT_TRUE(adc.Test());
    const auto& info = adc.State().model.mChannelInfo;
    EXPECT_EQ(info[0].RangeText, kPlusMinus + "10 V");  // no limits: ±10
    EXPECT_EQ(info[1].RangeText, kPlusMinus + "5 V");   // equal limits: ± the limit
    EXPECT_EQ(info[2].RangeText, "0...10 V");
    EXPECT_DOUBLE_EQ(info[2].Offset, 5);
    EXPECT_DOUBLE_EQ(info[2].Scale, 6400);
    EXPECT_EQ(info[3].RangeText, "-5...1 V");
    EXPECT_DOUBLE_EQ(info[3].Offset, -2);
    EXPECT_DOUBLE_EQ(info[3].Scale, 32000.0 / 3);
    EXPECT_EQ(adc.ChannelUnitScale(3), static_cast<float>(32000.0 / 3));
    EXPECT_EQ(adc.ChannelUnitOffset(3), -2.0f);
    EXPECT_EQ(info[4].RangeText, kPlusMinus + "0.5 V");
  });
}

// A host may have set the C locale to one that writes a decimal comma; the
// texts still use only the user's separator, and -0 reads 0.
TEST(Ranges, LimitsUseOnlyTheUsersDecimalSeparator) {
  testini::SimConfig config(RangeTask({"Dev1/ai0|-0|2.5|Voltage"}));
  OnFreshThread([] {
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    for (const char* comma_locale : {"de_DE.UTF-8", "de_DE", "German_Germany.1252", "German"}) {
      if (std::setlocale(LC_NUMERIC, comma_locale) != nullptr) break;
    }
    NI_DAQmx_Task adc;
    const bool detected = adc.Test();
    const std::string text = adc.State().model.mChannelInfo.empty() ? "" : adc.State().model.mChannelInfo[0].RangeText;
    std::setlocale(LC_NUMERIC, previous.c_str());
    ASSERT_TRUE(detected);
    EXPECT_EQ(text, "0...2" + platform::DecimalSeparator() + "5 V");
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
  testini::SimConfig config(RangeTask({"Dev1/ai0|-10|10|Voltage", "Dev1/ai1|0|5|Voltage",
                                               "Dev1/ai2|-10|10|Voltage", "Dev1/ai3|0|5|Voltage",
                                               "Dev1/ai4|0|5|Temperature:Thermocouple"}));
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    ASSERT_TRUE(adc.Test());
    EXPECT_EQ(adc.Ranges(),
              (std::vector<std::string>{kPlusMinus + "10 V", "0...5 V", "0...5 " + kDegrees}));
    EXPECT_EQ(adc.ChannelRange(0), 0);
    EXPECT_EQ(adc.ChannelRange(1), 1);
    EXPECT_EQ(adc.ChannelRange(2), 0);
    EXPECT_EQ(adc.ChannelRange(3), 1);
    EXPECT_EQ(adc.ChannelRange(4), 2);  // same limits, other unit: its own range
    EXPECT_EQ(adc.ChannelUnitName(4), kDegrees);
  });
}

TEST(Ranges, IndexesOutsideTheChannelsGiveNeutralResults) {
  testini::SimConfig config(RangeTask({"Dev1/ai0|0|5|Voltage", "Dev1/ai1|0|5|Voltage"}));
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    ASSERT_TRUE(adc.Test());
    for (std::int16_t bad : {std::int16_t{-1}, std::int16_t{2}, std::int16_t{32767}, std::int16_t{-32768}}) {
      EXPECT_EQ(adc.ChannelName(bad), "");
      EXPECT_EQ(adc.ChannelRange(bad), 0);
      EXPECT_EQ(adc.ChannelUnitScale(bad), 0.0f);
      EXPECT_EQ(adc.ChannelUnitOffset(bad), 0.0f);
      EXPECT_EQ(adc.ChannelUnitName(bad), "");
      EXPECT_EQ(adc.GetChannel(bad), 0);
    }
  });
}

TEST(Ranges, IgnoredLetsChangeNothing) {
  testini::SimConfig config(RangeTask({"Dev1/ai0|0|5|Voltage", "Dev1/ai1|-1|1|Voltage"}));
  OnFreshThread([] {
    NI_DAQmx_Task adc;
    ASSERT_TRUE(adc.Test());
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

// A one-channel task with the given clock settings.
std::string RateTask(const std::string& rate, const std::string& max_rate) {
  return Task("Rates", "Dev1/ai0", "Analog Input", "SampClk.Rate = " + rate + "\nSim.MaxRate = " + max_rate + "\n");
}

TEST(Rates, RateAndDefaultRingRequest) {
  struct Case {
    std::string rate, max_rate;
    float expected_rate;
    std::int32_t expected_frames;
  };
  for (const Case& c : std::vector<Case>{{"0", "250000", 100.0f, 262144},
                                         {"1000000", "250000", 100000.0f, 262144},
                                         {"5", "10", 5.0f, 65536},
                                         {"1000", "100000000", 1000.0f, 16777216}}) {
    testini::SimConfig config(RateTask(c.rate, c.max_rate));
    OnFreshThread([&] {
      NI_DAQmx_Task adc;
      ASSERT_TRUE(adc.Test());
      EXPECT_EQ(adc.Rate(), c.expected_rate) << c.rate << " / " << c.max_rate;
      EXPECT_EQ(adc.State().model.InputSizeRequest, c.expected_frames) << c.max_rate;
    });
  }
}

TEST(Sizing, RequestsBecomeRingSizes) {
  testini::SimConfig config(Task("One", "Dev1/ai0") + Task("Two", "Dev1/ai0:1") + Task("Three", "Dev1/ai0:2"));
  struct Case {
    std::int16_t task;
    std::int32_t request, frames;
  };
  for (const Case& c : std::vector<Case>{{0, 500, 32768}, {2, 500, 16384}, {1, 1025, 512}, {2, 1024, 512}}) {
    OnFreshThread([&] {
      NI_DAQmx_Task adc;
      ChooserLog log;
      adc.SetTaskChooser(Answer(c.task, log));
      ASSERT_TRUE(adc.Test());
      adc.SetInputSizeData(c.request);
      EXPECT_EQ(adc.InputSizeKadrs(), c.frames) << c.request;
      EXPECT_EQ(adc.InputSizeData(), c.frames * adc.InputCountChannels());
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
  testini::SimConfig config(Task("Tsk", "Dev1/ai0:1"));
  OnFreshThread([] {
    NI_DAQmx_Task first;
    ASSERT_TRUE(first.Test());
    NI_DAQmx_Task second;
    EXPECT_TRUE(second.Detected());
    EXPECT_EQ(second.ChannelsCount(), 2);
    EXPECT_EQ(&second.State(), &first.State());
    EXPECT_EQ(second.State().mTask, first.State().mTask);  // one wrapper, one loaded task
    std::thread([] {
      NI_DAQmx_Task elsewhere;
      EXPECT_FALSE(elsewhere.Detected());
      EXPECT_EQ(elsewhere.ChannelsCount(), 0);
    }).join();
  });
}

TEST(SharedState, EndsWithTheLastObjectOfTheThread) {
  testini::SimConfig config(Task("Tsk", "Dev1/ai0"));
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

// Configuration files named by NIDAQMX_SIM_CONFIG: NI MAX's format, reloading,
// and clear errors for broken files.
#include <fstream>

#include "platform/system.h"
#include "tests/sim/sim_api.h"

namespace simtest {
namespace {

class ConfigFile : public SimTest {};

// NI MAX's own files: a byte order mark, CRLF, comments, spacing, sections of no interest; names beyond
// ASCII in UTF-8 there, and in the system's code page at the C functions.
TEST_F(ConfigFile, ExportsAsNIMaxWritesThem) {
  testsupport::SimConfigFile file(
      "\xEF\xBB\xBF; exported by NI MAX\r\n"
      "[DAQmx]\r\nMajorVersion=19\r\n  MinorVersion   =   5  \r\n\r\n"
      "; a task\r\n[DAQmxTask  Spaced M\xC3\xBCller ]\r\nChannels = Spaced M\xC3\xBCller/\xC3\x89" "cart\r\n"
      "SampTimingType = On Demand\r\n"
      "[DAQmxChannel Spaced M\xC3\xBCller/\xC3\x89" "cart]\r\nChanType = Analog Input\r\n"
      "PhysicalChanName = cDAQ2Mod3/ai0\r\nAI.Max = 2.5\r\nAI.Min = -2.5e0\r\nDescr = ; not a comment here\r\n"
      "[DAQmxScale Volts2Bar]\r\nScaleType = Linear\r\nLin.Slope = 2\r\n"
      "[DAQmxCDAQChassis cDAQ2]\r\nProductType = cDAQ-9178\r\nDevSerialNum = 0x00ABC\r\n"
      "[DAQmxCDAQModule cDAQ2Mod3]\r\nProductType = NI 9234\r\n");
  const std::string name = platform::ToSystemAnsi("Spaced M\xC3\xBCller");
  const std::string channel = platform::ToSystemAnsi("\xC3\x89" "cart");
  EXPECT_EQ(Text(Api().DAQmxGetSysTasks), name);
  const LoadedTask task(name);
  ASSERT_EQ(task.status, 0) << ExtendedError();
  EXPECT_EQ(Text(Api().DAQmxGetTaskChannels, task.handle), channel);
  EXPECT_EQ(Value<float64>(Api().DAQmxGetAIMin, task.handle, channel.c_str()), -2.5);
  EXPECT_EQ(Value<uInt32>(Api().DAQmxGetSysNIDAQMinorVersion), 5u);
  EXPECT_EQ(Value<uInt32>(Api().DAQmxGetDevSerialNum, "cDAQ2"), 0xABCu);
  EXPECT_EQ(Value<int32>(Api().DAQmxGetSampTimingType, task.handle), val::kOnDemand);
  EXPECT_EQ(Value<float64>(Api().DAQmxGetSampClkMaxRate, task.handle), 51200.0);
  EXPECT_EQ(Text(Api().DAQmxGetTaskDevices, task.handle), "cDAQ2Mod3");
  EXPECT_EQ(Text(Api().DAQmxGetDevAIPhysicalChans, "cdaq2mod3"),
            "cDAQ2Mod3/ai0, cDAQ2Mod3/ai1, cDAQ2Mod3/ai2, cDAQ2Mod3/ai3");
}

// The file is read again when it changes; a loaded task keeps what it was loaded with.
TEST_F(ConfigFile, IsReadAgainWhenItChanges) {
  testsupport::SimConfigFile file(Tasks().Add("First", "", {""}).Text());
  const LoadedTask loaded("First");
  std::ofstream(file.Path(), std::ios::trunc) << "[DAQmx]\n" + Tasks().Add("SecondTask", "", {"", ""}).Text();
  EXPECT_EQ(Text(Api().DAQmxGetSysTasks), "SecondTask");
  EXPECT_EQ(Text(Api().DAQmxGetTaskChannels, loaded.handle), "ai0");
}

TEST_F(ConfigFile, BrokenFilesNameFileLineAndProblem) {
  const std::string head = "[DAQmx]\nMajorVersion = 21\nMinorVersion = 3\n", task = head + "[DAQmxTask T]\n";
  const std::string chan = head + "[DAQmxChannel T/a]\nPhysicalChanName = Dev1/ai0\n";
  const std::tuple<std::string, int, const char*> files[] = {
      {task + "Channels T/a\n", 5, "expected 'Property = Value'"}, {head + "[DAQmxTask T\n", 4, "closing ']'"},
      {"MajorVersion = 21\n[DAQmx]\n", 1, "outside any [section]"},
      {head + "minorversion = 4\n", 4, "repeated"}, {task + "[DAQmxTask t]\n", 5, "defined twice"},
      {task + "SampQuant.SampMode = Sometimes\n", 5, "Sometimes"}, {chan + "AI.MeasType = X\n", 6, "AI.MeasType"},
      {task + "SampClk.Rate = fast\n", 5, "must be a number"}, {task + "SampClk.Rate = -5\n", 5, "negative"},
      {chan + "AI.Max = -1\nAI.Min = 1\n", 4, "AI.Min must not be above AI.Max"},
      {task + "Channels = T/a, T/b\n[DAQmxChannel T/a]\nPhysicalChanName = Dev1/ai0\n[DAQmxDevice Dev1]\n", 5,
       "'T/b'"},
      {task + "Channels = T/a\n[DAQmxChannel T/a]\nPhysicalChanName = Dev7/ai0\n", 6, "Dev7"},
      {task + "Sim.FailStrat = -1\n", 5, "Sim.FailStrat"}, {task + "Sim.FailStart = 50103\n", 5, "Sim.FailStart"},
      {chan + "Sim.Signal = Square\n", 6, "Square"}, {chan + "Sim.Period = 1\n", 6, "Sim.Period"},
      {chan + "Sim.Period = 1048577\n", 6, "Sim.Period"},  // the longest table is 1048576 entries
      {"; another program's settings\n[Window]\nWidth = 640\n", 1, "not an NI MAX configuration export"}};
  for (const auto& [text, line, problem] : files) {
    SCOPED_TRACE(text);
    testsupport::SimConfigFile file("");
    std::ofstream(file.Path(), std::ios::binary | std::ios::trunc) << text;
    const std::string where = file.Path() + ":" + std::to_string(line) + ": ";
    EXPECT_EQ(Api().DAQmxGetSysTasks(nullptr, 0), kConfigInvalid);
    EXPECT_EQ(Api().DAQmxGetDevProductType("Dev1", nullptr, 0), kConfigInvalid);
    EXPECT_EQ(LoadedTask("T").status, kConfigInvalid);
    EXPECT_THAT(ExtendedError(), AllOf(HasSubstr(where), HasSubstr(problem)));
    EXPECT_THAT(Text(Api().DAQmxGetErrorString, kConfigInvalid), HasSubstr(where));  // from the status alone
  }
  const std::string missing = testsupport::SimConfigFile("").Path();  // removed again
  testsupport::ScopedEnv env("NIDAQMX_SIM_CONFIG", missing);
  EXPECT_EQ(LoadedTask("Demo4ch").status, -250002);
  EXPECT_THAT(ExtendedError(), HasSubstr(missing));
  EXPECT_THAT(Text(Api().DAQmxGetErrorString, -250002), HasSubstr(missing));
}

}  // namespace
}  // namespace simtest

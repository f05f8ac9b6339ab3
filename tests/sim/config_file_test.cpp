// Configuration files named by NIDAQMX_SIM_CONFIG: NI MAX's labels, the
// simulator's own keys, reloading, and clear errors for broken files.
#include <filesystem>
#include <fstream>

#include "tests/sim/sim_api.h"

namespace simtest {
namespace {

namespace val = daqmx::val;
namespace st = daqmx::status;

class ConfigFile : public SimTest {};

TEST_F(ConfigFile, LabelsBecomeNIConstants) {
  const std::pair<std::string, int32> labels[] = {{"AI.MeasType = Current", val::kCurrent},
                                                  {"AI.MeasType = Temperature:Thermocouple", val::kTempTC},
                                                  {"AI.MeasType = Accelerometer", val::kAccelerometer},
                                                  {"AI.MeasType = Strain:Strain Gage", val::kStrainGage},
                                                  {"AI.MeasType = Sound Pressure:Microphone", val::kSoundPressureMicrophone},
                                                  {"AI.MeasType = Voltage:RMS", val::kVoltageRMS},
                                                  {"ChanType = Digital Input", val::kDI},
                                                  {"ChanType = Counter Input", val::kCI}};
  std::vector<std::string> keys;
  for (const auto& label : labels) keys.push_back(label.first);
  testsupport::SimConfigFile file(TaskExport("Labels", "SampQuant.SampMode = Finite Samples", keys));
  LoadedTask task("Labels");
  ASSERT_EQ(task.LoadStatus(), 0) << ExtendedError();
  for (int i = 0; const auto& [label, expected] : labels) {
    const std::string channel = "ai" + std::to_string(i++);
    int32 value = 0;
    const auto get = label.starts_with("AI.") ? Api().DAQmxGetAIMeasType : Api().DAQmxGetChanType;
    EXPECT_EQ(get(task.Handle(), channel.c_str(), &value), 0);
    EXPECT_EQ(value, expected) << label;
  }
  int32 mode = 0;
  EXPECT_EQ(Api().DAQmxGetSampQuantSampMode(task.Handle(), &mode), 0);
  EXPECT_EQ(mode, val::kFiniteSamps);
}

TEST_F(ConfigFile, CommentsBlankLinesAndSpacingAreTolerated) {
  testsupport::SimConfigFile file(
      "\xEF\xBB\xBF; exported by NI MAX\r\n"
      "[DAQmx]\r\nMajorVersion=19\r\n  MinorVersion   =   5  \r\n\r\n"
      "; a task\r\n[DAQmxTask  Spaced Name ]\r\nChannels = Spaced Name/Voltage_0\r\n"
      "SampTimingType = On Demand\r\n"
      "[DAQmxChannel Spaced Name/Voltage_0]\r\nChanType = Analog Input\r\nPhysicalChanName = Dev1/ai3\r\n"
      "AI.Max = 2.5\r\nAI.Min = -2.5e0\r\nDescr = ; not a comment here\r\n"
      "[DAQmxScale Volts2Bar]\r\nScaleType = Linear\r\nLin.Slope = 2\r\n"
      "[DAQmxDevice Dev1]\r\nProductType = USB-6211\r\nDevSerialNum = 0x00ABC\r\n");
  EXPECT_EQ(SysTasks(), "Spaced Name");
  LoadedTask task("Spaced Name");
  ASSERT_EQ(task.LoadStatus(), 0) << ExtendedError();
  EXPECT_EQ(TaskChannels(task.Handle()), "Voltage_0");
  float64 min = 0;
  uInt32 major = 0;
  uInt32 minor = 0;
  uInt32 serial = 0;
  int32 timing = 0;
  EXPECT_EQ(Api().DAQmxGetAIMin(task.Handle(), "Voltage_0", &min), 0);
  EXPECT_EQ(Api().DAQmxGetSysNIDAQMajorVersion(&major), 0);
  EXPECT_EQ(Api().DAQmxGetSysNIDAQMinorVersion(&minor), 0);
  EXPECT_EQ(Api().DAQmxGetDevSerialNum("Dev1", &serial), 0);
  EXPECT_EQ(Api().DAQmxGetSampTimingType(task.Handle(), &timing), 0);
  EXPECT_EQ(min, -2.5);
  EXPECT_EQ(major, 19u);
  EXPECT_EQ(minor, 5u);
  EXPECT_EQ(serial, 0xABCu);
  EXPECT_EQ(timing, val::kOnDemand);
}

TEST_F(ConfigFile, CompactDAQModulesAreDevices) {
  testsupport::SimConfigFile file(
      "[DAQmx]\nMajorVersion = 21\nMinorVersion = 3\n"
      "[DAQmxTask T]\nChannels = T/a, T/b\n"
      "[DAQmxChannel T/a]\nPhysicalChanName = cDAQ2Mod3/ai0\n"
      "[DAQmxChannel T/b]\nPhysicalChanName = cDAQ2Mod1/ai0\n"
      "[DAQmxCDAQChassis cDAQ2]\nProductType = cDAQ-9178\n"
      "[DAQmxCDAQModule cDAQ2Mod1]\nProductType = NI 9215\n"
      "[DAQmxCDAQModule cDAQ2Mod3]\nProductType = NI 9234\n");
  LoadedTask task("T");
  ASSERT_EQ(task.LoadStatus(), 0) << ExtendedError();
  EXPECT_EQ(TaskDevices(task.Handle()), "cDAQ2Mod3, cDAQ2Mod1");
  float64 max_rate = 0;
  EXPECT_EQ(Api().DAQmxGetSampClkMaxRate(task.Handle(), &max_rate), 0);
  EXPECT_EQ(max_rate, 51200.0);  // the slower module decides
  EXPECT_EQ(AIPhysicalChannels("cDAQ2Mod1"), "cDAQ2Mod1/ai0, cDAQ2Mod1/ai1, cDAQ2Mod1/ai2, cDAQ2Mod1/ai3");
  EXPECT_EQ(Api().DAQmxGetDevAIPhysicalChans("cDAQ2", nullptr, 0), 0);
}

TEST_F(ConfigFile, SimulatorDeviceAndRateKeys) {
  testsupport::SimConfigFile file(testsupport::SimIni()
                                      .Task("T", "Sim.MaxRate = 5000")
                                      .Channel("ai0", "Dev1/ai0")
                                      .Device("Dev2", "Mystery-1", "Sim.AIChannels = 3")
                                      .Device("Dev3", "Mystery-2")
                                      .Text());
  LoadedTask task("T");
  float64 max_rate = 0;
  EXPECT_EQ(Api().DAQmxGetSampClkMaxRate(task.Handle(), &max_rate), 0);
  EXPECT_EQ(max_rate, 5000.0);
  EXPECT_EQ(AIPhysicalChannels("Dev2"), "Dev2/ai0, Dev2/ai1, Dev2/ai2");
  const std::string unknown = AIPhysicalChannels("Dev3");  // 16 inputs when the product is unknown
  EXPECT_EQ(std::count(unknown.begin(), unknown.end(), ','), 15) << unknown;
}

TEST_F(ConfigFile, TaskWithoutRateOrRangeLoadsButCannotStart) {
  testsupport::SimConfigFile file(TaskExport("Unset", "SampClk.Rate = 0", {"AI.Max = 0\nAI.Min = 0"}));
  LoadedTask task("Unset");
  ASSERT_EQ(task.LoadStatus(), 0) << ExtendedError();
  float64 rate = -1;
  float64 max = -1;
  EXPECT_EQ(Api().DAQmxGetSampClkRate(task.Handle(), &rate), 0);
  EXPECT_EQ(Api().DAQmxGetAIMax(task.Handle(), "ai0", &max), 0);
  EXPECT_EQ(rate, 0.0);
  EXPECT_EQ(max, 0.0);
  EXPECT_EQ(Api().DAQmxStartTask(task.Handle()), kInvalidAttributeValue);
  EXPECT_NE(ExtendedError().find("SampClk.Rate"), std::string::npos);
}

TEST_F(ConfigFile, EmptyChannelListLoadsButCannotStart) {
  testsupport::SimConfigFile file(TaskExport("Empty", "", {}));
  LoadedTask task("Empty");
  ASSERT_EQ(task.LoadStatus(), 0);
  EXPECT_EQ(Api().DAQmxGetTaskChannels(task.Handle(), nullptr, 0), 0);
  EXPECT_EQ(Api().DAQmxStartTask(task.Handle()), st::kNoChannelsInTask);
}

TEST_F(ConfigFile, FollowsTheVariableAndTheFile) {
  EXPECT_EQ(SysTasks().substr(0, 7), "Demo4ch");
  std::string path;
  {
    testsupport::SimConfigFile file(TaskExport("First", "", {""}));
    path = file.Path();
    EXPECT_EQ(SysTasks(), "First");
    LoadedTask loaded("First");
    std::ofstream(path, std::ios::binary | std::ios::trunc) << "[DAQmx]\n" + TaskExport("SecondTask", "", {"", ""});
    EXPECT_EQ(SysTasks(), "SecondTask");
    // A loaded task keeps the configuration it was loaded with.
    EXPECT_EQ(TaskChannels(loaded.Handle()), "ai0");
  }
  EXPECT_EQ(SysTasks().substr(0, 7), "Demo4ch");
}

struct Broken {
  const char* what;
  std::string text;
  int line;
  const char* problem;
};

std::vector<Broken> BrokenFiles() {
  const std::string head = "[DAQmx]\nMajorVersion = 21\nMinorVersion = 3\n";
  const std::string device = "[DAQmxDevice Dev1]\nProductType = PCIe-6363\n";
  return {
      {"no equals sign", head + "[DAQmxTask T]\nChannels T/a\n", 5, "expected 'Property = Value'"},
      {"unclosed header", head + "[DAQmxTask T\n", 4, "closing ']'"},
      {"property outside a section", "MajorVersion = 21\n[DAQmx]\n", 1, "outside any [section]"},
      {"repeated property", head + "MinorVersion = 4\n", 4, "repeated"},
      {"task defined twice", head + "[DAQmxTask T]\n[DAQmxTask t]\n", 5, "defined twice"},
      {"unknown label", head + "[DAQmxTask T]\nSampQuant.SampMode = Sometimes\n", 5, "Sometimes"},
      {"unknown measurement", head + "[DAQmxChannel T/a]\nPhysicalChanName = Dev1/ai0\nAI.MeasType = Magic\n", 6,
       "AI.MeasType"},
      {"bad number", head + "[DAQmxTask T]\nSampClk.Rate = fast\n", 5, "must be a number"},
      {"negative rate", head + "[DAQmxTask T]\nSampClk.Rate = -5\n", 5, "must not be negative"},
      {"range upside down", head + "[DAQmxChannel T/a]\nPhysicalChanName = Dev1/ai0\nAI.Max = -1\nAI.Min = 1\n", 4,
       "AI.Min must not be above AI.Max"},
      {"channel without section",
       head +
           "[DAQmxTask T]\nChannels = T/a, T/b\n[DAQmxChannel T/a]\n"
           "PhysicalChanName = Dev1/ai0\n" +
           device,
       5, "'T/b'"},
      {"unknown device", head + "[DAQmxTask T]\nChannels = T/a\n[DAQmxChannel T/a]\nPhysicalChanName = Dev7/ai0\n", 6,
       "Dev7"},
      {"misspelt simulator key", head + "[DAQmxTask T]\nSim.FailStrat = -50103\n", 5, "Sim.FailStrat"},
      {"positive fault status", head + "[DAQmxTask T]\nSim.FailStart = 50103\n", 5, "Sim.FailStart"},
      {"unknown signal", head + "[DAQmxChannel T/a]\nPhysicalChanName = Dev1/ai0\nSim.Signal = Square\n", 6, "Square"},
      {"period too short", head + "[DAQmxChannel T/a]\nPhysicalChanName = Dev1/ai0\nSim.Period = 1\n", 6, "Sim.Period"},
  };
}

TEST_F(ConfigFile, BrokenFilesNameFileLineAndProblem) {
  for (const auto& broken : BrokenFiles()) {
    SCOPED_TRACE(broken.what);
    testsupport::SimConfigFile file(broken.text);
    const std::string where = file.Path() + ":" + std::to_string(broken.line) + ": ";
    TaskHandle handle = nullptr;
    uInt32 version = 0;
    EXPECT_EQ(Api().DAQmxGetSysTasks(nullptr, 0), kConfigInvalid);
    EXPECT_EQ(Api().DAQmxGetSysNIDAQMajorVersion(&version), kConfigInvalid);
    EXPECT_EQ(Api().DAQmxGetDevProductType("Dev1", nullptr, 0), kConfigInvalid);
    EXPECT_EQ(Api().DAQmxLoadTask("T", &handle), kConfigInvalid);
    if (handle != nullptr) Api().DAQmxClearTask(handle);
    const std::string extended = ExtendedError();
    EXPECT_NE(extended.find(where), std::string::npos) << extended;
    EXPECT_NE(extended.find(broken.problem), std::string::npos) << extended;
    // What a host shows from the status alone names the place too.
    EXPECT_NE(ErrorString(kConfigInvalid).find(where), std::string::npos) << ErrorString(kConfigInvalid);
  }
}

TEST_F(ConfigFile, FileWithoutDAQmxSectionIsNotAnExport) {
  const std::string path = (std::filesystem::temp_directory_path() / "niadc-sim-not-an-export.ini").string();
  std::ofstream(path, std::ios::binary) << "; some other program's settings\n[Window]\nWidth = 640\n";
  testsupport::ScopedEnv env("NIDAQMX_SIM_CONFIG", path);
  EXPECT_EQ(Api().DAQmxGetSysTasks(nullptr, 0), kConfigInvalid);
  EXPECT_NE(ExtendedError().find(path + ":1: not an NI MAX configuration export"), std::string::npos)
      << ExtendedError();
  std::filesystem::remove(path);
}

TEST_F(ConfigFile, MissingFileIsNamed) {
  const std::string path = (std::filesystem::temp_directory_path() / "niadc-no-such-config.ini").string();
  testsupport::ScopedEnv env("NIDAQMX_SIM_CONFIG", path);
  TaskHandle handle = nullptr;
  EXPECT_EQ(Api().DAQmxGetSysTasks(nullptr, 0), kConfigUnreadable);
  EXPECT_EQ(Api().DAQmxLoadTask("Demo4ch", &handle), kConfigUnreadable);
  EXPECT_NE(ExtendedError().find(path), std::string::npos) << ExtendedError();
  EXPECT_NE(ErrorString(kConfigUnreadable).find(path), std::string::npos);
}

TEST_F(ConfigFile, RepairedFileIsReadAgain) {
  testsupport::SimConfigFile file("[DAQmx]\nbroken\n");
  EXPECT_EQ(Api().DAQmxGetSysTasks(nullptr, 0), kConfigInvalid);
  std::ofstream(file.Path(), std::ios::binary | std::ios::trunc) << "[DAQmx]\n" + TaskExport("Fixed", "", {""});
  EXPECT_EQ(SysTasks(), "Fixed");
}

}  // namespace
}  // namespace simtest

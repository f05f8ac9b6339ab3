// The configuration served without NIDAQMX_SIM_CONFIG: what a host sees of
// its saved tasks, channels and devices.
#include <map>

#include "tests/sim/sim_api.h"

namespace simtest {
namespace {

namespace val = daqmx::val;
namespace st = daqmx::status;

class BuiltInConfig : public SimTest {};

TEST_F(BuiltInConfig, ExportsEveryFunctionByItsPlainName) {
  // The loader requires the first list; the second is optional to it, so check it here.
#define NIADC_EXPECT_EXPORTED(name, params) EXPECT_NE(Api().name, nullptr) << #name;
  NIADC_DAQMX_FUNCTIONS(NIADC_EXPECT_EXPORTED)
  NIADC_DAQMX_EXTRA_FUNCTIONS(NIADC_EXPECT_EXPORTED)
#undef NIADC_EXPECT_EXPORTED
}

TEST_F(BuiltInConfig, ListsTheSavedTasks) {
  EXPECT_EQ(SysTasks(), "Demo4ch, MixedRanges, Thermocouples, OnDemand, Finite1s, OutputFirst");
}

TEST_F(BuiltInConfig, ReportsVersion21_3) {
  uInt32 major = 0;
  uInt32 minor = 0;
  EXPECT_EQ(Api().DAQmxGetSysNIDAQMajorVersion(&major), 0);
  EXPECT_EQ(Api().DAQmxGetSysNIDAQMinorVersion(&minor), 0);
  EXPECT_EQ(major, 21u);
  EXPECT_EQ(minor, 3u);
}

TEST_F(BuiltInConfig, DemoTaskHasFourVoltageChannelsOnOneDevice) {
  LoadedTask task("Demo4ch");
  ASSERT_EQ(task.LoadStatus(), 0);
  EXPECT_EQ(TaskChannels(task.Handle()), "ai0, ai1, ai2, ai3");
  EXPECT_EQ(TaskDevices(task.Handle()), "Dev1");
  for (const char* channel : {"ai0", "ai1", "ai2", "ai3"}) {
    SCOPED_TRACE(channel);
    int32 type = 0;
    int32 meas = 0;
    float64 max = 0;
    float64 min = 0;
    EXPECT_EQ(PhysicalChannel(task.Handle(), channel), std::string("Dev1/") + channel);
    EXPECT_EQ(Api().DAQmxGetChanType(task.Handle(), channel, &type), 0);
    EXPECT_EQ(Api().DAQmxGetAIMeasType(task.Handle(), channel, &meas), 0);
    EXPECT_EQ(Api().DAQmxGetAIMax(task.Handle(), channel, &max), 0);
    EXPECT_EQ(Api().DAQmxGetAIMin(task.Handle(), channel, &min), 0);
    EXPECT_EQ(type, val::kAI);
    EXPECT_EQ(meas, val::kVoltage);
    EXPECT_EQ(max, 10.0);
    EXPECT_EQ(min, -10.0);
  }
}

TEST_F(BuiltInConfig, DemoTaskTiming) {
  LoadedTask task("Demo4ch");
  float64 rate = 0;
  float64 max_rate = 0;
  int32 mode = 0;
  int32 timing = 0;
  uInt64 per_channel = 0;
  EXPECT_EQ(Api().DAQmxGetSampClkRate(task.Handle(), &rate), 0);
  EXPECT_EQ(Api().DAQmxGetSampClkMaxRate(task.Handle(), &max_rate), 0);
  EXPECT_EQ(Api().DAQmxGetSampQuantSampMode(task.Handle(), &mode), 0);
  EXPECT_EQ(Api().DAQmxGetSampTimingType(task.Handle(), &timing), 0);
  EXPECT_EQ(Api().DAQmxGetSampQuantSampPerChan(task.Handle(), &per_channel), 0);
  EXPECT_EQ(rate, 1000.0);
  EXPECT_EQ(max_rate, 250000.0);  // a PCIe-6363 shares 1 MS/s among four channels
  EXPECT_EQ(mode, val::kContSamps);
  EXPECT_EQ(timing, val::kSampClk);
  EXPECT_EQ(per_channel, 1000u);
}

TEST_F(BuiltInConfig, MixedRangesSpanTwoDevicesInOrderOfUse) {
  LoadedTask task("MixedRanges");
  ASSERT_EQ(task.LoadStatus(), 0);
  EXPECT_EQ(TaskDevices(task.Handle()), "Dev1, cDAQ1Mod1");
  const std::map<std::string, std::pair<float64, float64>> ranges = {
      {"Bipolar10", {-10, 10}}, {"Unipolar5", {0, 5}}, {"Bipolar5", {-5, 5}}, {"Offset", {-5, 1}}};
  EXPECT_EQ(TaskChannels(task.Handle()), "Bipolar10, Unipolar5, Bipolar5, Offset");
  for (const auto& [channel, range] : ranges) {
    float64 min = 0;
    float64 max = 0;
    EXPECT_EQ(Api().DAQmxGetAIMin(task.Handle(), channel.c_str(), &min), 0);
    EXPECT_EQ(Api().DAQmxGetAIMax(task.Handle(), channel.c_str(), &max), 0);
    EXPECT_EQ(min, range.first) << channel;
    EXPECT_EQ(max, range.second) << channel;
  }
  EXPECT_EQ(PhysicalChannel(task.Handle(), "Offset"), "cDAQ1Mod1/ai1");
}

TEST_F(BuiltInConfig, ThermocoupleTaskMeasuresTemperature) {
  LoadedTask task("Thermocouples");
  int32 meas = 0;
  float64 max = 0;
  EXPECT_EQ(Api().DAQmxGetAIMeasType(task.Handle(), "TC1", &meas), 0);
  EXPECT_EQ(Api().DAQmxGetAIMax(task.Handle(), "TC1", &max), 0);
  EXPECT_EQ(meas, val::kTempTC);
  EXPECT_EQ(max, 100.0);
  EXPECT_EQ(TaskDevices(task.Handle()), "cDAQ1Mod2");
}

TEST_F(BuiltInConfig, OnDemandAndFiniteTasks) {
  LoadedTask on_demand("OnDemand");
  LoadedTask finite("Finite1s");
  int32 timing = 0;
  int32 mode = 0;
  int32 meas = 0;
  uInt64 per_channel = 0;
  EXPECT_EQ(Api().DAQmxGetSampTimingType(on_demand.Handle(), &timing), 0);
  EXPECT_EQ(Api().DAQmxGetAIMeasType(on_demand.Handle(), "ai1", &meas), 0);
  EXPECT_EQ(Api().DAQmxGetSampQuantSampMode(finite.Handle(), &mode), 0);
  EXPECT_EQ(Api().DAQmxGetSampQuantSampPerChan(finite.Handle(), &per_channel), 0);
  EXPECT_EQ(timing, val::kOnDemand);
  EXPECT_EQ(meas, val::kCurrent);
  EXPECT_EQ(mode, val::kFiniteSamps);
  EXPECT_EQ(per_channel, 1000u);
}

TEST_F(BuiltInConfig, OutputFirstTaskStartsWithAnAnalogOutput) {
  LoadedTask task("OutputFirst");
  int32 first = 0;
  int32 second = 0;
  int32 meas = 0;
  EXPECT_EQ(Api().DAQmxGetChanType(task.Handle(), "ao0", &first), 0);
  EXPECT_EQ(Api().DAQmxGetChanType(task.Handle(), "ai0", &second), 0);
  EXPECT_EQ(first, val::kAO);
  EXPECT_EQ(second, val::kAI);
  EXPECT_EQ(Api().DAQmxGetAIMeasType(task.Handle(), "ao0", &meas), kAttributeNotApplicable);
  EXPECT_EQ(TaskDevices(task.Handle()), "Dev2, Dev1");
}

TEST_F(BuiltInConfig, DeviceProductTypesAndSerialNumbers) {
  EXPECT_EQ(ProductType("Dev1"), "PCIe-6363");
  EXPECT_EQ(ProductType("cDAQ1Mod1"), "NI 9205");
  EXPECT_EQ(ProductType("cDAQ1"), "cDAQ-9178");
  const std::map<std::string, uInt32> serials = {{"Dev1", 0x1A2B3Cu}, {"Dev2", 0u}, {"cDAQ1Mod2", 0u}};
  for (const auto& [device, expected] : serials) {
    uInt32 serial = 0xFFFFFFFFu;
    EXPECT_EQ(Api().DAQmxGetDevSerialNum(device.c_str(), &serial), 0);
    EXPECT_EQ(serial, expected) << device;
  }
}

TEST_F(BuiltInConfig, AIPhysicalChannelsPerDevice) {
  const std::string dev1 = AIPhysicalChannels("Dev1");
  EXPECT_EQ(dev1.rfind("Dev1/ai0, Dev1/ai1, ", 0), 0u) << dev1;
  EXPECT_EQ(std::count(dev1.begin(), dev1.end(), ','), 31);  // 32 inputs
  EXPECT_EQ(AIPhysicalChannels("cDAQ1Mod2").substr(0, 14), "cDAQ1Mod2/ai0,");
  // An output-only device and a chassis have none: the sizing call says 0.
  EXPECT_EQ(Api().DAQmxGetDevAIPhysicalChans("Dev2", nullptr, 0), 0);
  EXPECT_EQ(Api().DAQmxGetDevAIPhysicalChans("cDAQ1", nullptr, 0), 0);
}

TEST_F(BuiltInConfig, UnknownDeviceIsInvalid) {
  uInt32 serial = 7;
  EXPECT_EQ(Api().DAQmxGetDevProductType("Dev9", nullptr, 0), st::kInvalidDeviceId);
  EXPECT_EQ(Api().DAQmxGetDevSerialNum("Dev9", &serial), st::kInvalidDeviceId);
  EXPECT_EQ(Api().DAQmxGetDevAIPhysicalChans("Dev9", nullptr, 0), st::kInvalidDeviceId);
  EXPECT_NE(ExtendedError().find("Dev9"), std::string::npos);
}

TEST_F(BuiltInConfig, NamesAreCaseInsensitive) {
  LoadedTask task("demo4CH");
  ASSERT_EQ(task.LoadStatus(), 0);
  EXPECT_EQ(PhysicalChannel(task.Handle(), "AI2"), "Dev1/ai2");
  EXPECT_EQ(ProductType("dev1"), "PCIe-6363");
}

TEST_F(BuiltInConfig, UnknownTaskCannotBeLoaded) {
  TaskHandle handle = reinterpret_cast<TaskHandle>(0x1234);
  EXPECT_EQ(Api().DAQmxLoadTask("NoSuchTask", &handle), st::kTaskCannotBeLoaded);
  EXPECT_EQ(handle, nullptr);
  EXPECT_NE(ExtendedError().find("NoSuchTask"), std::string::npos);
}

TEST_F(BuiltInConfig, ATaskLoadsOnceUntilCleared) {
  TaskHandle first = nullptr;
  TaskHandle second = nullptr;
  ASSERT_EQ(Api().DAQmxLoadTask("Demo4ch", &first), 0);
  EXPECT_EQ(Api().DAQmxLoadTask("Demo4ch", &second), st::kTaskNameConflict);
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(Api().DAQmxClearTask(first), 0);
  ASSERT_EQ(Api().DAQmxLoadTask("Demo4ch", &second), 0);
  EXPECT_NE(second, first);  // handles are not reused
  EXPECT_EQ(Api().DAQmxClearTask(second), 0);
}

TEST_F(BuiltInConfig, UnknownChannelIsNotInTheTask) {
  LoadedTask task("Demo4ch");
  int32 type = 0;
  EXPECT_EQ(Api().DAQmxGetChanType(task.Handle(), "ai9", &type), kChannelNotInTask);
  EXPECT_EQ(Api().DAQmxGetPhysicalChanName(task.Handle(), "ai9", nullptr, 0), kChannelNotInTask);
  EXPECT_NE(ExtendedError().find("ai9"), std::string::npos);
}

}  // namespace
}  // namespace simtest

// The configuration served without NIDAQMX_SIM_CONFIG, as a host sees it
// through the C functions, compared as a whole; and how names are looked up.
#include <set>
#include <sstream>

#include "tests/sim/sim_api.h"

namespace simtest {
namespace {

class BuiltInConfig : public SimTest {};

// Each task's timing and channels, then each device the tasks use.
std::string Describe() {
  const auto& api = Api();
  std::ostringstream out;
  std::set<std::string> devices{"cDAQ1"};  // the chassis of the modules
  std::stringstream tasks(SysTasks());
  for (std::string name; std::getline(tasks >> std::ws, name, ',');) {
    const LoadedTask task(name.c_str());
    const TaskHandle h = task.handle;
    out << name << ": " << task.status << " rate " << Value<float64>(api.DAQmxGetSampClkRate, h) << " max "
        << Value<float64>(api.DAQmxGetSampClkMaxRate, h) << " mode " << Value<int32>(api.DAQmxGetSampQuantSampMode, h)
        << " timing " << Value<int32>(api.DAQmxGetSampTimingType, h) << " per channel "
        << Value<uInt64>(api.DAQmxGetSampQuantSampPerChan, h) << " devices " << Text(api.DAQmxGetTaskDevices, h) << "\n";
    std::stringstream channels(TaskChannels(h));
    for (std::string channel; std::getline(channels >> std::ws, channel, ',');) {
      const char* c = channel.c_str();
      int32 meas = 0;
      const int32 meas_status = api.DAQmxGetAIMeasType(h, c, &meas);
      const std::string physical = Text(api.DAQmxGetPhysicalChanName, h, c);
      out << "  " << channel << " " << physical << " type " << Value<int32>(api.DAQmxGetChanType, h, c) << " meas "
          << (meas_status ? meas_status : meas) << " " << Value<float64>(api.DAQmxGetAIMin, h, c) << ".."
          << Value<float64>(api.DAQmxGetAIMax, h, c) << "\n";
      devices.insert(physical.substr(0, physical.find('/')));
    }
  }
  for (const auto& device : devices) {
    const std::string inputs = Text(api.DAQmxGetDevAIPhysicalChans, device.c_str());
    out << device << ": " << Text(api.DAQmxGetDevProductType, device.c_str()) << " serial "
        << Value<uInt32>(api.DAQmxGetDevSerialNum, device.c_str()) << " inputs "
        << (inputs.empty() ? 0 : std::count(inputs.begin(), inputs.end(), ',') + 1)
        << (inputs.empty() ? "" : " from " + inputs.substr(0, inputs.find(','))) << "\n";
  }
  return out.str();
}

TEST_F(BuiltInConfig, IsWhatTheHostSees) {
  EXPECT_EQ(Value<uInt32>(Api().DAQmxGetSysNIDAQMajorVersion) * 100 + Value<uInt32>(Api().DAQmxGetSysNIDAQMinorVersion),
            2103u);
  EXPECT_EQ(Describe(), R"(Demo4ch: 0 rate 1000 max 250000 mode 10123 timing 10388 per channel 1000 devices Dev1
  ai0 Dev1/ai0 type 10100 meas 10322 -10..10
  ai1 Dev1/ai1 type 10100 meas 10322 -10..10
  ai2 Dev1/ai2 type 10100 meas 10322 -10..10
  ai3 Dev1/ai3 type 10100 meas 10322 -10..10
MixedRanges: 0 rate 1000 max 125000 mode 10123 timing 10388 per channel 1000 devices Dev1, cDAQ1Mod1
  Bipolar10 Dev1/ai4 type 10100 meas 10322 -10..10
  Unipolar5 Dev1/ai5 type 10100 meas 10322 0..5
  Bipolar5 cDAQ1Mod1/ai0 type 10100 meas 10322 -5..5
  Offset cDAQ1Mod1/ai1 type 10100 meas 10322 -5..1
Thermocouples: 0 rate 10 max 600 mode 10123 timing 10388 per channel 100 devices cDAQ1Mod2
  TC0 cDAQ1Mod2/ai0 type 10100 meas 10303 0..100
  TC1 cDAQ1Mod2/ai1 type 10100 meas 10303 0..100
OnDemand: 0 rate 1000 max 500000 mode 10123 timing 10390 per channel 1000 devices Dev1
  ai0 Dev1/ai6 type 10100 meas 10322 -10..10
  ai1 Dev1/ai7 type 10100 meas 10134 -0.02..0.02
Finite1s: 0 rate 1000 max 500000 mode 10178 timing 10388 per channel 1000 devices Dev1
  ai0 Dev1/ai8 type 10100 meas 10322 -10..10
  ai1 Dev1/ai9 type 10100 meas 10356 -50..50
OutputFirst: 0 rate 1000 max 1e+06 mode 10123 timing 10388 per channel 1000 devices Dev2, Dev1
  ao0 Dev2/ao0 type 10102 meas -200452 0..0
  ai0 Dev1/ai10 type 10100 meas 10322 -10..10
Dev1: PCIe-6363 serial 1715004 inputs 32 from Dev1/ai0
Dev2: PCIe-6738 serial 0 inputs 0
cDAQ1: cDAQ-9178 serial 0 inputs 0
cDAQ1Mod1: NI 9205 serial 0 inputs 32 from cDAQ1Mod1/ai0
cDAQ1Mod2: NI 9213 serial 0 inputs 16 from cDAQ1Mod2/ai0
)");
}

TEST_F(BuiltInConfig, ExportsEveryFunctionByItsPlainName) {
  // The loader requires the first list; the second is optional to it.
#define NIADC_EXPECT_EXPORTED(name, params) EXPECT_NE(Api().name, nullptr) << #name;
  NIADC_DAQMX_FUNCTIONS(NIADC_EXPECT_EXPORTED)
  NIADC_DAQMX_EXTRA_FUNCTIONS(NIADC_EXPECT_EXPORTED)
#undef NIADC_EXPECT_EXPORTED
}

// Names are found whatever their case; a task loads once until cleared; unknown names are refused and named.
TEST_F(BuiltInConfig, NameLookup) {
  const LoadedTask task("demo4CH");
  EXPECT_EQ(Text(Api().DAQmxGetPhysicalChanName, task.handle, "AI2"), "Dev1/ai2");
  EXPECT_EQ(Text(Api().DAQmxGetDevProductType, "dev1"), "PCIe-6363");
  TaskHandle other = reinterpret_cast<TaskHandle>(0x1234);
  EXPECT_EQ(Api().DAQmxLoadTask("Demo4ch", &other), st::kTaskNameConflict);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(Api().DAQmxLoadTask("NoSuchTask", &other), st::kTaskCannotBeLoaded);
  EXPECT_THAT(ExtendedError(), HasSubstr("NoSuchTask"));
  EXPECT_EQ(Api().DAQmxGetDevAIPhysicalChans("Dev9", nullptr, 0), st::kInvalidDeviceId);
  EXPECT_THAT(ExtendedError(), HasSubstr("Dev9"));
  EXPECT_EQ(Api().DAQmxGetPhysicalChanName(task.handle, "ai9", nullptr, 0), kChannelNotInTask);
  EXPECT_THAT(ExtendedError(), HasSubstr("ai9"));
}

}  // namespace
}  // namespace simtest

// Callers other than our driver: absurd sizes, rates and configurations, null
// pointers and bad handles get NI's status codes, never undefined behaviour
// (these run under AddressSanitizer and UndefinedBehaviorSanitizer too).
#include <cmath>
#include <functional>
#include <limits>

#include "tests/sim/sim_api.h"

namespace simtest {
namespace {

namespace val = daqmx::val;
namespace st = daqmx::status;
constexpr int32 kMemoryFull = -50352;

class Safety : public SimTest {};

TEST_F(Safety, AllAvailableOfAHugeFiniteTaskDoesNotOverflowTheArrayCheck) {
  // 2^62 samples x 4 channels wraps to 0 in 64 bits: the array must still be found too small.
  testsupport::SimConfigFile file(TaskExport(
      "Huge", "Sim.FreeRunning = 1\nSampQuant.SampMode = Finite Samples\nSampQuant.SampPerChan = 4611686018427387904",
      {"", "", "", ""}));
  LoadedTask task("Huge");
  ASSERT_EQ(task.LoadStatus(), 0);
  const auto read = task.Read(val::kAllAvailable, 0.0, 10);
  EXPECT_EQ(read.status, st::kReadBufferTooSmall);
  EXPECT_EQ(read.read, 0);
}

TEST_F(Safety, AbsurdRateCountsWithinRange) {
  testsupport::SimConfigFile file(TaskExport("Absurd", "SampClk.Rate = 1e300\nSim.MaxRate = 1e301", {""}));
  LoadedTask task("Absurd");
  ASSERT_EQ(Api().DAQmxStartTask(task.Handle()), 0);
  const auto read = task.Read(10, 0.0, 10);
  EXPECT_TRUE(read.status == 0 || read.status == st::kSamplesNoLongerAvailable) << read.status;
  uInt64 acquired = 0;
  EXPECT_EQ(Api().DAQmxGetReadAttribute(task.Handle(), 0x192A, &acquired), 0);
  EXPECT_LE(acquired, uInt64{1} << 62);
}

TEST_F(Safety, SignalTablesAreBounded) {
  const std::string longest = "Sim.Period = 1048576";
  testsupport::SimConfigFile too_long(TaskExport("Long", "", {"Sim.Period = 1048577"}));
  EXPECT_EQ(LoadedTask("Long").LoadStatus(), kConfigInvalid);
  testsupport::SimConfigFile many(TaskExport("Many", "Sim.FreeRunning = 1", std::vector<std::string>(17, longest)));
  LoadedTask task("Many");
  ASSERT_EQ(task.LoadStatus(), 0);
  EXPECT_EQ(Api().DAQmxStartTask(task.Handle()), kMemoryFull);  // 17 M table entries are over the cap
}

TEST_F(Safety, TwentyThousandKeysParse) {
  std::string keys;
  for (int i = 0; i < 20000; ++i) keys += "Key" + std::to_string(i) + " = " + std::to_string(i) + "\n";
  testsupport::SimConfigFile file(TaskExport("Keys", keys, {""}));
  EXPECT_EQ(SysTasks(), "Keys");
  testsupport::SimConfigFile repeated(TaskExport("Keys", keys + "KEY7 = 1\n", {""}));
  EXPECT_EQ(LoadedTask("Keys").LoadStatus(), kConfigInvalid);
  EXPECT_NE(ExtendedError().find("first given on line 15"), std::string::npos) << ExtendedError();
}

TEST_F(Safety, NullPointersAndBadHandlesGetNiStatusCodes) {
  LoadedTask task("Demo4ch");
  const TaskHandle h = task.Handle();
  const auto bogus = reinterpret_cast<TaskHandle>(static_cast<uintptr_t>(0x7654321));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  float64 data[8] = {};
  int32 read = 0;
  const auto& api = Api();
  const std::pair<int32, std::function<int32()>> calls[] = {
      {kInvalidAttributeValue, [&] { return api.DAQmxLoadTask("Demo4ch", nullptr); }},
      {kInvalidAttributeValue, [&] { return api.DAQmxCreateTask("x", nullptr); }},
      {kInvalidAttributeValue, [&] { return api.DAQmxGetSampClkRate(h, nullptr); }},
      {kInvalidAttributeValue, [&] { return api.DAQmxGetSysNIDAQMajorVersion(nullptr); }},
      {kInvalidAttributeValue, [&] { return api.DAQmxGetTaskAttribute(h, 0x2181, nullptr); }},
      {kInvalidAttributeValue, [&] { return api.DAQmxReadAnalogScalarF64(h, 1.0, nullptr, nullptr); }},
      {kInvalidAttributeValue, [&] { return api.DAQmxIsTaskDone(h, nullptr); }},
      {kInvalidAttributeValue, [&] { return api.DAQmxGetReadAvailSampPerChan(h, nullptr); }},
      {kInvalidAttributeValue, [&] { return api.DAQmxReadAnalogF64(h, 1, nan, 1, data, 8, &read, nullptr); }},
      {kInvalidAttributeValue, [&] { return api.DAQmxWaitUntilTaskDone(h, nan); }},
      {kInvalidAttributeValue, [&] { return api.DAQmxTaskControl(h, 99); }},
      {kInvalidAttributeValue, [&] { return api.DAQmxCfgSampClkTiming(h, "", nan, val::kRising, val::kContSamps, 1); }},
      {st::kInvalidTask, [&] { return api.DAQmxGetTaskAttribute(bogus, 0x2181, data); }},
      {st::kInvalidTask, [&] { return api.DAQmxSetTimingAttribute(nullptr, 0x1344, 10.0); }},
      {st::kInvalidTask, [&] { return api.DAQmxCreateAIVoltageChan(bogus, "Dev1/ai0", "", -1, -1, 1, 10348, nullptr); }},
      {st::kInvalidDeviceId, [&] { return api.DAQmxGetDeviceAttribute(nullptr, 0x0631, nullptr, 0); }},
      {st::kPhysicalChannelDoesNotExist, [&] { return api.DAQmxGetPhysicalChanAttribute("Dev1/ai", 0x2342, data); }},
  };
  for (size_t i = 0; i < std::size(calls); ++i) EXPECT_EQ(calls[i].second(), calls[i].first) << "call " << i;
}

}  // namespace
}  // namespace simtest

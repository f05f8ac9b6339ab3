// The simulator's fault keys, and callers other than our driver: absurd sizes,
// rates and configurations, null pointers and bad handles get NI's status
// codes, never undefined behaviour (these run under the sanitizers too).
#include <cmath>
#include <functional>
#include <limits>

#include "tests/sim/sim_api.h"

namespace simtest {
namespace {

class Faults : public SimTest {};

TEST_F(Faults, FailLoadAndFailStartRefuseWithTheirStatus) {
  testsupport::SimConfigFile file(
      Tasks().Add("Broken", "Sim.FailLoad = -200220", {""}).Add("Reserved", "Sim.FailStart = -50103", {""}).Text());
  EXPECT_EQ(SysTasks(), "Broken, Reserved");
  const LoadedTask broken("Broken");
  EXPECT_EQ(std::make_pair(broken.status, broken.handle), std::make_pair(st::kInvalidDeviceId, TaskHandle{}));
  EXPECT_THAT(ExtendedError(), HasSubstr("Sim.FailLoad"));
  const LoadedTask reserved("Reserved");
  EXPECT_EQ(Api().DAQmxStartTask(reserved.handle), st::kResourceReserved);
  const auto read = reserved.Read(1, 0.0, 1);  // the read's own start
  EXPECT_EQ(std::make_pair(read.status, read.read), std::make_pair(st::kResourceReserved, 0));
  EXPECT_THAT(ExtendedError(), HasSubstr("Task Name: Reserved"));
}

TEST_F(Faults, FailReadAfterDeliversUpToTheLimitOfEachRunThenFails) {
  const char* const kFail = "\nSim.FailReadStatus = -200361";
  testsupport::SimConfigFile file(Tasks()
                                      .Add("Flaky", "Sim.FreeRunning = 1\nSim.FailReadAfter = 100" + std::string(kFail), {""})
                                      .Add("Paced", "Sim.FailReadAfter = 20" + std::string(kFail), {""})
                                      .Text());
  const LoadedTask task("Flaky");
  for (int run = 0; run < 2; ++run) {
    ASSERT_EQ(Api().DAQmxStartTask(task.handle), 0);
    EXPECT_EQ(task.Read(60, 0.0, 60).status, 0);
    const auto crossing = task.Read(60, 0.0, 60);
    EXPECT_EQ(std::make_pair(crossing.status, crossing.read), std::make_pair(st::kOnboardMemoryOverflow, 40));
    EXPECT_EQ(task.Read(1, 1.0, 1).status, st::kOnboardMemoryOverflow);
    ASSERT_EQ(Api().DAQmxStopTask(task.handle), 0);
  }
  const auto start = std::chrono::steady_clock::now();  // a paced read fails without waiting for its timeout
  const auto paced = LoadedTask("Paced").Read(500, 5.0, 500);
  EXPECT_EQ(std::make_pair(paced.status, paced.read), std::make_pair(st::kOnboardMemoryOverflow, 20));
  EXPECT_LT(SecondsSince(start), 1.0);
}

TEST_F(Faults, LostDeviceStaysLostUntilTheTaskIsLoadedAgain) {
  testsupport::SimConfigFile file(TaskExport("Unplugged", "Sim.FreeRunning = 1\nSim.LoseDeviceAfter = 30", {""}));
  {
    const LoadedTask task("Unplugged");
    ASSERT_EQ(Api().DAQmxStartTask(task.handle), 0);
    const auto result = task.Read(50, 0.0, 50);
    EXPECT_EQ(std::make_pair(result.status, result.read), std::make_pair(st::kDeviceCannotBeAccessed, 30));
    daqmx::bool32 done = 0;
    EXPECT_EQ(Api().DAQmxIsTaskDone(task.handle, &done), st::kDeviceCannotBeAccessed);
    EXPECT_EQ(done, 1u);
    EXPECT_EQ(Api().DAQmxStopTask(task.handle), 0);
    EXPECT_EQ(Api().DAQmxStartTask(task.handle), st::kDeviceCannotBeAccessed);
  }
  EXPECT_EQ(Api().DAQmxStartTask(LoadedTask("Unplugged").handle), 0);
}

// Sim.MaxRate sets the limit, or else the product: one channel of a PCIe-6363 samples at up to 2 MS/s.
TEST_F(Faults, SampleClockAboveTheDeviceLimitCannotStart) {
  const std::tuple<const char*, const char*, int32> tasks[] = {
      {"TooFast", "Sim.MaxRate = 500", kInvalidAttributeValue}, {"JustRight", "SampClk.Rate = 500\nSim.MaxRate = 500", 0},
      {"Single", "SampClk.Rate = 2000000", 0}, {"Faster", "SampClk.Rate = 2000001", kInvalidAttributeValue}};
  testsupport::SimIni ini;
  for (const auto& [name, keys, status] : tasks) ini.Task(name, keys).Channel("ai0", "Dev1/ai0");
  testsupport::SimConfigFile file(ini.Text());
  for (const auto& [name, keys, status] : tasks) EXPECT_EQ(Api().DAQmxStartTask(LoadedTask(name).handle), status) << name;
  EXPECT_THAT(ExtendedError(), AllOf(HasSubstr("SampClk.Rate"), HasSubstr("Task Name: Faster")));
}

class Safety : public SimTest {};

TEST_F(Safety, HugeAndAbsurdTasksAreRefusedOrBounded) {
  // 2^62 samples x 4 channels wraps to 0 in 64 bits: the array must still be found too small.
  testsupport::SimConfigFile file(Tasks()
                                      .Add("Huge", "Sim.FreeRunning = 1\nSampQuant.SampMode = Finite Samples\n"
                                           "SampQuant.SampPerChan = 4611686018427387904", {"", "", "", ""})
                                      .Add("Absurd", "SampClk.Rate = 1e300\nSim.MaxRate = 1e301", {""})
                                      .Add("Many", "Sim.FreeRunning = 1", std::vector<std::string>(17, "Sim.Period = 1048576"))
                                      .Text());
  const auto huge = LoadedTask("Huge").Read(val::kAllAvailable, 0.0, 10);
  EXPECT_EQ(std::make_pair(huge.status, huge.read), std::make_pair(st::kReadBufferTooSmall, 0));
  const LoadedTask absurd("Absurd");
  ASSERT_EQ(Api().DAQmxStartTask(absurd.handle), 0);
  const int32 status = absurd.Read(10, 0.0, 10).status;
  EXPECT_TRUE(status == 0 || status == st::kSamplesNoLongerAvailable) << status;
  uInt64 acquired = 0;  // the sample count stays in range
  EXPECT_EQ(Api().DAQmxGetReadAttribute(absurd.handle, 0x192A, &acquired), 0);
  EXPECT_LE(acquired, uInt64{1} << 62);
  EXPECT_EQ(Api().DAQmxStartTask(LoadedTask("Many").handle), -50352);  // 17 M table entries: memory is full
}

TEST_F(Safety, TwentyThousandKeysParse) {
  std::string keys;
  for (int i = 0; i < 20000; ++i) keys += "Key" + std::to_string(i) + " = " + std::to_string(i) + "\n";
  testsupport::SimConfigFile file(TaskExport("Keys", keys, {""}));
  EXPECT_EQ(SysTasks(), "Keys");
  testsupport::SimConfigFile repeated(TaskExport("Keys", keys + "KEY7 = 1\n", {""}));
  EXPECT_EQ(LoadedTask("Keys").status, kConfigInvalid);
  EXPECT_THAT(ExtendedError(), HasSubstr("first given on line 15"));
}

TEST_F(Safety, NullPointersAndBadHandlesGetNiStatusCodes) {
  const LoadedTask task("Demo4ch");
  const TaskHandle h = task.handle;
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
      {st::kInvalidDeviceId, [&] { return api.DAQmxGetDeviceAttribute(nullptr, 0x0631, nullptr, 0); }},
      {st::kPhysicalChannelDoesNotExist, [&] { return api.DAQmxGetPhysicalChanAttribute("Dev1/ai", 0x2342, data); }},
  };
  for (size_t i = 0; i < std::size(calls); ++i) EXPECT_EQ(calls[i].second(), calls[i].first) << "call " << i;
}

// Null, made up, and cleared (whose handle a later task does not get again).
TEST_F(Safety, EveryTaskFunctionRefusesHandlesOfNoTask) {
  TaskHandle cleared = nullptr;
  ASSERT_EQ(Api().DAQmxLoadTask("OnDemand", &cleared), 0);
  ASSERT_EQ(Api().DAQmxClearTask(cleared), 0);
  const LoadedTask later("OnDemand");
  const auto& api = Api();
  for (const TaskHandle h : {TaskHandle{}, reinterpret_cast<TaskHandle>(0xBADC0DE), cleared}) {
    float64 number = 0;
    int32 integer = 0;
    daqmx::int16 code = 0;
    const std::function<int32()> calls[] = {
        [&] { return api.DAQmxStartTask(h); }, [&] { return api.DAQmxStopTask(h); },
        [&] { return api.DAQmxClearTask(h); }, [&] { return api.DAQmxGetTaskChannels(h, nullptr, 0); },
        [&] { return api.DAQmxGetSampClkRate(h, &number); }, [&] { return api.DAQmxGetChanType(h, "ai0", &integer); },
        [&] { return api.DAQmxReadAnalogF64(h, 1, 0.0, 0, &number, 1, &integer, nullptr); },
        [&] { return api.DAQmxReadBinaryI16(h, 1, 0.0, 0, &code, 1, &integer, nullptr); },
        [&] { return api.DAQmxSetTimingAttribute(h, 0x1344, 10.0); },
        [&] { return api.DAQmxCreateAIVoltageChan(h, "Dev1/ai0", "", -1, -1, 1, val::kVolts, nullptr); }};
    for (size_t i = 0; i < std::size(calls); ++i) EXPECT_EQ(calls[i](), st::kInvalidTask) << h << " call " << i;
  }
}

}  // namespace
}  // namespace simtest

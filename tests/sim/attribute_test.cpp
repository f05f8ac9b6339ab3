// The generic attribute functions, channel-name arguments and tasks made in
// code, through the C functions as NI's own Python package calls them.
#include <sstream>

#include "tests/sim/sim_api.h"

namespace simtest {
namespace {

enum Group { kSystem, kTask, kChannel, kTiming, kRead, kBuffer, kDevice, kPhysical, kPersisted };
enum Type { kI32, kU32, kU64, kF64, kStr, kF64s, kI32s };

// One generic getter call on the saved task Demo4ch, device Dev1, channel Dev1/ai0.
int32 Get(Group group, TaskHandle task, int32 id, void* value, uInt32 size) {
  switch (group) {
    case kSystem: return Api().DAQmxGetSystemInfoAttribute(id, value, size);
    case kTask: return Api().DAQmxGetTaskAttribute(task, id, value, size);
    case kChannel: return Api().DAQmxGetChanAttribute(task, "", id, value, size);
    case kTiming: return Api().DAQmxGetTimingAttribute(task, id, value, size);
    case kRead: return Api().DAQmxGetReadAttribute(task, id, value, size);
    case kBuffer: return Api().DAQmxGetBufferAttribute(task, id, value, size);
    case kDevice: return Api().DAQmxGetDeviceAttribute("Dev1", id, value, size);
    case kPhysical: return Api().DAQmxGetPhysicalChanAttribute("Dev1/ai0", id, value, size);
    case kPersisted: return Api().DAQmxGetPersistedTaskAttribute("Demo4ch", id, value, size);
  }
  return 0;
}

// The value as text; for texts and arrays the size query and a buffer one short are checked on the way.
std::string Fetch(Group group, TaskHandle task, int32 id, Type type, int32& status) {
  std::ostringstream out;
  if (type == kStr || type == kF64s || type == kI32s) {
    const int32 size = Get(group, task, id, nullptr, 0);
    if (size < 0) return status = size, "";
    std::vector<double> doubles(static_cast<size_t>(size) + 1);
    std::vector<int32> ints(doubles.size());
    std::string text(doubles.size(), '\0');
    void* buffer = type == kStr ? static_cast<void*>(text.data()) : type == kI32s ? static_cast<void*>(ints.data())
                                                                                  : static_cast<void*>(doubles.data());
    if (size > 1) {
      EXPECT_EQ(Get(group, task, id, buffer, static_cast<uInt32>(size - 1)),
                type == kStr ? st::kWarningStringTruncated : st::kArrayTooSmall);
    }
    status = size == 0 ? 0 : Get(group, task, id, buffer, static_cast<uInt32>(size));
    if (type == kStr) return text.c_str();
    for (int32 i = 0; i < size; ++i) out << (i ? ", " : "") << (type == kI32s ? ints[i] : doubles[i]);
    return out.str();
  }
  union {
    int32 i;
    uInt32 u;
    uInt64 u64;
    double d;
  } value{};
  status = Get(group, task, id, &value, 0);
  type == kI32 ? out << value.i : type == kU32 ? out << value.u : type == kU64 ? out << value.u64 : out << value.d;
  return out.str();
}

struct Case {
  Group group;
  int32 id;
  Type type;
  const char* expected;  // nullptr: any value
};

// Every attribute of NI's analog-input set, on Demo4ch (4 channels +/-10 V on Dev1, continuous, 1 kS/s).
// clang-format off
const Case kCases[] = {
    {kSystem, 0x1272, kU32, "21"}, {kSystem, 0x1923, kU32, "3"}, {kSystem, 0x2F22, kU32, "0"},
    {kSystem, 0x1267, kStr, "Demo4ch, MixedRanges, Thermocouples, OnDemand, Finite1s, OutputFirst"},
    {kSystem, 0x193B, kStr, nullptr}, {kSystem, 0x1265, kStr, ""}, {kSystem, 0x1266, kStr, nullptr},
    {kTask, 0x1276, kStr, "Demo4ch"}, {kTask, 0x1273, kStr, "ai0, ai1, ai2, ai3"}, {kTask, 0x2181, kU32, "4"},
    {kTask, 0x230E, kStr, "Dev1"}, {kTask, 0x29BA, kU32, "1"}, {kTask, 0x1274, kU32, "1"},
    {kChannel, 0x187F, kI32, "10100"}, {kChannel, 0x0695, kI32, "10322"}, {kChannel, 0x1926, kStr, ""},
    {kChannel, 0x2304, kU32, "0"}, {kChannel, 0x17DD, kF64, "10"}, {kChannel, 0x17DE, kF64, "-10"},
    {kChannel, 0x1815, kF64, "10"}, {kChannel, 0x1816, kF64, "-10"}, {kChannel, 0x1097, kI32, "10106"},
    {kChannel, 0x1094, kI32, "10348"}, {kChannel, 0x17E0, kStr, ""}, {kChannel, 0x1765, kF64, "16"},
    {kChannel, 0x1764, kI32, "10109"}, {kChannel, 0x0064, kI32, nullptr}, {kChannel, 0x1930, kF64s, nullptr},
    {kChannel, 0x22DA, kU32, "16"}, {kTiming, 0x1347, kI32, "10388"}, {kTiming, 0x1344, kF64, "1000"},
    {kTiming, 0x22C8, kF64, nullptr}, {kTiming, 0x1300, kI32, "10123"}, {kTiming, 0x1310, kU64, "1000"},
    {kTiming, 0x1852, kStr, nullptr}, {kTiming, 0x1301, kI32, "10280"},
    {kTiming, 0x2F1B, kStr, "/Dev1/ai/SampleClock"}, {kTiming, 0x1303, kF64, nullptr},
    {kTiming, 0x1848, kF64, nullptr}, {kRead, 0x1823, kStr, "ai0, ai1, ai2, ai3"}, {kRead, 0x217B, kU32, "4"},
    {kRead, 0x1223, kU32, "0"}, {kRead, 0x1215, kU32, "0"}, {kRead, 0x31E8, kU32, "0"},
    {kRead, 0x1826, kU32, "1"}, {kRead, 0x1211, kI32, "10159"}, {kRead, 0x190A, kI32, "10425"},
    {kRead, 0x190B, kI32, "0"}, {kRead, 0x192A, kU64, "0"}, {kRead, 0x1221, kU64, "0"},
    {kRead, 0x2232, kI32, nullptr}, {kRead, 0x22B0, kF64, nullptr}, {kRead, 0x217A, kU32, "2"},
    {kRead, 0x2174, kU32, "0"}, {kRead, 0x2175, kStr, ""}, {kBuffer, 0x186C, kU32, "10000"},
    {kBuffer, 0x230A, kU32, nullptr}, {kDevice, 0x0631, kStr, "PCIe-6363"}, {kDevice, 0x0632, kU32, "1715004"},
    {kDevice, 0x231D, kU32, "1949680836"}, {kDevice, 0x29A9, kI32, "15858"}, {kDevice, 0x22CA, kU32, "0"},
    {kDevice, 0x2326, kI32, "13612"}, {kDevice, 0x298C, kF64, "2e+06"}, {kDevice, 0x298D, kF64, "1e+06"},
    {kDevice, 0x298E, kF64, nullptr}, {kDevice, 0x298F, kU32, "0"},
    {kDevice, 0x2990, kF64s, "-10, 10, -5, 5, -1, 1, -0.2, 0.2"}, {kDevice, 0x2991, kF64s, ""},
    {kDevice, 0x2FD2, kI32s, "10322, 10134, 10303"}, {kDevice, 0x2FDC, kI32s, "10178, 10123, 12522"},
    {kDevice, 0x29B7, kStr, ""}, {kDevice, 0x29B6, kStr, ""}, {kDevice, 0x231F, kStr, ""},
    {kDevice, 0x2320, kStr, ""}, {kDevice, 0x2A40, kStr, ""}, {kPhysical, 0x2FD7, kI32s, "10322, 10134, 10303"},
    {kPhysical, 0x2342, kI32, nullptr}, {kPhysical, 0x2FD8, kStr, ""}, {kPersisted, 0x22CC, kStr, ""},
    {kPersisted, 0x22CD, kU32, "1"}, {kPersisted, 0x22CE, kU32, "1"},
};
// clang-format on

class Attributes : public SimTest {};

TEST_F(Attributes, EveryAttributeAnswersWithItsTypeAndTheSizeConvention) {
  const LoadedTask task("Demo4ch");
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << "attribute 0x" << std::hex << c.id << " of group " << c.group);
    int32 status = -1;
    const std::string value = Fetch(c.group, task.handle, c.id, c.type, status);
    EXPECT_EQ(status, 0) << ExtendedError();
    EXPECT_EQ(value, c.expected ? c.expected : value);
  }
  for (int group = kSystem; group <= kPersisted; ++group) {
    uInt32 value = 0;
    EXPECT_EQ(Get(static_cast<Group>(group), task.handle, 0x7FFF, &value, 0), st::kAttributeNotSupported);
  }
  int32 units = 0;  // a voltage channel has no temperature units
  EXPECT_EQ(Api().DAQmxGetChanAttribute(task.handle, "ai0", 0x1033, &units), st::kAttributeNotSupported);
}

// Channels 0..3 are constant at their number: the channels to read show in the data, in their order.
TEST_F(Attributes, SettersChangeWhatGettersAndReadsSee) {
  testsupport::SimConfigFile file(TaskExport("Four", "Sim.FreeRunning = 1", {
      "Sim.Signal = Constant\nSim.Value = 0", "Sim.Signal = Constant\nSim.Value = 1",
      "Sim.Signal = Constant\nSim.Value = 2", "Sim.Signal = Constant\nSim.Value = 3"}));
  const LoadedTask task("Four");
  const TaskHandle h = task.handle;
  EXPECT_EQ(Api().DAQmxSetTimingAttribute(h, 0x1344, 2000.0), 0);
  EXPECT_EQ(Api().DAQmxSetTimingAttribute(h, 0x1310, uInt64{50}), 0);
  EXPECT_EQ(Api().DAQmxSetTimingAttribute(h, 0x1300, val::kFiniteSamps), 0);
  EXPECT_EQ(Api().DAQmxSetChanAttribute(h, "ai0:1", 0x17DD, 5.0), 0);
  EXPECT_EQ(Api().DAQmxSetChanAttribute(h, "ai2", 0x17DE, 20.0), st::kMinNotLessThanMax);
  EXPECT_EQ(Api().DAQmxSetReadAttribute(h, 0x1823, "ai3, ai1"), 0);
  EXPECT_EQ(Api().DAQmxSetReadAttribute(h, 0x1823, "ai7"), kChannelNotInTask);
  EXPECT_EQ(Api().DAQmxSetTimingAttribute(h, 0x1344, -1.0), st::kInvalidAttributeValue);
  EXPECT_EQ(Api().DAQmxSetTimingAttribute(h, 0x22C8, 1.0), st::kAttributeNotSupported);  // read-only
  int32 status = 0;
  EXPECT_EQ(Fetch(kTiming, h, 0x1344, kF64, status), "2000");
  EXPECT_EQ(Fetch(kBuffer, h, 0x186C, kU32, status), "50");  // finite: the whole acquisition
  float64 max = 0;
  EXPECT_EQ(Api().DAQmxGetChanAttribute(h, "ai1", 0x17DD, &max), 0);
  EXPECT_EQ(max, 5.0);
  EXPECT_EQ(Api().DAQmxStartTask(h), 0);
  EXPECT_EQ(Api().DAQmxSetTimingAttribute(h, 0x1344, 100.0), st::kOperationNotPermittedWhileRunning);
  const auto all = task.Read(-1, 1.0, 50);
  EXPECT_EQ(all.read, 50);
  EXPECT_EQ(std::vector<float64>(all.data.begin(), all.data.begin() + 4), (std::vector<float64>{3, 1, 3, 1}));
}

TEST_F(Attributes, ChannelArgumentsInEveryFormNiAccepts) {
  const std::pair<const char*, int32> forms[] = {
      {"", 0}, {"ai0", 0}, {"AI1", 0}, {"ai0, ai1", 0}, {"ai0,ai3", 0}, {"ai0:3", 0}, {"ai3:0", 0},
      {"Dev1/ai0:3", 0}, {"Dev1/ai2", 0}, {"ai0:Dev1", st::kInvalidRangeSyntax}, {"ai9", kChannelNotInTask},
      {"ai0:9", kChannelNotInTask}, {"ai0:99999999", st::kInvalidRangeSyntax}};
  const LoadedTask task("Demo4ch");
  for (const auto& [channels, status] : forms) {
    int32 type = 0;
    EXPECT_EQ(Api().DAQmxGetChanAttribute(task.handle, channels, 0x187F, &type), status) << channels;
  }
  const LoadedTask mixed("MixedRanges");  // the channels disagree on their range
  float64 max = 0;
  EXPECT_EQ(Api().DAQmxGetChanAttribute(mixed.handle, "", 0x17DD, &max), st::kInconsistentAcrossChannels);
}

// The calls nidaqmx-python makes for a new task, and NI's errors on the way.
TEST_F(Attributes, TaskMadeInCode) {
  TaskHandle h = nullptr, twice = nullptr;
  ASSERT_EQ(Api().DAQmxCreateTask("mine", &h), 0);
  EXPECT_EQ(Api().DAQmxCreateTask("MINE", &twice), st::kTaskNameConflict);
  ASSERT_EQ(Api().DAQmxCreateAIVoltageChan(h, "Dev1/ai2", "volts", -1, -5, 5, val::kVolts, nullptr), 0);
  EXPECT_EQ(Text(Api().DAQmxInternalGetLastCreatedChan), "volts");
  float64 value = 99;  // on demand, as a new task is
  EXPECT_EQ(Api().DAQmxReadAnalogScalarF64(h, 1.0, &value, nullptr), 0);
  EXPECT_LE(std::abs(value), 5.0);
  const std::tuple<const char*, float64, int32> channels[] = {
      {"Dev9/ai0", -5, st::kInvalidDeviceId}, {"Dev1/ai99", -5, st::kPhysicalChannelDoesNotExist},
      {"Dev1/ai0", 6, st::kMinNotLessThanMax}, {"Dev1/ai0:1", -5, 0}, {"Dev1/ai1", -5, st::kChannelAlreadyInTask}};
  for (const auto& [physical, min, status] : channels) {
    EXPECT_EQ(Api().DAQmxCreateAIVoltageChan(h, physical, "", -1, min, 5, val::kVolts, nullptr), status) << physical;
  }
  EXPECT_EQ(TaskChannels(h), "volts, Dev1/ai0, Dev1/ai1");
  EXPECT_EQ(Api().DAQmxCfgSampClkTiming(h, "", 1000.0, val::kRising, val::kContSamps, 1000), 0);
  EXPECT_EQ(Api().DAQmxTaskControl(h, val::kTaskStart), 0);
  EXPECT_EQ(Api().DAQmxWaitUntilTaskDone(h, 0.01), st::kWaitUntilDoneTimedOut);  // continuous never is
  EXPECT_EQ(Api().DAQmxClearTask(h), 0);
}

}  // namespace
}  // namespace simtest

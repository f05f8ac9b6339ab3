// The generic attribute functions, channel-name arguments and tasks made in
// code, through the C functions as NI's own Python package calls them.
#include <sstream>

#include "tests/sim/sim_api.h"

namespace simtest {
namespace {

namespace val = daqmx::val;
namespace st = daqmx::status;

enum class Group { kSystem, kTask, kChannel, kTiming, kRead, kBuffer, kDevice, kPhysical, kPersisted };
enum class Type { kInt32, kUInt32, kUInt64, kFloat64, kString, kFloat64Array, kInt32Array };

// One generic getter call on the saved task Demo4ch, device Dev1, channel Dev1/ai0.
int32 Get(Group group, TaskHandle task, int32 id, void* value, uInt32 size) {
  const auto& api = Api();
  switch (group) {
    case Group::kSystem:
      return api.DAQmxGetSystemInfoAttribute(id, value, size);
    case Group::kTask:
      return api.DAQmxGetTaskAttribute(task, id, value, size);
    case Group::kChannel:
      return api.DAQmxGetChanAttribute(task, "", id, value, size);
    case Group::kTiming:
      return api.DAQmxGetTimingAttribute(task, id, value, size);
    case Group::kRead:
      return api.DAQmxGetReadAttribute(task, id, value, size);
    case Group::kBuffer:
      return api.DAQmxGetBufferAttribute(task, id, value, size);
    case Group::kDevice:
      return api.DAQmxGetDeviceAttribute("Dev1", id, value, size);
    case Group::kPhysical:
      return api.DAQmxGetPhysicalChanAttribute("Dev1/ai0", id, value, size);
    case Group::kPersisted:
      return api.DAQmxGetPersistedTaskAttribute("Demo4ch", id, value, size);
  }
  return 0;
}

template <typename T>
std::string Render(const T* values, size_t count) {
  std::ostringstream text;
  for (size_t i = 0; i < count; ++i) text << (i ? ", " : "") << values[i];
  return text.str();
}

// The value as text; the size-query convention checked on the way for texts and arrays.
std::string Fetch(Group group, TaskHandle task, int32 id, Type type, int32& status) {
  if (type == Type::kString || type == Type::kFloat64Array || type == Type::kInt32Array) {
    const int32 size = Get(group, task, id, nullptr, 0);
    if (size < 0) return status = size, "";
    std::vector<double> doubles(static_cast<size_t>(size) + 1);
    std::vector<int32> ints(static_cast<size_t>(size) + 1);
    std::string text(static_cast<size_t>(size) + 1, '\0');
    void* buffer = type == Type::kString ? static_cast<void*>(text.data())
                   : type == Type::kInt32Array ? static_cast<void*>(ints.data())
                                               : static_cast<void*>(doubles.data());
    if (size > 1) {  // one short: truncated text with the warning, or the array error
      EXPECT_EQ(Get(group, task, id, buffer, static_cast<uInt32>(size - 1)),
                type == Type::kString ? st::kWarningStringTruncated : st::kArrayTooSmall);
    }
    status = size == 0 ? 0 : Get(group, task, id, buffer, static_cast<uInt32>(size));
    if (type == Type::kString) return text.c_str();
    return type == Type::kInt32Array ? Render(ints.data(), size) : Render(doubles.data(), size);
  }
  union {
    int32 i;
    uInt32 u;
    uInt64 u64;
    double d;
  } value{};
  status = Get(group, task, id, &value, 0);
  std::ostringstream text;
  if (type == Type::kInt32) text << value.i;
  if (type == Type::kUInt32) text << value.u;
  if (type == Type::kUInt64) text << value.u64;
  if (type == Type::kFloat64) text << value.d;
  return text.str();
}

struct Case {
  Group group;
  int32 id;
  Type type;
  const char* expected;  // nullptr: any value
};

// Every attribute of NI's analog-input set, on Demo4ch (4 channels +/-10 V on Dev1, continuous, 1 kS/s).
const Case kCases[] = {
    {Group::kSystem, 0x1272, Type::kUInt32, "21"},
    {Group::kSystem, 0x1923, Type::kUInt32, "3"},
    {Group::kSystem, 0x2F22, Type::kUInt32, "0"},
    {Group::kSystem, 0x1267, Type::kString, "Demo4ch, MixedRanges, Thermocouples, OnDemand, Finite1s, OutputFirst"},
    {Group::kSystem, 0x193B, Type::kString, nullptr},
    {Group::kSystem, 0x1265, Type::kString, ""},
    {Group::kSystem, 0x1266, Type::kString, nullptr},
    {Group::kTask, 0x1276, Type::kString, "Demo4ch"},
    {Group::kTask, 0x1273, Type::kString, "ai0, ai1, ai2, ai3"},
    {Group::kTask, 0x2181, Type::kUInt32, "4"},
    {Group::kTask, 0x230E, Type::kString, "Dev1"},
    {Group::kTask, 0x29BA, Type::kUInt32, "1"},
    {Group::kTask, 0x1274, Type::kUInt32, "1"},
    {Group::kChannel, 0x187F, Type::kInt32, "10100"},
    {Group::kChannel, 0x0695, Type::kInt32, "10322"},
    {Group::kChannel, 0x1926, Type::kString, ""},
    {Group::kChannel, 0x2304, Type::kUInt32, "0"},
    {Group::kChannel, 0x17DD, Type::kFloat64, "10"},
    {Group::kChannel, 0x17DE, Type::kFloat64, "-10"},
    {Group::kChannel, 0x1815, Type::kFloat64, "10"},
    {Group::kChannel, 0x1816, Type::kFloat64, "-10"},
    {Group::kChannel, 0x1097, Type::kInt32, "10106"},
    {Group::kChannel, 0x1094, Type::kInt32, "10348"},
    {Group::kChannel, 0x17E0, Type::kString, ""},
    {Group::kChannel, 0x1765, Type::kFloat64, "16"},
    {Group::kChannel, 0x1764, Type::kInt32, "10109"},
    {Group::kChannel, 0x0064, Type::kInt32, nullptr},
    {Group::kChannel, 0x1930, Type::kFloat64Array, nullptr},
    {Group::kChannel, 0x22DA, Type::kUInt32, "16"},
    {Group::kTiming, 0x1347, Type::kInt32, "10388"},
    {Group::kTiming, 0x1344, Type::kFloat64, "1000"},
    {Group::kTiming, 0x22C8, Type::kFloat64, nullptr},
    {Group::kTiming, 0x1300, Type::kInt32, "10123"},
    {Group::kTiming, 0x1310, Type::kUInt64, "1000"},
    {Group::kTiming, 0x1852, Type::kString, nullptr},
    {Group::kTiming, 0x1301, Type::kInt32, "10280"},
    {Group::kTiming, 0x2F1B, Type::kString, "/Dev1/ai/SampleClock"},
    {Group::kTiming, 0x1303, Type::kFloat64, nullptr},
    {Group::kTiming, 0x1848, Type::kFloat64, nullptr},
    {Group::kRead, 0x1823, Type::kString, "ai0, ai1, ai2, ai3"},
    {Group::kRead, 0x217B, Type::kUInt32, "4"},
    {Group::kRead, 0x1223, Type::kUInt32, "0"},
    {Group::kRead, 0x1215, Type::kUInt32, "0"},
    {Group::kRead, 0x31E8, Type::kUInt32, "0"},
    {Group::kRead, 0x1826, Type::kUInt32, "1"},
    {Group::kRead, 0x1211, Type::kInt32, "10159"},
    {Group::kRead, 0x190A, Type::kInt32, "10425"},
    {Group::kRead, 0x190B, Type::kInt32, "0"},
    {Group::kRead, 0x192A, Type::kUInt64, "0"},
    {Group::kRead, 0x1221, Type::kUInt64, "0"},
    {Group::kRead, 0x2232, Type::kInt32, nullptr},
    {Group::kRead, 0x22B0, Type::kFloat64, nullptr},
    {Group::kRead, 0x217A, Type::kUInt32, "2"},
    {Group::kRead, 0x2174, Type::kUInt32, "0"},
    {Group::kRead, 0x2175, Type::kString, ""},
    {Group::kBuffer, 0x186C, Type::kUInt32, "10000"},
    {Group::kBuffer, 0x230A, Type::kUInt32, nullptr},
    {Group::kDevice, 0x0631, Type::kString, "PCIe-6363"},
    {Group::kDevice, 0x0632, Type::kUInt32, "1715004"},
    {Group::kDevice, 0x231D, Type::kUInt32, "1949680836"},
    {Group::kDevice, 0x29A9, Type::kInt32, "15858"},
    {Group::kDevice, 0x22CA, Type::kUInt32, "0"},
    {Group::kDevice, 0x2326, Type::kInt32, "13612"},
    {Group::kDevice, 0x298C, Type::kFloat64, "2e+06"},
    {Group::kDevice, 0x298D, Type::kFloat64, "1e+06"},
    {Group::kDevice, 0x298E, Type::kFloat64, nullptr},
    {Group::kDevice, 0x298F, Type::kUInt32, "0"},
    {Group::kDevice, 0x2990, Type::kFloat64Array, "-10, 10, -5, 5, -1, 1, -0.2, 0.2"},
    {Group::kDevice, 0x2991, Type::kFloat64Array, ""},
    {Group::kDevice, 0x2FD2, Type::kInt32Array, "10322, 10134, 10303"},
    {Group::kDevice, 0x2FDC, Type::kInt32Array, "10178, 10123, 12522"},
    {Group::kDevice, 0x29B7, Type::kString, ""},
    {Group::kDevice, 0x29B6, Type::kString, ""},
    {Group::kDevice, 0x231F, Type::kString, ""},
    {Group::kDevice, 0x2320, Type::kString, ""},
    {Group::kDevice, 0x2A40, Type::kString, ""},
    {Group::kPhysical, 0x2FD7, Type::kInt32Array, "10322, 10134, 10303"},
    {Group::kPhysical, 0x2342, Type::kInt32, nullptr},
    {Group::kPhysical, 0x2FD8, Type::kString, ""},
    {Group::kPersisted, 0x22CC, Type::kString, ""},
    {Group::kPersisted, 0x22CD, Type::kUInt32, "1"},
    {Group::kPersisted, 0x22CE, Type::kUInt32, "1"},
};

class Attributes : public SimTest {};

TEST_F(Attributes, EveryAttributeAnswersWithItsTypeAndTheSizeConvention) {
  LoadedTask task("Demo4ch");
  ASSERT_EQ(task.LoadStatus(), 0);
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << "attribute 0x" << std::hex << c.id << " of group " << static_cast<int>(c.group));
    int32 status = -1;
    const std::string value = Fetch(c.group, task.Handle(), c.id, c.type, status);
    EXPECT_EQ(status, 0) << ExtendedError();
    if (c.expected != nullptr) {
      EXPECT_EQ(value, c.expected);
    }
  }
  for (const Group group : {Group::kSystem, Group::kTask, Group::kChannel, Group::kTiming, Group::kRead,
                            Group::kBuffer, Group::kDevice, Group::kPhysical, Group::kPersisted}) {
    uInt32 value = 0;
    EXPECT_EQ(Get(group, task.Handle(), 0x7FFF, &value, 0), st::kAttributeNotSupported);
  }
  int32 units = 0;  // a voltage channel has no temperature units
  EXPECT_EQ(Api().DAQmxGetChanAttribute(task.Handle(), "ai0", 0x1033, &units), st::kAttributeNotSupported);
}

TEST_F(Attributes, SettersChangeWhatGettersAndReadsSee) {
  LoadedTask task("Demo4ch");
  const TaskHandle h = task.Handle();
  EXPECT_EQ(Api().DAQmxSetTimingAttribute(h, 0x1344, 2000.0), 0);
  EXPECT_EQ(Api().DAQmxSetTimingAttribute(h, 0x1310, uInt64{50}), 0);
  EXPECT_EQ(Api().DAQmxSetTimingAttribute(h, 0x1300, val::kFiniteSamps), 0);
  EXPECT_EQ(Api().DAQmxSetChanAttribute(h, "ai0:1", 0x17DD, 5.0), 0);
  EXPECT_EQ(Api().DAQmxSetChanAttribute(h, "ai2", 0x17DE, 20.0), st::kMinNotLessThanMax);
  EXPECT_EQ(Api().DAQmxSetReadAttribute(h, 0x1823, "ai1, ai3"), 0);
  EXPECT_EQ(Api().DAQmxSetTimingAttribute(h, 0x1344, -1.0), st::kInvalidAttributeValue);
  EXPECT_EQ(Api().DAQmxSetTimingAttribute(h, 0x22C8, 1.0), st::kAttributeNotSupported);  // read-only
  int32 status = 0;
  EXPECT_EQ(Fetch(Group::kTiming, h, 0x1344, Type::kFloat64, status), "2000");
  EXPECT_EQ(Fetch(Group::kBuffer, h, 0x186C, Type::kUInt32, status), "50");  // finite: the whole acquisition
  EXPECT_EQ(Fetch(Group::kRead, h, 0x217B, Type::kUInt32, status), "2");
  float64 max = 0;
  EXPECT_EQ(Api().DAQmxGetChanAttribute(h, "ai1", 0x17DD, &max), 0);
  EXPECT_EQ(max, 5.0);
  EXPECT_EQ(Api().DAQmxStartTask(h), 0);
  EXPECT_EQ(Api().DAQmxSetTimingAttribute(h, 0x1344, 100.0), st::kOperationNotPermittedWhileRunning);
  EXPECT_EQ(Api().DAQmxWaitUntilTaskDone(h, 10.0), 0);
  const auto all = task.Read(-1, 0.0, 50);
  EXPECT_EQ(all.status, 0);
  EXPECT_EQ(all.read, 50);
}

TEST_F(Attributes, ChannelArgumentsInEveryFormNiAccepts) {
  struct Form {
    const char* channels;
    int32 status;
  };
  const Form forms[] = {
      {"", 0},           {"ai0", 0},        {"AI1", 0},         {"ai0, ai1", 0},        {"ai0,ai3", 0},
      {"ai0:3", 0},      {"ai3:0", 0},      {"Dev1/ai0:3", 0},  {"Dev1/ai2", 0},        {"ai0:Dev1", st::kInvalidRangeSyntax},
      {"ai9", st::kChannelNotInTask}, {"ai0:9", st::kChannelNotInTask}, {"ai0:99999999", st::kInvalidRangeSyntax},
  };
  LoadedTask task("Demo4ch");
  for (const auto& form : forms) {
    int32 type = 0;
    EXPECT_EQ(Api().DAQmxGetChanAttribute(task.Handle(), form.channels, 0x187F, &type), form.status) << form.channels;
  }
  LoadedTask mixed("MixedRanges");  // the channels disagree on their range
  float64 max = 0;
  EXPECT_EQ(Api().DAQmxGetChanAttribute(mixed.Handle(), "", 0x17DD, &max), st::kInconsistentAcrossChannels);
}

TEST_F(Attributes, ReadsTakeTheChannelsToReadInTheirOrder) {
  testsupport::SimConfigFile file(TaskExport("Three", "Sim.FreeRunning = 1",
                                             {"Sim.Signal = Constant\nSim.Value = 1", "Sim.Signal = Constant\nSim.Value = 2",
                                              "Sim.Signal = Constant\nSim.Value = 3"}));
  LoadedTask task("Three");
  uInt32 count = 0;
  ASSERT_EQ(Api().DAQmxSetReadAttribute(task.Handle(), 0x1823, "ai2, ai0"), 0);
  EXPECT_EQ(Api().DAQmxGetReadAttribute(task.Handle(), 0x217B, &count), 0);
  EXPECT_EQ(count, 2u);
  const auto read = task.Read(2, 0.0, 2, val::kGroupByScanNumber);
  ASSERT_EQ(read.status, 0);
  EXPECT_EQ(std::vector<float64>(read.data.begin(), read.data.begin() + 4), (std::vector<float64>{3, 1, 3, 1}));
  EXPECT_EQ(Api().DAQmxSetReadAttribute(task.Handle(), 0x1823, "ai7"), st::kChannelNotInTask);
}

// The calls nidaqmx-python makes for a new task, and NI's errors on the way.
TEST_F(Attributes, TaskMadeInCodeBehavesLikeASavedOne) {
  TaskHandle h = nullptr;
  ASSERT_EQ(Api().DAQmxCreateTask("", &h), 0);
  int32 timing = 0;
  EXPECT_EQ(Api().DAQmxGetTimingAttribute(h, 0x1347, &timing), 0);
  EXPECT_EQ(timing, val::kOnDemand);
  const auto create = [&](const char* physical, const char* name, float64 min, float64 max) {
    return Api().DAQmxCreateAIVoltageChan(h, physical, name, -1, min, max, val::kVolts, nullptr);
  };
  EXPECT_EQ(create("Dev9/ai0", "", -5, 5), st::kInvalidDeviceId);
  EXPECT_EQ(create("Dev1/ai99", "", -5, 5), st::kPhysicalChannelDoesNotExist);
  EXPECT_EQ(create("Dev1/ai0", "", 5, -5), st::kMinNotLessThanMax);
  EXPECT_EQ(create("Dev1/ai0:1", "", -5, 5), 0);
  EXPECT_EQ(create("Dev1/ai1", "", -5, 5), st::kChannelAlreadyInTask);
  EXPECT_EQ(create("Dev1/ai2", "volts", -5, 5), 0);
  EXPECT_EQ(Text(Api().DAQmxInternalGetLastCreatedChan), "volts");
  EXPECT_EQ(TaskChannels(h), "Dev1/ai0, Dev1/ai1, volts");
  daqmx::bool32 done = 0;
  EXPECT_EQ(Api().DAQmxStartTask(h), 0);
  EXPECT_EQ(Api().DAQmxIsTaskDone(h, &done), 0);
  EXPECT_EQ(done, 1u);  // on demand: every read is an operation of its own
  EXPECT_EQ(Api().DAQmxTaskControl(h, val::kTaskStop), 0);
  EXPECT_EQ(Api().DAQmxCfgSampClkTiming(h, "", 1000.0, val::kRising, val::kContSamps, 1000), 0);
  EXPECT_EQ(Api().DAQmxTaskControl(h, val::kTaskStart), 0);
  EXPECT_EQ(Api().DAQmxWaitUntilTaskDone(h, 0.01), st::kWaitUntilDoneTimedOut);  // continuous never is
  EXPECT_EQ(Api().DAQmxClearTask(h), 0);
  TaskHandle named = nullptr, twice = nullptr;
  EXPECT_EQ(Api().DAQmxCreateTask("mine", &named), 0);
  EXPECT_EQ(Api().DAQmxCreateTask("MINE", &twice), st::kTaskNameConflict);
  EXPECT_EQ(Api().DAQmxCreateAIVoltageChan(named, "Dev1/ai0", "", -1, -1, 1, val::kVolts, nullptr), 0);
  float64 value = 99;
  EXPECT_EQ(Api().DAQmxReadAnalogScalarF64(named, 1.0, &value, nullptr), 0);
  EXPECT_LE(std::abs(value), 1.0);
  EXPECT_EQ(Api().DAQmxClearTask(named), 0);
}

}  // namespace
}  // namespace simtest

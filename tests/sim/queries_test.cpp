// What a host reads without acquiring: the built-in configuration (served without NIDAQMX_SIM_CONFIG)
// compared as a whole, name lookup, NI's conventions for texts, and the generic attribute functions.
#include <cstring>
#include <functional>
#include <sstream>
#include <thread>

#include "tests/sim/sim_api.h"

namespace simtest {
namespace {

class Queries : public SimTest {};

std::string Describe() {  // each task's timing and channels
  const auto& api = Api();
  std::ostringstream out;
  std::stringstream tasks(Text(api.DAQmxGetSysTasks));
  for (std::string name; std::getline(tasks >> std::ws, name, ',');) {
    const LoadedTask task(name);
    const TaskHandle h = task.handle;
    out << name << ": " << task.status << " rate " << Value<float64>(api.DAQmxGetSampClkRate, h) << " max "
        << Value<float64>(api.DAQmxGetSampClkMaxRate, h) << " mode "
        << Value<int32>(api.DAQmxGetSampQuantSampMode, h) << " timing "
        << Value<int32>(api.DAQmxGetSampTimingType, h) << " per channel "
        << Value<uInt64>(api.DAQmxGetSampQuantSampPerChan, h) << " devices " << Text(api.DAQmxGetTaskDevices, h)
        << "\n";
    std::stringstream channels(Text(api.DAQmxGetTaskChannels, h));
    for (std::string channel; std::getline(channels >> std::ws, channel, ',');) {
      const char* c = channel.c_str();
      int32 meas = 0, meas_status = api.DAQmxGetAIMeasType(h, c, &meas);
      out << "  " << channel << " " << Text(api.DAQmxGetPhysicalChanName, h, c) << " type "
          << Value<int32>(api.DAQmxGetChanType, h, c) << " meas "
          << (meas_status ? meas_status : meas) << " " << Value<float64>(api.DAQmxGetAIMin, h, c) << ".."
          << Value<float64>(api.DAQmxGetAIMax, h, c) << "\n";
    }
  }
  return out.str();
}

TEST_F(Queries, BuiltInConfigurationIsWhatTheHostSees) {
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
)");
}

std::string ErrorString(int32 code) { return Text(Api().DAQmxGetErrorString, code); }

// The size query counts the NUL; an exact buffer takes the text, a short one
// its start with a warning, and nothing is written past the size given.
TEST_F(Queries, EveryTextFollowsTheSizeConvention) {
  const LoadedTask task("Demo4ch");
  const std::function<int32(char*, uInt32)> queries[] = {
      Api().DAQmxGetSysTasks, std::bind_front(Api().DAQmxGetTaskChannels, task.handle),
      std::bind_front(Api().DAQmxGetErrorString, st::kInvalidTask)};
  for (const auto& query : queries) {
    const std::string text = Text(query);
    const auto size = static_cast<uInt32>(text.size() + 1);
    for (const uInt32 given : {size, size - 1, 5u, 1u}) {
      std::string buffer(size + 1, 'x');
      EXPECT_EQ(query(buffer.data(), given), given == size ? 0 : st::kWarningStringTruncated);
      EXPECT_EQ(buffer.c_str() + buffer.substr(given),
                text.substr(0, given - 1) + std::string(size + 1 - given, 'x'));
    }
  }
  EXPECT_THAT(ExtendedError(), HasSubstr("truncated"));
}

// Names are found whatever their case, and each task loads once. Failures are explained to the failing
// thread: a read of OutputFirst, which begins with an output, names the task, the channel and the code.
TEST_F(Queries, NamesAndTheExtendedInfoOfFailures) {
  const LoadedTask task("demo4CH"), output("OutputFirst");
  EXPECT_EQ(Text(Api().DAQmxGetPhysicalChanName, task.handle, "AI2"), "Dev1/ai2");
  TaskHandle other = reinterpret_cast<TaskHandle>(0x1234);
  EXPECT_EQ(Api().DAQmxLoadTask("Demo4ch", &other), st::kTaskNameConflict);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(Api().DAQmxCreateTask("DEMO4CH", &other), st::kTaskNameConflict);  // a task made in code too
  const auto named = [](int32 status, const char* name) {
    return ExtendedError().find(name) != std::string::npos ? status : 0;
  };
  EXPECT_EQ(named(Api().DAQmxLoadTask("NoSuchTask", &other), "NoSuchTask"), st::kTaskCannotBeLoaded);
  EXPECT_EQ(named(Api().DAQmxGetDevAIPhysicalChans("Dev9", nullptr, 0), "Dev9"), st::kInvalidDeviceId);
  EXPECT_EQ(named(Api().DAQmxGetPhysicalChanName(task.handle, "ai9", nullptr, 0), "ai9"), kChannelNotInTask);
  EXPECT_EQ(output.Read(1, 0.0, 1).status, -200452);
  std::thread([] { Api().DAQmxLoadTask("Missing", nullptr); }).join();
  EXPECT_THAT(ExtendedError(), AllOf(testing::StartsWith(ErrorString(-200452)), HasSubstr("Channel Name: ao0"),
                                     HasSubstr("Task Name: OutputFirst\n"), HasSubstr("Status Code: -200452")));
}

enum Group { kSys, kTask, kChan, kTime, kRead, kBuf, kDev, kPhys, kSaved };
enum Type { kI32, kU32, kU64, kF64, kStr, kF64s, kI32s };

// One generic getter call on the saved task Demo4ch, device Dev1, channel Dev1/ai0.
int32 Get(Group group, TaskHandle task, int32 id, void* value, uInt32 size) {
  switch (group) {
    case kSys: return Api().DAQmxGetSystemInfoAttribute(id, value, size);
    case kTask: return Api().DAQmxGetTaskAttribute(task, id, value, size);
    case kChan: return Api().DAQmxGetChanAttribute(task, "", id, value, size);
    case kTime: return Api().DAQmxGetTimingAttribute(task, id, value, size);
    case kRead: return Api().DAQmxGetReadAttribute(task, id, value, size);
    case kBuf: return Api().DAQmxGetBufferAttribute(task, id, value, size);
    case kDev: return Api().DAQmxGetDeviceAttribute("Dev1", id, value, size);
    case kPhys: return Api().DAQmxGetPhysicalChanAttribute("Dev1/ai0", id, value, size);
    case kSaved: return Api().DAQmxGetPersistedTaskAttribute("Demo4ch", id, value, size);
  }
  return 0;
}

template <typename T>
T At(const std::vector<double>& buffer, int32 i) {  // the i-th value of type T in the buffer
  T value;
  std::memcpy(&value, reinterpret_cast<const char*>(buffer.data()) + sizeof(T) * size_t(i), sizeof(T));
  return value;
}

// The value as text; for texts and arrays the size query, and a buffer one short, are checked on the way.
std::string Fetch(Group group, TaskHandle task, int32 id, Type type) {
  const bool sized = type >= kStr;
  const int32 size = sized ? Get(group, task, id, nullptr, 0) : 1;
  std::vector<double> buffer(static_cast<size_t>(std::max(size, 0)) + 1);  // 8 bytes a value, and a NUL for texts
  if (sized && size > 1) {
    EXPECT_EQ(Get(group, task, id, buffer.data(), static_cast<uInt32>(size - 1)),
              type == kStr ? st::kWarningStringTruncated : st::kArrayTooSmall);
  }
  EXPECT_EQ(size < 0 ? size : Get(group, task, id, buffer.data(), sized ? static_cast<uInt32>(size) : 0), 0)
      << ExtendedError();
  if (type == kStr) return reinterpret_cast<const char*>(buffer.data());
  std::ostringstream out;
  for (int32 i = 0; i < size; ++i) {
    out << (i ? ", " : "");
    type == kI32 || type == kI32s ? out << At<int32>(buffer, i) : type == kU32 ? out << At<uInt32>(buffer, i)
    : type == kU64 ? out << At<uInt64>(buffer, i) : out << At<double>(buffer, i);
  }
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
    {kSys, 0x1272, kU32, "21"}, {kSys, 0x1923, kU32, "3"}, {kSys, 0x2F22, kU32, "0"},
    {kSys, 0x1267, kStr, "Demo4ch, MixedRanges, Thermocouples, OnDemand, Finite1s, OutputFirst"},
    {kSys, 0x193B, kStr, nullptr}, {kSys, 0x1265, kStr, ""}, {kSys, 0x1266, kStr, nullptr},
    {kTask, 0x1276, kStr, "Demo4ch"}, {kTask, 0x1273, kStr, "ai0, ai1, ai2, ai3"}, {kTask, 0x2181, kU32, "4"},
    {kTask, 0x230E, kStr, "Dev1"}, {kTask, 0x29BA, kU32, "1"}, {kTask, 0x1274, kU32, "1"},
    {kChan, 0x187F, kI32, "10100"}, {kChan, 0x0695, kI32, "10322"}, {kChan, 0x1926, kStr, ""},
    {kChan, 0x2304, kU32, "0"}, {kChan, 0x17DD, kF64, "10"}, {kChan, 0x17DE, kF64, "-10"},
    {kChan, 0x1815, kF64, "10"}, {kChan, 0x1816, kF64, "-10"}, {kChan, 0x1097, kI32, "10106"},
    {kChan, 0x1094, kI32, "10348"}, {kChan, 0x17E0, kStr, ""}, {kChan, 0x1765, kF64, "16"},
    {kChan, 0x1764, kI32, "10109"}, {kChan, 0x0064, kI32, nullptr}, {kChan, 0x1930, kF64s, nullptr},
    {kChan, 0x22DA, kU32, "16"}, {kTime, 0x1347, kI32, "10388"}, {kTime, 0x1344, kF64, "1000"},
    {kTime, 0x22C8, kF64, nullptr}, {kTime, 0x1300, kI32, "10123"}, {kTime, 0x1310, kU64, "1000"},
    {kTime, 0x1852, kStr, nullptr}, {kTime, 0x1301, kI32, "10280"},
    {kTime, 0x2F1B, kStr, "/Dev1/ai/SampleClock"}, {kTime, 0x1303, kF64, nullptr},
    {kTime, 0x1848, kF64, nullptr}, {kRead, 0x1823, kStr, "ai0, ai1, ai2, ai3"}, {kRead, 0x217B, kU32, "4"},
    {kRead, 0x1223, kU32, "0"}, {kRead, 0x1215, kU32, "0"}, {kRead, 0x31E8, kU32, "0"},
    {kRead, 0x1826, kU32, "1"}, {kRead, 0x1211, kI32, "10159"}, {kRead, 0x190A, kI32, "10425"},
    {kRead, 0x190B, kI32, "0"}, {kRead, 0x192A, kU64, "0"}, {kRead, 0x1221, kU64, "0"},
    {kRead, 0x2232, kI32, nullptr}, {kRead, 0x22B0, kF64, nullptr}, {kRead, 0x217A, kU32, "2"},
    {kRead, 0x2174, kU32, "0"}, {kRead, 0x2175, kStr, ""}, {kBuf, 0x186C, kU32, "10000"},
    {kBuf, 0x230A, kU32, nullptr}, {kDev, 0x0631, kStr, "PCIe-6363"}, {kDev, 0x0632, kU32, "1715004"},
    {kDev, 0x231D, kU32, "1949680836"}, {kDev, 0x29A9, kI32, "15858"}, {kDev, 0x22CA, kU32, "0"},
    {kDev, 0x2326, kI32, "13612"}, {kDev, 0x298C, kF64, "2e+06"}, {kDev, 0x298D, kF64, "1e+06"},
    {kDev, 0x298E, kF64, nullptr}, {kDev, 0x298F, kU32, "0"},
    {kDev, 0x2990, kF64s, "-10, 10, -5, 5, -1, 1, -0.2, 0.2"}, {kDev, 0x2991, kF64s, ""},
    {kDev, 0x2FD2, kI32s, "10322, 10134, 10303"}, {kDev, 0x2FDC, kI32s, "10178, 10123, 12522"},
    {kDev, 0x29B7, kStr, ""}, {kDev, 0x29B6, kStr, ""}, {kDev, 0x231F, kStr, ""}, {kDev, 0x2320, kStr, ""},
    {kDev, 0x2A40, kStr, ""}, {kPhys, 0x2FD7, kI32s, "10322, 10134, 10303"}, {kPhys, 0x2342, kI32, nullptr},
    {kPhys, 0x2FD8, kStr, ""}, {kSaved, 0x22CC, kStr, ""}, {kSaved, 0x22CD, kU32, "1"},
    {kSaved, 0x22CE, kU32, "1"},
};
// clang-format on

TEST_F(Queries, EveryAttributeAnswersWithItsTypeAndTheSizeConvention) {
  const LoadedTask task("Demo4ch");
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << "attribute 0x" << std::hex << c.id << " of group " << c.group);
    const std::string value = Fetch(c.group, task.handle, c.id, c.type);
    EXPECT_EQ(value, c.expected ? c.expected : value);
  }
  for (int group = kSys; group <= kSaved; ++group) {
    EXPECT_EQ(Get(static_cast<Group>(group), task.handle, 0x7FFF, nullptr, 0), st::kAttributeNotSupported);
  }
  EXPECT_EQ(Api().DAQmxSetTimingAttribute(task.handle, 0x1344, 2000.0), 0);  // setters change what getters see
  EXPECT_EQ(Value<float64>(Api().DAQmxGetSampClkRate, task.handle), 2000.0);
}

}  // namespace
}  // namespace simtest

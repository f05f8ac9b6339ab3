// Callers other than our driver: absurd sizes, rates and configurations, bad arguments, null pointers
// and bad handles get NI's status codes, never undefined behaviour (these run under the sanitizers too).
#ifdef _WIN32
#include <windows.h>
#endif

#include <filesystem>
#include <functional>
#include <limits>

#include "tests/sim/sim_api.h"

namespace simtest {
namespace {

class Safety : public SimTest {};

TEST_F(Safety, HugeAndAbsurdTasksAreRefusedOrBounded) {
  testsupport::SimConfigFile file(Tasks()
                                      .Add("Huge", "Sim.FreeRunning = 1\nSampQuant.SampMode = Finite Samples\n"
                                           "SampQuant.SampPerChan = 4611686018427387904", {"", "", "", ""})
                                      .Add("Absurd", "SampClk.Rate = 1e300\nSim.MaxRate = 1e301", {""})
                                      .Add("Many", "", std::vector<std::string>(17, "Sim.Period = 1048576"))
                                      .Text());
  // 2^62 samples x 4 channels wraps to 0 in 64 bits: the array must still be found too small.
  const auto huge = LoadedTask("Huge").Read(val::kAllAvailable, 0.0, 10);
  EXPECT_EQ(std::make_pair(huge.status, huge.read), std::make_pair(st::kReadBufferTooSmall, 0));
  const LoadedTask absurd("Absurd");
  ASSERT_EQ(Api().DAQmxStartTask(absurd.handle), 0);
  EXPECT_THAT(absurd.Read(10, 0.0, 10).status, ::testing::AnyOf(0, st::kSamplesNoLongerAvailable));
  EXPECT_LE(Value<uInt64>(Api().DAQmxGetReadAttribute, absurd.handle, 0x192A), uInt64{1} << 62);  // acquired
  EXPECT_EQ(Api().DAQmxStartTask(LoadedTask("Many").handle), -50352);  // 17 M table entries: memory is full
}

// Handles of no task: null, made up, and cleared (which a later task does not get again).
TEST_F(Safety, BadArgumentsNullPointersAndBadHandlesGetNiStatusCodes) {
  TaskHandle cleared = nullptr, fake = reinterpret_cast<TaskHandle>(0xBADC0DE);
  ASSERT_EQ(Api().DAQmxLoadTask("Demo4ch", &cleared), 0);
  ASSERT_EQ(Api().DAQmxClearTask(cleared), 0);
  const LoadedTask task("Demo4ch");
  const TaskHandle h = task.handle;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  float64 data[8] = {};
  int32 read = 0;
  const auto& api = Api();
  const auto voltage = [&](const char* physical, const char* name, float64 min) {
    return api.DAQmxCreateAIVoltageChan(h, physical, name, -1, min, 5, val::kVolts, nullptr);
  };
  const std::pair<int32, std::function<int32()>> calls[] = {
      {st::kInvalidTask, [&] { return api.DAQmxStartTask(nullptr); }},
      {st::kInvalidTask, [&] { return api.DAQmxClearTask(cleared); }},
      {st::kInvalidTask, [&] { return api.DAQmxGetTaskChannels(fake, nullptr, 0); }},
      {st::kInvalidTask, [&] { return api.DAQmxGetAIMax(cleared, "", data); }},
      {st::kInvalidTask, [&] { return api.DAQmxReadAnalogF64(cleared, 1, 0.0, 0, data, 8, &read, nullptr); }},
      {st::kInvalidTask, [&] { return api.DAQmxReadBinaryI16(fake, 1, 0.0, 0, nullptr, 0, &read, nullptr); }},
      {st::kInvalidTask, [&] { return api.DAQmxSetTimingAttribute(nullptr, 0x1344, 10.0); }},
      {st::kInvalidTask, [&] { return api.DAQmxCreateAIVoltageChan(fake, "", "", -1, -1, 1, val::kVolts, ""); }},
      {st::kInvalidRangeSyntax, [&] { return api.DAQmxGetChanType(h, "ai0:Dev1", &read); }},
      {st::kInvalidRangeSyntax, [&] { return api.DAQmxGetChanType(h, "ai0:99999999", &read); }},
      {kChannelNotInTask, [&] { return api.DAQmxGetChanType(h, "ai0:9", &read); }},
      {0, [&] { return api.DAQmxGetChanType(h, "Dev1/ai3:1", &read); }},  // a range downwards, by physical names
      {st::kInvalidDeviceId, [&] { return voltage("Dev9/ai0", "", -5); }},
      {st::kPhysicalChannelDoesNotExist, [&] { return voltage("Dev1/ai99", "", -5); }},
      {st::kMinNotLessThanMax, [&] { return voltage("Dev1/ai5", "", 6); }},
      {st::kChannelAlreadyInTask, [&] { return voltage("Dev1/ai5", "AI0", -5); }},
      {kInvalidAttributeValue, [&] { return api.DAQmxLoadTask("Demo4ch", nullptr); }},
      {kInvalidAttributeValue, [&] { return api.DAQmxCreateTask("x", nullptr); }},
      {kInvalidAttributeValue, [&] { return api.DAQmxGetSampClkRate(h, nullptr); }},
      {kInvalidAttributeValue, [&] { return api.DAQmxGetSysNIDAQMajorVersion(nullptr); }},
      {0, [&] { return api.DAQmxSetRuntimeEnvironment("nidaqmx-python", "1.0", "", ""); }},  // as Python's sets it
      {kInvalidAttributeValue, [&] { return api.DAQmxReadAnalogScalarF64(h, 1.0, nullptr, nullptr); }},
      {kInvalidAttributeValue, [&] { return api.DAQmxIsTaskDone(h, nullptr); }},
      {kInvalidAttributeValue, [&] { return api.DAQmxGetReadAvailSampPerChan(h, nullptr); }},
      {kInvalidAttributeValue, [&] { return api.DAQmxReadAnalogF64(h, 1, nan, 1, data, 8, &read, nullptr); }},
      {kInvalidAttributeValue, [&] { return api.DAQmxReadAnalogF64(h, 1, 1.0, 7, data, 8, &read, nullptr); }},
      {kInvalidAttributeValue, [&] { return api.DAQmxReadAnalogF64(h, -2, 1.0, 0, data, 8, &read, nullptr); }},
      {st::kReadBufferTooSmall, [&] { return api.DAQmxReadAnalogF64(h, 3, 1.0, 1, data, 8, &read, nullptr); }},
      {st::kReadBufferTooSmall, [&] { return api.DAQmxReadAnalogF64(h, 1, 1.0, 1, nullptr, 0, &read, nullptr); }},
      {kInvalidAttributeValue, [&] { return api.DAQmxWaitUntilTaskDone(h, nan); }},
      {kInvalidAttributeValue, [&] { return api.DAQmxTaskControl(h, 99); }},
      {kInvalidAttributeValue, [&] { return api.DAQmxCfgSampClkTiming(h, "", nan, val::kRising, 10123, 1); }},
      {st::kInvalidDeviceId, [&] { return api.DAQmxGetDeviceAttribute(nullptr, 0x0631, nullptr, 0); }},
      {st::kPhysicalChannelDoesNotExist,
       [&] { return api.DAQmxGetPhysicalChanAttribute("Dev1/ai", 0x2342, data); }},
      {0, [&] { return api.DAQmxCreateAICurrentChan(h, "Dev1/ai6", "", -1, -1, 1, val::kAmps, -1, 249, ""); }},
      {0, [&] { return api.DAQmxCreateAIThrmcplChan(h, "Dev1/ai7", "", 0, 99, val::kDegC, 10072, 10200, 9, ""); }},
  };
  for (size_t i = 0; i < std::size(calls); ++i) EXPECT_EQ(calls[i].second(), calls[i].first) << "call " << i;
  EXPECT_EQ(read, 0);
  EXPECT_EQ(Text(api.DAQmxInternalGetLastCreatedChan), "Dev1/ai7");
}

#ifdef _WIN32
// Loads the library at `path`, has a call fail, unloads it; 1 when it is gone.
DWORD WINAPI UseAndUnload(void* path) {
  HMODULE library = LoadLibraryW(static_cast<const wchar_t*>(path));
  using Load = int32(DAQMX_CALL*)(const char*, TaskHandle*);
  TaskHandle task = nullptr;
  const int32 status = reinterpret_cast<Load>(reinterpret_cast<void*>(GetProcAddress(library, "DAQmxLoadTask")))(
      "NoSuchTask", &task);
  return FreeLibrary(library) && GetModuleHandleW(static_cast<const wchar_t*>(path)) == nullptr && status < 0;
}

// A host may unload NI-DAQmx while a thread that got an error from it lives on: the thread must still end.
// A private copy of the library, so that unloading it is not undone by the test program's own load.
TEST(Unload, AThreadEndsAfterTheLibraryItFailedInIsGone) {
  const auto copy =
      std::filesystem::temp_directory_path() / ("nidaqmx-sim-" + std::to_string(GetCurrentProcessId()) + ".dll");
  std::filesystem::copy_file(testsupport::SimLibraryPath(), copy, std::filesystem::copy_options::overwrite_existing);
  HANDLE thread = CreateThread(nullptr, 0, UseAndUnload, const_cast<wchar_t*>(copy.c_str()), 0, nullptr);
  const bool ended = WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0;
  if (!ended) TerminateThread(thread, 2);
  EXPECT_TRUE(ended) << "the thread did not end";
  DWORD unloaded = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &unloaded) && unloaded == 1);
  CloseHandle(thread);
  std::filesystem::remove(copy);
}
#endif

}  // namespace
}  // namespace simtest

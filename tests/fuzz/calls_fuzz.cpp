// libFuzzer target: sequences of NI-DAQmx calls on the built-in configuration, each input byte picking a call
// or an argument from tables of ordinary and absurd values. Every call must end with a status.
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "daqmx/api.h"

extern "C" {
#define NIADC_FUZZ_DECLARE(name, params) daqmx::int32 DAQMX_CALL name params;
NIADC_DAQMX_FUNCTIONS(NIADC_FUZZ_DECLARE)
NIADC_DAQMX_EXTRA_FUNCTIONS(NIADC_FUZZ_DECLARE)
#undef NIADC_FUZZ_DECLARE
#define NIADC_FUZZ_DECLARE_VARIADIC(name, params) daqmx::int32 name params;
NIADC_DAQMX_VARIADIC_FUNCTIONS(NIADC_FUZZ_DECLARE_VARIADIC)
#undef NIADC_FUZZ_DECLARE_VARIADIC
}

namespace {

using namespace daqmx;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

const char* const kTaskNames[] = {"", "a", "A", "Demo4ch", "MixedRanges", "Thermocouples", "OnDemand", "Finite1s",
                                  "OutputFirst", "missing", nullptr};
const char* const kPhysical[] = {"Dev1/ai0", "Dev1/ai0:3", "Dev1/ai3:0", "Dev1/ai00:02", "Dev9/ai0", "Dev1/ai99",
                                 "cDAQ1Mod1/ai0:1", "", "Dev1/ai0:99999999", "Dev1/ai", ":", ",", nullptr};
const char* const kNames[] = {"", "ai0", "ai0:3", "ai3:0", "Dev1/ai0:1", "ai0,ai1", "x", "x, y", "a0:1", "0:1",
                              nullptr};
const double kNumbers[] = {-10, 10, 0, -1, 1, 1000, 1e6, 1e300, -1e300, kNaN, kInf, -kInf, 1e-300, 5};
const int32 kInts[] = {-1, 0, 1, 2, 10106, 10083, 10348, 10342, 10143, 10072, 10200, 10116, 10280, 10171, 10178,
                       10123, 12522, 10388, 10390, 10252, 10159, 10424, 10428, INT32_MIN, INT32_MAX};
const uInt64 kCounts[] = {0, 1, 2, 500, 1000, uInt64{1} << 62, UINT64_MAX};
const int32 kSamples[] = {-2, -1, 0, 1, 7, 500, INT32_MAX};
const uInt32 kSizes[] = {0, 1, 8, 256};
const int32 kIds[] = {0x1272, 0x1267, 0x193B, 0x1276, 0x1273, 0x2181, 0x230E, 0x1274, 0x187F, 0x0695, 0x18F5,
                      0x1926, 0x17DD, 0x17DE, 0x1097, 0x1033, 0x1930, 0x1347, 0x1344, 0x1300, 0x1310, 0x1852,
                      0x1301, 0x1823, 0x217B, 0x1223, 0x1215, 0x31E8, 0x1826, 0x192A, 0x186C, 0x0631, 0x2990,
                      0x2FD2, 0x2342, 0x22CC, 0x7FFF, -1};

struct Session {
  const std::uint8_t* input;
  std::size_t length;
  std::size_t at = 0;
  TaskHandle tasks[4] = {};
  alignas(8) unsigned char buffer[8 * 4096] = {};
  int32 read = 0;

  unsigned Byte() { return at < length ? input[at++] : 0; }
  template <typename T, std::size_t N>
  const T& Pick(const T (&table)[N]) {
    return table[Byte() % N];
  }
  // A slot about to receive a new handle: the task in it is cleared first, as a careful program would.
  TaskHandle* Slot() {
    TaskHandle& slot = tasks[Byte() % 4];
    DAQmxClearTask(slot);
    slot = nullptr;
    return &slot;
  }
  TaskHandle Any() {  // one of the session's, none, or made up
    const unsigned pick = Byte() % 6;
    return pick < 4 ? tasks[pick] : pick == 4 ? nullptr : reinterpret_cast<TaskHandle>(std::uintptr_t{0x5EED});
  }

  void Get(TaskHandle h, int32 id, uInt32 size) {
    void* value = Byte() % 8 == 0 ? nullptr : buffer;
    switch (Byte() % 9) {
      case 0: DAQmxGetSystemInfoAttribute(id, value, size); break;
      case 1: DAQmxGetTaskAttribute(h, id, value, size); break;
      case 2: DAQmxGetChanAttribute(h, Pick(kNames), id, value, size); break;
      case 3: DAQmxGetTimingAttribute(h, id, value, size); break;
      case 4: DAQmxGetReadAttribute(h, id, value, size); break;
      case 5: DAQmxGetBufferAttribute(h, id, value, size); break;
      case 6: DAQmxGetDeviceAttribute(Pick(kPhysical), id, value, size); break;
      case 7: DAQmxGetPhysicalChanAttribute(Pick(kPhysical), id, value, size); break;
      default: DAQmxGetPersistedTaskAttribute(Pick(kTaskNames), id, value, size); break;
    }
  }

  // Setters get values of the attribute's own type, as a correct caller passes them.
  void Set(TaskHandle h) {
    switch (Byte() % 8) {
      case 0: DAQmxSetTimingAttribute(h, 0x1344, Pick(kNumbers)); break;
      case 1: DAQmxSetTimingAttribute(h, 0x1310, Pick(kCounts)); break;
      case 2: DAQmxSetTimingAttribute(h, Byte() % 2 ? 0x1300 : 0x1347, Pick(kInts)); break;
      case 3: DAQmxSetChanAttribute(h, Pick(kNames), Byte() % 2 ? 0x17DD : 0x17DE, Pick(kNumbers)); break;
      case 4: DAQmxSetReadAttribute(h, 0x1823, Pick(kNames)); break;
      case 5: DAQmxSetReadAttribute(h, 0x1826, static_cast<uInt32>(Byte() % 2)); break;
      case 6: DAQmxSetBufferAttribute(h, 0x186C, static_cast<uInt32>(Pick(kCounts))); break;
      default: DAQmxSetChanAttribute(h, Pick(kNames), 0x1926, Pick(kNames)); break;
    }
  }

  void Read(TaskHandle h, int32 samples, bool32 fill, uInt32 size) {
    const bool analog = Byte() % 2;
    if (analog) DAQmxReadAnalogF64(h, samples, 0.0, fill, reinterpret_cast<double*>(buffer), size, &read, nullptr);
    if (!analog) DAQmxReadBinaryI16(h, samples, 0.0, fill, reinterpret_cast<int16*>(buffer), size, &read, nullptr);
  }

  void Step() {
    switch (Byte() % 12) {
      case 0: DAQmxCreateTask(Pick(kTaskNames), Slot()); break;
      case 1: DAQmxLoadTask(Pick(kTaskNames), Slot()); break;
      case 2:
        DAQmxCreateAIVoltageChan(Any(), Pick(kPhysical), Pick(kNames), Pick(kInts), Pick(kNumbers), Pick(kNumbers),
                                 Pick(kInts), nullptr);
        break;
      case 3:
        DAQmxCfgSampClkTiming(Any(), Pick(kNames), Pick(kNumbers), Pick(kInts), Pick(kInts), Pick(kCounts));
        break;
      case 4: DAQmxStartTask(Any()); break;
      case 5: DAQmxStopTask(Any()); break;
      case 6: Slot(); break;
      case 7: DAQmxTaskControl(Any(), Pick(kInts) % 8); break;
      case 8: Read(Any(), Pick(kSamples), static_cast<bool32>(Byte() % 3), Pick(kSizes) * 16); break;
      case 9: Get(Any(), Pick(kIds), Pick(kSizes)); break;
      case 10: Set(Any()); break;
      default: {
        const TaskHandle h = Any();
        DAQmxIsTaskDone(h, reinterpret_cast<bool32*>(buffer));
        DAQmxWaitUntilTaskDone(h, 0.0);
        DAQmxGetReadAvailSampPerChan(h, reinterpret_cast<uInt32*>(buffer));
        DAQmxReadAnalogScalarF64(h, 0.0, reinterpret_cast<float64*>(buffer), nullptr);
        DAQmxGetExtendedErrorInfo(reinterpret_cast<char*>(buffer), Pick(kSizes));
      }
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The built-in configuration, free-running, so that no read waits for a clock.
  unsetenv("NIDAQMX_SIM_CONFIG");
  setenv("NIDAQMX_SIM_FREE_RUNNING", "1", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Session session{data, size};
  for (int steps = 0; session.at < size && steps < 64; ++steps) session.Step();
  for (TaskHandle task : session.tasks) DAQmxClearTask(task);
  return 0;
}

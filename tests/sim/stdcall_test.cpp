// 32-bit Windows: NI-DAQmx's functions are __stdcall and exported under
// their plain names. A whole recording goes through the pointers the loader
// resolved, each call made by a thunk that sees whether the callee removed its
// own arguments from the stack, as __stdcall requires of it.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <vector>

#include "tests/sim/sim_api.h"

namespace simtest {
namespace {

static_assert(sizeof(void*) == 4, "built for 32-bit Windows only");

// Pushes `words` argument words (words[0] ends up nearest the return address),
// calls `fn` and returns the argument bytes still on the stack afterwards: 0
// when the callee removed them. `status` receives the function's result.
__attribute__((noinline)) std::uint32_t BytesLeftByCall(const void* fn, const std::uint32_t* words,
                                                        std::uint32_t count, std::int32_t& status) {
  std::uint32_t left = 0;
  __asm__ volatile(
      "movl %%esp, %%esi\n\t"
      "1:\n\t"
      "testl %%ecx, %%ecx\n\t"
      "jz 2f\n\t"
      "pushl -4(%%edi,%%ecx,4)\n\t"
      "decl %%ecx\n\t"
      "jmp 1b\n"
      "2:\n\t"
      "call *%%ebx\n\t"
      "movl %%esi, %%edx\n\t"
      "subl %%esp, %%edx\n\t"
      "movl %%esi, %%esp\n\t"
      : "=a"(status), "=d"(left), "+c"(count)
      : "b"(fn), "D"(words)
      : "esi", "memory", "cc");
  return left;
}

template <typename T>
void Append(std::vector<std::uint32_t>& words, T value) {
  static_assert(sizeof(T) % 4 == 0, "every argument fills whole stack words");
  std::uint32_t part[sizeof(T) / 4];
  std::memcpy(part, &value, sizeof(T));
  words.insert(words.end(), std::begin(part), std::end(part));
}

// Calls a resolved function with its arguments laid out as any 32-bit caller
// lays them out, and checks the stack cleanup.
template <typename Fn, typename... Args>
int32 Call(const char* name, Fn fn, Args... args) {
  std::vector<std::uint32_t> words;
  (Append(words, args), ...);
  int32 status = 0;
  EXPECT_NE(fn, nullptr) << name << " is not exported under its plain name";
  if (fn == nullptr) return -1;
  const std::uint32_t left = BytesLeftByCall(reinterpret_cast<const void*>(fn), words.data(),
                                             static_cast<std::uint32_t>(words.size()), status);
  EXPECT_EQ(left, 0u) << name << " left its arguments on the stack";
  return status;
}

#define CALL(function, ...) Call(#function, Api().function, __VA_ARGS__)

class Stdcall : public SimTest {};

TEST_F(Stdcall, WholeRecordingThroughThePlainExportsCleansTheStack) {
  testsupport::ScopedEnv free_running("NIDAQMX_SIM_FREE_RUNNING", "1");
  TaskHandle task = nullptr;
  ASSERT_EQ(CALL(DAQmxLoadTask, "Finite1s", &task), 0);
  float64 rate = 0;
  uInt64 per_channel = 0;
  EXPECT_EQ(CALL(DAQmxGetSampClkRate, task, &rate), 0);
  EXPECT_EQ(CALL(DAQmxGetSampQuantSampPerChan, task, &per_channel), 0);
  EXPECT_EQ(rate, 1000.0);
  ASSERT_EQ(per_channel, 1000u);
  char channels[64] = {};
  EXPECT_EQ(CALL(DAQmxGetTaskChannels, task, channels, uInt32{sizeof(channels)}), 0);
  EXPECT_STREQ(channels, "ai0, ai1");
  ASSERT_EQ(CALL(DAQmxStartTask, task), 0);

  // Small reads, so that the recording takes many calls.
  std::vector<float64> block(2 * 8);
  uInt64 total = 0;
  for (int calls = 0; total < per_channel && calls < 1000; ++calls) {
    int32 read = -1;
    const int32 status = CALL(DAQmxReadAnalogF64, task, int32{8}, float64{10.0}, daqmx::val::kGroupByScanNumber,
                              block.data(), static_cast<uInt32>(block.size()), &read, static_cast<daqmx::bool32*>(nullptr));
    ASSERT_EQ(status, 0) << "after " << total << " samples";
    ASSERT_GT(read, 0);
    for (int32 i = 0; i < read; ++i) {
      EXPECT_LE(std::abs(block[2 * i]), 10.0);
      EXPECT_LE(std::abs(block[2 * i + 1]), 50.0);
    }
    total += static_cast<uInt64>(read);
  }
  EXPECT_EQ(total, per_channel);
  daqmx::bool32 done = 0;
  EXPECT_EQ(CALL(DAQmxIsTaskDone, task, &done), 0);
  EXPECT_EQ(done, 1u);
  EXPECT_EQ(CALL(DAQmxStopTask, task), 0);
  EXPECT_EQ(CALL(DAQmxClearTask, task), 0);
  char text[2048] = {};
  EXPECT_EQ(CALL(DAQmxGetErrorString, daqmx::status::kSamplesNotYetAvailable, text, uInt32{sizeof(text)}), 0);
  EXPECT_NE(text[0], '\0');
}

}  // namespace
}  // namespace simtest

// 32-bit Windows: NI-DAQmx's functions are __stdcall, exported under their plain names. Each call of a
// recording is made by a thunk that sees whether the callee removed its arguments, as __stdcall requires.
#include <cstdint>
#include <cstring>

#include "tests/sim/sim_api.h"

namespace simtest {
namespace {

// Pushes the argument words (words[0] nearest the return address), calls `fn` and returns
// the argument bytes still on the stack afterwards: 0 when the callee removed them.
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

// Calls a resolved function with its arguments laid out as any 32-bit caller lays them out.
template <typename Fn, typename... Args>
int32 Call(const char* name, Fn fn, Args... args) {
  static_assert(((sizeof(Args) % 4 == 0) && ...), "every argument fills whole stack words");
  std::vector<std::uint32_t> words((sizeof(Args) + ... + 0) / 4);
  char* at = reinterpret_cast<char*>(words.data());
  ((std::memcpy(at, &args, sizeof(Args)), at += sizeof(Args)), ...);
  int32 status = -1;
  EXPECT_EQ(BytesLeftByCall(reinterpret_cast<const void*>(fn), words.data(), words.size(), status), 0u)
      << name << " left its arguments on the stack";
  return status;
}
#define CALL(function, ...) Call(#function, Api().function, __VA_ARGS__)

class Stdcall : public SimTest {};

TEST_F(Stdcall, RecordingThroughThePlainExportsCleansTheStack) {
  testsupport::ScopedEnv free_running("NIDAQMX_SIM_FREE_RUNNING", "1");
  TaskHandle task = nullptr;
  float64 rate = 0, block[2 * 8];
  ASSERT_EQ(CALL(DAQmxLoadTask, "Finite1s", &task), 0);
  EXPECT_EQ(CALL(DAQmxGetSampClkRate, task, &rate), 0);
  ASSERT_EQ(CALL(DAQmxStartTask, task), 0);
  int32 total = 0;
  for (int32 read = 1; read > 0; total += read) {  // small reads, so that the recording takes many calls
    const int32 expected = total < 1000 ? 0 : st::kSamplesWillNeverBeAvailable;
    EXPECT_EQ(CALL(DAQmxReadAnalogF64, task, int32{8}, float64{10.0}, val::kGroupByScanNumber, &block[0],
                   uInt32{16}, &read, static_cast<bool32*>(nullptr)), expected);
  }
  EXPECT_EQ(total, 1000);
  EXPECT_EQ(CALL(DAQmxClearTask, task), 0);
}

}  // namespace
}  // namespace simtest

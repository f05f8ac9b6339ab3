// Objects, references, handles and memory over many create/release and
// start/stop cycles: nothing is left behind, and the server can unload.
#include <gtest/gtest.h>

#include "tests/com/com_support.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "tests/com/host_adc3.h"
#include "tests/support/sim_env.h"

namespace {

struct Usage {
  DWORD handles = 0;
  SIZE_T memory = 0;
};

// Wine answers neither GetProcessHandleCount nor GetProcessMemoryInfo with
// real figures, so both are counted directly: the handle values that are
// valid, and the bytes of busy blocks in every heap of the process.
DWORD CountHandles() {
  DWORD count = 0;
  for (ULONG_PTR value = 4; value < 4 * 65536; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

SIZE_T HeapBytes() {
  HANDLE heaps[256];
  const DWORD count = GetProcessHeaps(256, heaps);
  SIZE_T total = 0;
  for (DWORD h = 0; h < count && h < 256; ++h) {
    HeapLock(heaps[h]);
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heaps[h], &entry)) {
      if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) total += entry.cbData;
    }
    HeapUnlock(heaps[h]);
  }
  return total;
}

Usage Measure() { return {CountHandles(), HeapBytes()}; }

class Lifetime : public ::testing::Test {
 protected:
  host::IADC3* Create() {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(server_.GetClassObject(host::kCLSID_NI_DAQmx_Task, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    if (factory == nullptr) return nullptr;
    host::IADC3* adc = nullptr;
    EXPECT_EQ(factory->CreateInstance(nullptr, host::kIID_IADC3, reinterpret_cast<void**>(&adc)), S_OK);
    EXPECT_EQ(factory->Release(), 0u);
    return adc;
  }
  void Report(const char* what, int cycles, const Usage& before, const Usage& after) {
    std::printf("%s: %d cycles, handles %lu -> %lu, heap in use %zu -> %zu bytes\n", what, cycles,
                static_cast<unsigned long>(before.handles), static_cast<unsigned long>(after.handles),
                static_cast<size_t>(before.memory), static_cast<size_t>(after.memory));
  }

  testsupport::ScopedEnv task_{"NIADC_TASK", "Demo4ch"};
  comtest::Apartment apartment_;
  comtest::ServerModule server_;
};

// Growth allowed for heap bookkeeping; a leak of one small allocation per
// cycle (16 bytes x 1000 cycles) exceeds it.
constexpr SIZE_T kMemorySlack = 12 * 1024;

TEST_F(Lifetime, CreateTestReleaseCyclesLeaveNothingBehind) {
  auto cycle = [&] {
    host::IADC3* adc = Create();
    ASSERT_NE(adc, nullptr);
    VARIANT_BOOL ok = 0;
    adc->Test(&ok);
    ASSERT_EQ(ok, VARIANT_TRUE);
    BSTR name = nullptr;
    adc->get_ADCName(&name);
    SysFreeString(name);
    ASSERT_EQ(adc->Release(), 0u);
  };
  for (int i = 0; i < 200; ++i) cycle();  // warm-up: caches, first probe
  const Usage before = Measure();
  const int cycles = 10000;
  for (int i = 0; i < cycles; ++i) cycle();
  const Usage after = Measure();
  Report("create/Test/release", cycles, before, after);
  EXPECT_GT(before.handles, 0u);
  EXPECT_LE(after.handles, before.handles);
  EXPECT_LE(after.memory, before.memory + kMemorySlack);
  EXPECT_EQ(server_.CanUnloadNow(), S_OK);
}

TEST_F(Lifetime, StartStopCyclesLeaveNothingBehind) {
  std::vector<SHORT> buffer(4096);
  // Releasing the object waits for the acquisition worker to end, so both
  // measurements see no worker thread.
  auto record = [&](int cycles) {
    host::IADC3* adc = Create();
    ASSERT_NE(adc, nullptr);
    VARIANT_BOOL ok = 0;
    adc->Test(&ok);
    ASSERT_EQ(ok, VARIANT_TRUE);
    for (int i = 0; i < cycles; ++i) {
      VARIANT_BOOL started = 0;
      adc->StartRecord(&started);
      ASSERT_EQ(started, VARIANT_TRUE);
      LONG size = static_cast<LONG>(buffer.size());
      LONG waiting = 0;
      LONG frames = 0;
      adc->GetData(buffer.data(), &size, &waiting, &frames);
      adc->StopRecord();
    }
    EXPECT_EQ(server_.CanUnloadNow(), S_FALSE);  // the object still lives
    EXPECT_EQ(adc->Release(), 0u);
  };
  record(20);
  // Four rounds of 250: a buffer that grows once, when timing first asks for
  // it, shows in one round; a leak in every cycle shows in every round.
  SIZE_T least_growth = ~SIZE_T{0};
  DWORD least_new_handles = ~DWORD{0};
  Usage before = Measure();
  const Usage first = before;
  for (int round = 0; round < 4; ++round) {
    record(250);
    const Usage after = Measure();
    least_growth = std::min(least_growth, after.memory > before.memory ? after.memory - before.memory : 0);
    least_new_handles = std::min(least_new_handles, after.handles > before.handles ? after.handles - before.handles : 0);
    before = after;
  }
  Report("start/stop", 1000, first, before);
  EXPECT_GT(first.handles, 0u);
  EXPECT_EQ(least_new_handles, 0u);
  EXPECT_LE(least_growth, SIZE_T{1024});  // a leak of 8 bytes a cycle is 2000 bytes a round
  EXPECT_EQ(server_.CanUnloadNow(), S_OK);
}

TEST_F(Lifetime, ServerLocksKeepTheServerLoaded) {
  IClassFactory* factory = nullptr;
  ASSERT_EQ(server_.GetClassObject(host::kCLSID_NI_DAQmx_Task, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            S_OK);
  EXPECT_EQ(server_.CanUnloadNow(), S_FALSE);
  factory->LockServer(TRUE);
  EXPECT_EQ(factory->Release(), 0u);
  EXPECT_EQ(server_.CanUnloadNow(), S_FALSE);
  ASSERT_EQ(server_.GetClassObject(host::kCLSID_NI_DAQmx_Task, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            S_OK);
  factory->LockServer(FALSE);
  factory->Release();
  EXPECT_EQ(server_.CanUnloadNow(), S_OK);
}

}  // namespace

// NI.adc over a host's life: thousands of objects and recordings leave
// nothing behind, objects and locks keep the server loaded, and once host
// threads have released everything and ended, COM unloads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <string>

#include "tests/com/com_support.h"
#include "tests/com/host_adc3.h"
#include "tests/support/sim_config.h"
#include "tests/support/sim_env.h"
#include "tests/support/wait.h"

namespace {

host::IADC3* Create() {
  host::IADC3* adc = nullptr;
  EXPECT_EQ(CoCreateInstance(host::kCLSID_NI_DAQmx_Task, nullptr, CLSCTX_INPROC_SERVER, host::kIID_IADC3,
                             reinterpret_cast<void**>(&adc)), S_OK);
  return adc;
}

// Test, start, fetch at least `frames` frames (at least once), stop.
void Record(host::IADC3* adc, LONG frames) {
  ASSERT_NE(adc, nullptr);
  VARIANT_BOOL ok = 0;
  adc->Test(&ok);
  ASSERT_TRUE(SUCCEEDED(adc->StartRecord(&ok)) && ok == VARIANT_TRUE);
  SHORT buffer[4096];
  EXPECT_TRUE(testsupport::WaitUntil([&] {
    LONG size = 4096;
    LONG waiting = 0;
    LONG fetched = 0;
    adc->GetData(buffer, &size, &waiting, &fetched);
    return (frames -= fetched) <= 0;
  }));
  adc->StopRecord();
}

// Handles and heap bytes in use. Wine answers neither GetProcessHandleCount
// nor GetProcessMemoryInfo with real figures, so both are counted directly:
// the handle values that are valid, and the busy blocks in every heap.
std::array<long long, 2> Usage() {
  std::array<long long, 2> usage{};
  for (ULONG_PTR value = 4; value < 4 * 65536; value += 4) {
    DWORD flags = 0;
    usage[0] += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
  }
  HANDLE heaps[256];
  for (DWORD h = 0, count = GetProcessHeaps(256, heaps); h < count && h < 256; ++h) {
    PROCESS_HEAP_ENTRY entry{};
    HeapLock(heaps[h]);
    while (HeapWalk(heaps[h], &entry)) usage[1] += (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) ? entry.cbData : 0;
    HeapUnlock(heaps[h]);
  }
  return usage;
}

// Registered for the machine; only COM keeps the server loaded.
class Lifetime : public ::testing::Test {
 protected:
  Lifetime() { EXPECT_EQ(comtest::ServerModule().Call("DllRegisterServer"), S_OK); }
  ~Lifetime() override { EXPECT_EQ(comtest::ServerModule().Call("DllUnregisterServer"), S_OK); }
  static HRESULT CanUnloadNow() { return comtest::ServerModule().Call("DllCanUnloadNow"); }

  testsupport::ScopedEnv task_{"NIADC_TASK", "Demo4ch"};
  comtest::Apartment apartment_;
};

// 10,000 objects, every tenth of them recording, in four rounds after a
// warm-up: a leak in every cycle shows in every round, a buffer that grows
// once in one round only.
TEST_F(Lifetime, ObjectsAndRecordingsLeaveNothingBehind) {
  auto cycle = [](int i) {
    host::IADC3* adc = Create();
    ASSERT_NE(adc, nullptr);
    VARIANT_BOOL ok = 0;
    ASSERT_TRUE(SUCCEEDED(adc->Test(&ok)) && ok == VARIANT_TRUE);
    if (i % 10 == 0) Record(adc, 0);
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    ASSERT_EQ(adc->Release(), 0u);  // waits for the acquisition worker to end
  };
  for (int i = 0; i < 200; ++i) cycle(i);
  auto before = Usage();
  ASSERT_GT(before[0], 0);
  std::array<long long, 2> least{LLONG_MAX, LLONG_MAX};
  for (int round = 0; round < 4; ++round) {
    for (int i = 0; i < 2500; ++i) cycle(i);
    const auto after = Usage();
    for (size_t k = 0; k < 2; ++k) least[k] = std::min(least[k], after[k] - before[k]);
    before = after;
  }
  EXPECT_LE(least[0], 0) << "new handles";
  EXPECT_LE(least[1], 1024) << "more heap bytes";  // 8 bytes in each of 250 recordings would be 2000
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST_F(Lifetime, TheServerServesItsClassOnlyAndLocksKeepItLoaded) {
  IUnknown* other = nullptr;
  const HRESULT hr = comtest::ServerModule().Call<REFCLSID, REFIID, void**>(
      "DllGetClassObject", IID_IUnknown, IID_IClassFactory, reinterpret_cast<void**>(&other));
  EXPECT_TRUE(hr == CLASS_E_CLASSNOTAVAILABLE && other == nullptr);
  for (const BOOL lock : {TRUE, FALSE}) {
    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(host::kCLSID_NI_DAQmx_Task, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(CanUnloadNow(), S_FALSE);  // the factory lives
    factory->LockServer(lock);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(CanUnloadNow(), lock ? S_FALSE : S_OK);
  }
}

// A host thread with an apartment of its own: it creates an object and
// records, says it is ready, and once let go records again and releases it.
DWORD WINAPI HostThread(void* events) {
  const auto* ready_go = static_cast<const HANDLE*>(events);
  comtest::Apartment apartment;
  host::IADC3* adc = Create();
  Record(adc, 20);
  SetEvent(ready_go[0]);
  WaitForSingleObject(ready_go[1], INFINITE);
  Record(adc, 20);  // what other threads released is not this thread's
  EXPECT_TRUE(adc == nullptr || adc->Release() == 0u);
  return 0;
}

// NI-DAQmx loads a saved task once per process, so each thread takes a task
// of its own. Each order's threads load the server afresh.
TEST_F(Lifetime, ThreadsReleaseInAnyOrderEndAndTheServerUnloads) {
  testsupport::SimIni ini;
  for (const std::string k : {"0", "1", "2"}) ini.Task("T" + k, "Sim.FreeRunning = 1").Channel("a", "Dev1/ai" + k);
  testsupport::SimConfigFile config(ini.Text());
  std::array<size_t, 3> order{0, 1, 2};
  do {
    SCOPED_TRACE(testing::Message() << "released in the order " << order[0] << order[1] << order[2]);
    std::array<std::array<HANDLE, 3>, 3> hosts{};  // ready, go, thread
    for (size_t k = 0; k < hosts.size(); ++k) {
      testsupport::ScopedEnv task("NIADC_TASK", "T" + std::to_string(k));
      hosts[k] = {CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr)};
      hosts[k][2] = CreateThread(nullptr, 0, HostThread, hosts[k].data(), 0, nullptr);
      ASSERT_EQ(WaitForSingleObject(hosts[k][0], 60000), WAIT_OBJECT_0);
    }
    for (size_t k : order) {
      SetEvent(hosts[k][1]);
      EXPECT_EQ(WaitForSingleObject(hosts[k][2], 60000), WAIT_OBJECT_0);  // the thread ends
    }
    CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_EQ(GetModuleHandleW(L"NI.adc"), nullptr);
    for (const auto& handles : hosts) std::for_each(handles.begin(), handles.end(), CloseHandle);
  } while (std::next_permutation(order.begin(), order.end()));
}

// The same in a process of its own, which must then exit by itself.
TEST(LifetimeProcess, AProcessThatUsedTheServerOnThreadsExits) {
  const auto result = comtest::RunProcess(
      L"\"" + comtest::TestFolder() + L"\\com_tests.exe\" --gtest_filter=Lifetime.Threads*", 120000);
  const bool passed = result.output.find("[  PASSED  ] 1 test") != std::string::npos;
  EXPECT_TRUE(result.finished && result.exit_code == 0 && passed) << result.output;
}

}  // namespace

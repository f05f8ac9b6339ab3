// NI.adc in a host's real life: threads that use it and end, COM unloading
// it once nothing is left, a later object loading it afresh, and a process
// that does all this and exits.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "tests/com/com_support.h"
#include "tests/com/host_adc3.h"
#include "tests/support/sim_config.h"
#include "tests/support/sim_env.h"
#include "tests/support/wait.h"

namespace {

bool ServerLoaded() { return GetModuleHandleW(L"NI.adc") != nullptr; }

host::IADC3* Create() {
  host::IADC3* adc = nullptr;
  EXPECT_EQ(CoCreateInstance(host::kCLSID_NI_DAQmx_Task, nullptr, CLSCTX_INPROC_SERVER, host::kIID_IADC3,
                             reinterpret_cast<void**>(&adc)),
            S_OK);
  return adc;
}

// Test (once per state), start, fetch some frames, stop.
void RecordBriefly(host::IADC3* adc) {
  VARIANT_BOOL ok = 0;
  ASSERT_EQ(adc->Test(&ok), S_OK);
  ASSERT_EQ(ok, VARIANT_TRUE);
  ASSERT_EQ(adc->StartRecord(&ok), S_OK);
  ASSERT_EQ(ok, VARIANT_TRUE);
  std::vector<SHORT> buffer(400);
  LONG total = 0;
  EXPECT_TRUE(testsupport::WaitUntil([&] {
    LONG size = static_cast<LONG>(buffer.size());
    LONG waiting = 0;
    LONG frames = 0;
    adc->GetData(buffer.data(), &size, &waiting, &frames);
    total += frames;
    return total >= 20;
  }));
  adc->StopRecord();
}

// A host thread with an apartment of its own: it creates an object and
// records; at its turn it records again, releases the object, leaves the
// apartment and ends.
class HostThread {
 public:
  HostThread() {
    for (HANDLE& event : events_) event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, &HostThread::Run, this, 0, nullptr);
  }
  ~HostThread() {
    WaitForSingleObject(thread_, 60000);
    CloseHandle(thread_);
    for (HANDLE event : events_) CloseHandle(event);
  }
  HostThread(const HostThread&) = delete;
  HostThread& operator=(const HostThread&) = delete;

  bool Ready() const { return WaitForSingleObject(events_[kReady], 60000) == WAIT_OBJECT_0; }
  // Its turn; true when it has left its apartment and then ends within a second.
  bool ReleaseAndEnd() const {
    SetEvent(events_[kTurn]);
    return WaitForSingleObject(events_[kLeft], 60000) == WAIT_OBJECT_0 &&
           WaitForSingleObject(thread_, 1000) == WAIT_OBJECT_0;
  }

 private:
  enum { kReady, kTurn, kLeft };
  static DWORD WINAPI Run(void* self) {
    static_cast<HostThread*>(self)->Body();
    return 0;
  }
  void Body() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    host::IADC3* adc = Create();
    if (adc != nullptr) RecordBriefly(adc);
    SetEvent(events_[kReady]);
    WaitForSingleObject(events_[kTurn], INFINITE);
    if (adc != nullptr) {
      RecordBriefly(adc);  // what other threads released is not this thread's
      EXPECT_EQ(adc->Release(), 0u);
    }
    CoUninitialize();
    SetEvent(events_[kLeft]);
  }

  std::array<HANDLE, 3> events_{};
  HANDLE thread_ = nullptr;
};

// Registered for the machine without keeping the module loaded: only COM
// loads it.
class Unload : public ::testing::Test {
 protected:
  Unload() {
    comtest::ServerModule server;
    EXPECT_EQ(server.Register(), S_OK);
  }
  ~Unload() override {
    comtest::ServerModule server;
    EXPECT_EQ(server.Unregister(), S_OK);
  }

  testsupport::ScopedEnv task_{"NIADC_TASK", "Demo4ch"};
  comtest::Apartment apartment_;
};

TEST_F(Unload, ThreadsEndAndTheModuleUnloads) {
  ASSERT_FALSE(ServerLoaded());
  {
    HostThread host;
    ASSERT_TRUE(host.Ready());
    EXPECT_TRUE(host.ReleaseAndEnd());
  }
  CoFreeUnusedLibrariesEx(0, 0);
  EXPECT_FALSE(ServerLoaded());

  host::IADC3* later = Create();  // loads the server afresh
  ASSERT_NE(later, nullptr);
  RecordBriefly(later);
  EXPECT_EQ(later->Release(), 0u);
  CoFreeUnusedLibrariesEx(0, 0);
  EXPECT_FALSE(ServerLoaded());
}

// NI-DAQmx loads a saved task once per process, so each thread takes a task
// of its own.
TEST_F(Unload, ObjectsOnThreeThreadsReleasedInEveryOrder) {
  testsupport::SimIni ini;
  for (const std::string k : {"0", "1", "2"}) ini.Task("T" + k, "Sim.FreeRunning = 1").Channel("a", "Dev1/ai" + k);
  testsupport::SimConfigFile config(ini.Text());
  std::array<int, 3> order{0, 1, 2};
  do {
    const std::string named = std::to_string(order[0]) + std::to_string(order[1]) + std::to_string(order[2]);
    std::array<std::unique_ptr<HostThread>, 3> hosts;
    for (size_t k = 0; k < hosts.size(); ++k) {
      testsupport::ScopedEnv task("NIADC_TASK", "T" + std::to_string(k));
      hosts[k] = std::make_unique<HostThread>();
      ASSERT_TRUE(hosts[k]->Ready()) << named;
    }
    for (int k : order) EXPECT_TRUE(hosts[static_cast<size_t>(k)]->ReleaseAndEnd()) << named;
    CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_FALSE(ServerLoaded()) << named;
  } while (std::next_permutation(order.begin(), order.end()));
}

// The same in a process of its own, which must then exit by itself.
TEST(UnloadProcess, AProcessThatUsedTheServerOnAThreadExits) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const auto result = comtest::RunProcess(
      L"\"" + std::wstring(self) + L"\" --gtest_filter=Unload.ThreadsEndAndTheModuleUnloads", 120000);
  EXPECT_TRUE(result.finished) << result.output;
  EXPECT_EQ(result.exit_code, 0u) << result.output;
  EXPECT_NE(result.output.find("[  PASSED  ] 1 test"), std::string::npos) << result.output;
}

}  // namespace

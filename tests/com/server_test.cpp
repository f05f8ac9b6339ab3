// NI.adc as a server: registration, undone when a write is refused; objects and recordings that leave
// nothing behind; locks; and host threads that end, after which COM unloads it.
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

#include <sddl.h>  // after windows.h

namespace {

const std::wstring kClsid = L"{70036B36-B224-4CA9-8361-140B9B9DD2F1}";
const std::wstring kLibid = L"{E5B41819-B5B0-4004-BD51-F0A79639A505}";
const std::wstring kHostLibid = L"{11111111-2222-3333-4444-555555555555}";
const std::wstring kAdc3Key = L"Interface\\{97B526A8-3B46-11D7-B688-FDAEA8668E28}";
const std::wstring kAdc3Lib = kAdc3Key + L"\\TypeLib";
const std::wstring kDefaultKey = L"Interface\\{8C30A988-7FBA-43D9-B771-484B44D878A7}";
const std::wstring kOurKeys[] = {L"CLSID\\" + kClsid, L"NI.NI_DAQmx_Task", L"NI.NI_DAQmx_Task.1",
                                 L"TypeLib\\" + kLibid, kDefaultKey};
const wchar_t* const kScratch = L"Software\\NIADC-Tests\\com";

std::wstring Text(const std::wstring& key, const std::wstring& name = L"") {
  wchar_t text[512] = {};
  DWORD size = sizeof(text);
  RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, text, &size);
  return text;
}

// True for a key without a default value too.
bool Exists(const std::wstring& key) {
  LONG size = 0;
  return RegQueryValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, &size) == ERROR_SUCCESS;
}

// Points HKEY_CLASSES_ROOT and HKEY_CURRENT_USER of this process at one
// fresh scratch key while it lives: the user's classes are its
// Software\Classes.
struct ScratchRegistry {
  ScratchRegistry() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
    EXPECT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, kScratch, &key), ERROR_SUCCESS);
    for (HKEY r : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER}) EXPECT_EQ(RegOverridePredefKey(r, key), ERROR_SUCCESS);
  }
  ~ScratchRegistry() {
    for (HKEY r : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER}) RegOverridePredefKey(r, nullptr);
    RegCloseKey(key);
    RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
  }
  HKEY key = nullptr;
};

// Registering twice gives the same keys, unregistering twice succeeds. An
// IADC3 the host registered stays as it was, one nobody registered is ours.
TEST(Registration, WritesAndRemovesItsKeysForTheMachineOrTheUser) {
  const std::wstring clsid = L"CLSID\\" + kClsid;
  const std::wstring path = comtest::TestFolder() + L"\\NI.adc";
  const std::array<std::wstring, 3> values[] = {  // key, value name ("" for the default), text
      {clsid + L"\\InprocServer32", L"", path},
      {clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
      {clsid + L"\\ProgID", L"", L"NI.NI_DAQmx_Task.1"},
      {clsid + L"\\VersionIndependentProgID", L"", L"NI.NI_DAQmx_Task"},
      {clsid + L"\\TypeLib", L"", kLibid},
      {L"NI.NI_DAQmx_Task\\CLSID", L"", kClsid},
      {L"NI.NI_DAQmx_Task\\CurVer", L"", L"NI.NI_DAQmx_Task.1"},
      {L"NI.NI_DAQmx_Task.1\\CLSID", L"", kClsid},
      {L"TypeLib\\" + kLibid + L"\\1.1\\0\\" + (sizeof(void*) == 8 ? L"win64" : L"win32"), L"", path},
      {kDefaultKey + L"\\TypeLib", L"", kLibid},
      {kDefaultKey + L"\\ProxyStubClsid32", L"", L"{00020424-0000-0000-C000-000000000046}"}};
  for (const bool per_user : {false, true}) {
    for (const bool host_registered : {false, true}) {
      SCOPED_TRACE(std::string(per_user ? "user" : "machine") + (host_registered ? ", host's IADC3" : ""));
      ScratchRegistry scratch;
      if (host_registered) RegSetValueW(HKEY_CLASSES_ROOT, kAdc3Lib.c_str(), REG_SZ, kHostLibid.c_str(), 0);
      auto change = [&](bool install) {
        const comtest::ServerModule server;
        if (per_user) return server.Call("DllInstall", install ? TRUE : FALSE, install ? L"user" : L"USER");
        return server.Call(install ? "DllRegisterServer" : "DllUnregisterServer");
      };
      const std::wstring root = per_user ? L"Software\\Classes\\" : L"";
      for (int twice = 0; twice < 2; ++twice) ASSERT_EQ(change(true), S_OK);
      for (const auto& [key, name, text] : values) EXPECT_EQ(Text(root + key, name), text) << key;
      // IADC3 is ours where nobody's was; the host's stays, and no user's hides it.
      EXPECT_EQ(Text(root + kAdc3Lib), !host_registered ? kLibid : per_user ? L"" : kHostLibid);
      for (int twice = 0; twice < 2; ++twice) EXPECT_EQ(change(false), S_OK);
      for (const auto& key : kOurKeys) EXPECT_FALSE(Exists(root + key)) << key;
      EXPECT_EQ(Text(root + kAdc3Lib), host_registered && !per_user ? kHostLibid : L"");
    }
  }
}

TEST(Registration, RemovesWhatItWroteWhenAWriteIsRefusedHalfWay) {
  ScratchRegistry scratch;
  // Written after the class and the first ProgID; all may read or delete it, none write.
  HKEY refused = nullptr;
  ASSERT_EQ(RegCreateKeyW(HKEY_CLASSES_ROOT, L"NI.NI_DAQmx_Task.1", &refused), ERROR_SUCCESS);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;0x70019;;;WD)", SDDL_REVISION_1,
                                                                   &descriptor, nullptr));
  EXPECT_EQ(RegSetKeySecurity(refused, DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
  LocalFree(descriptor);
  RegCloseKey(refused);
  EXPECT_EQ(comtest::ServerModule().Call("DllRegisterServer"), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  for (const auto& key : kOurKeys) EXPECT_FALSE(Exists(key)) << key;
}

host::IADC3* Create() {
  host::IADC3* adc = nullptr;
  EXPECT_EQ(CoCreateInstance(host::kCLSID_NI_DAQmx_Task, nullptr, CLSCTX_INPROC_SERVER, host::kIID_IADC3,
                             reinterpret_cast<void**>(&adc)), S_OK);
  return adc;
}

// Test, start, fetch `frames` frames (or once, for none), stop.
void Record(host::IADC3* adc, LONG frames) {
  ASSERT_NE(adc, nullptr);
  VARIANT_BOOL ok = 0;
  adc->Test(&ok);
  ASSERT_TRUE(SUCCEEDED(adc->StartRecord(&ok)) && ok == VARIANT_TRUE);
  SHORT buffer[4096];
  EXPECT_TRUE(testsupport::WaitUntil([&] {
    LONG counts[3] = {4096, 0, 0};  // buffer size, frames waiting, frames fetched
    adc->GetData(buffer, &counts[0], &counts[1], &counts[2]);
    return (frames -= counts[2]) <= 0;
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
  static HRESULT CanUnloadNow() { return comtest::ServerModule().Call("DllCanUnloadNow"); }

  comtest::MachineRegistration registration_;
  testsupport::ScopedEnv task_{"NIADC_TASK", "Demo4ch"};
  comtest::Apartment apartment_;
};

// 10,000 objects, every tenth recording, in four rounds after a warm-up: a
// leak in every cycle shows in every round, a buffer grown once in one only.
TEST_F(Lifetime, ObjectsAndRecordingsLeaveNothingBehind) {
  auto cycle = [](int i) {
    host::IADC3* adc = Create();
    ASSERT_NE(adc, nullptr);
    VARIANT_BOOL ok = 0;
    ASSERT_TRUE(SUCCEEDED(adc->Test(&ok)) && ok == VARIANT_TRUE);
    BSTR name = nullptr;
    adc->get_ADCName(&name);
    SysFreeString(name);
    if (i % 10 == 0) Record(adc, 0);
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    ASSERT_EQ(adc->Release(), 0u);  // waits for the acquisition worker to end
  };
  for (int i = 0; i < 200; ++i) cycle(i);
  std::array<long long, 2> least{LLONG_MAX, LLONG_MAX};
  for (int round = 0; round < 4; ++round) {
    const auto before = Usage();
    for (int i = 0; i < 2500; ++i) cycle(i);
    const auto after = Usage();
    for (size_t k = 0; k < 2; ++k) least[k] = std::min(least[k], after[k] - before[k]);
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
  comtest::Apartment apartment;
  host::IADC3* adc = Create();
  Record(adc, 20);
  SignalObjectAndWait(static_cast<HANDLE*>(events)[0], static_cast<HANDLE*>(events)[1], INFINITE, FALSE);
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
    for (size_t k : order) EXPECT_EQ(SignalObjectAndWait(hosts[k][1], hosts[k][2], 60000, FALSE), WAIT_OBJECT_0);
    CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_EQ(GetModuleHandleW(L"NI.adc"), nullptr);
    for (const auto& handles : hosts) std::for_each(handles.begin(), handles.end(), CloseHandle);
  } while (std::next_permutation(order.begin(), order.end()));
}

// The same in a process of its own, which must then exit by itself.
TEST(LifetimeProcess, AProcessThatUsedTheServerOnThreadsExits) {
  const auto result = comtest::RunProcess(
      L"\"" + comtest::TestFolder() + L"\\com_tests.exe\" --gtest_filter=Lifetime.Threads*", 120000);
  const bool ran = result.output.find("[  PASSED  ] 1 test") != std::string::npos;
  EXPECT_TRUE(result.finished && result.exit_code == 0 && ran) << result.output;
}

}  // namespace

// Registration of NI.adc, for the machine and for the current user, checked
// key by key in a scratch registry; the host's own IADC3 registration stays
// as the host left it.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/com/com_support.h"

#include <sddl.h>  // after windows.h

namespace {

using comtest::ScratchRegistry;
using comtest::ServerModule;

const std::wstring kClsidKey = L"CLSID\\{70036B36-B224-4CA9-8361-140B9B9DD2F1}";
const std::wstring kLibid = L"{E5B41819-B5B0-4004-BD51-F0A79639A505}";
const std::wstring kAdc3Key = L"Interface\\{97B526A8-3B46-11D7-B688-FDAEA8668E28}";
const std::wstring kDefaultKey = L"Interface\\{8C30A988-7FBA-43D9-B771-484B44D878A7}";
const std::wstring kHostLibid = L"{11111111-2222-3333-4444-555555555555}";
#ifdef _WIN64
const std::wstring kPlatform = L"win64";
#else
const std::wstring kPlatform = L"win32";
#endif

std::optional<std::wstring> Text(HKEY root, const std::wstring& key, const wchar_t* name = nullptr) {
  wchar_t text[512] = {};
  DWORD size = sizeof(text) - sizeof(wchar_t);
  if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(text);
}

bool Exists(HKEY root, const std::wstring& key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  RegCloseKey(opened);
  return true;
}

void SetText(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& text) {
  ASSERT_EQ(RegSetKeyValueW(root, key.c_str(), name, REG_SZ, text.c_str(),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
}

// The host program's own registration of its interface.
void RegisterHostInterface(HKEY root) {
  SetText(root, kAdc3Key, nullptr, L"IADC3");
  SetText(root, kAdc3Key + L"\\TypeLib", nullptr, kHostLibid);
  SetText(root, kAdc3Key + L"\\TypeLib", L"Version", L"3.0");
  SetText(root, kAdc3Key + L"\\ProxyStubClsid32", nullptr, L"{00020420-0000-0000-C000-000000000046}");
}

void ExpectHostInterfaceUntouched(HKEY root) {
  EXPECT_EQ(Text(root, kAdc3Key + L"\\TypeLib"), kHostLibid);
  EXPECT_EQ(Text(root, kAdc3Key + L"\\TypeLib", L"Version"), L"3.0");
  EXPECT_EQ(Text(root, kAdc3Key + L"\\ProxyStubClsid32"), L"{00020420-0000-0000-C000-000000000046}");
}

void ExpectServerRegistered(HKEY root) {
  const std::wstring path = comtest::ServerPath();
  EXPECT_EQ(Text(root, kClsidKey + L"\\InprocServer32"), path);
  EXPECT_EQ(Text(root, kClsidKey + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
  EXPECT_EQ(Text(root, kClsidKey + L"\\ProgID"), L"NI.NI_DAQmx_Task.1");
  EXPECT_EQ(Text(root, kClsidKey + L"\\VersionIndependentProgID"), L"NI.NI_DAQmx_Task");
  EXPECT_EQ(Text(root, kClsidKey + L"\\TypeLib"), kLibid);
  EXPECT_EQ(Text(root, L"NI.NI_DAQmx_Task\\CLSID"), L"{70036B36-B224-4CA9-8361-140B9B9DD2F1}");
  EXPECT_EQ(Text(root, L"NI.NI_DAQmx_Task\\CurVer"), L"NI.NI_DAQmx_Task.1");
  EXPECT_EQ(Text(root, L"NI.NI_DAQmx_Task.1\\CLSID"), L"{70036B36-B224-4CA9-8361-140B9B9DD2F1}");
  EXPECT_EQ(Text(root, L"TypeLib\\" + kLibid + L"\\1.1\\0\\" + kPlatform), path);
  EXPECT_EQ(Text(root, kDefaultKey + L"\\TypeLib"), kLibid);
  EXPECT_EQ(Text(root, kDefaultKey + L"\\ProxyStubClsid32"), L"{00020424-0000-0000-C000-000000000046}");
}

void ExpectNothingRegistered(HKEY root) {
  for (const auto& key : {kClsidKey, std::wstring(L"NI.NI_DAQmx_Task"), std::wstring(L"NI.NI_DAQmx_Task.1"),
                          L"TypeLib\\" + kLibid, kDefaultKey}) {
    EXPECT_FALSE(Exists(root, key)) << std::string(key.begin(), key.end());
  }
}

// Lets everyone read and delete the key, but nobody write to it or below it.
void RefuseWrites(HKEY root, const std::wstring& key) {
  HKEY opened = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, WRITE_DAC, nullptr, &opened, nullptr), ERROR_SUCCESS);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  // KEY_READ | DELETE | WRITE_DAC for everyone, nothing else.
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;0x70019;;;WD)", SDDL_REVISION_1,
                                                                   &descriptor, nullptr));
  EXPECT_EQ(RegSetKeySecurity(opened, DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
  LocalFree(descriptor);
  RegCloseKey(opened);
}

HKEY UserClasses() {
  HKEY key = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  return key;
}

// Registering twice gives the same keys, unregistering twice succeeds; an
// IADC3 the host registered stays as it was, one nobody registered is ours.
TEST(Registration, WritesAndRemovesItsKeysForTheMachineOrTheUser) {
  struct Scenario {
    bool per_user;
    bool host_registered;
  };
  for (const Scenario s : {Scenario{false, false}, {false, true}, {true, false}, {true, true}}) {
    SCOPED_TRACE(std::string(s.per_user ? "user" : "machine") + (s.host_registered ? ", host's IADC3" : ""));
    ScratchRegistry scratch(s.per_user);
    if (s.host_registered) RegisterHostInterface(HKEY_CLASSES_ROOT);
    ServerModule server;
    auto change = [&](bool install) {
      if (s.per_user) return server.Install(install, install ? L"user" : L"USER");
      return install ? server.Register() : server.Unregister();
    };
    const HKEY root = s.per_user ? UserClasses() : HKEY_CLASSES_ROOT;
    for (int twice = 0; twice < 2; ++twice) ASSERT_EQ(change(true), S_OK);
    ExpectServerRegistered(root);
    if (s.per_user) ExpectNothingRegistered(HKEY_CLASSES_ROOT);
    if (s.host_registered) {
      ExpectHostInterfaceUntouched(HKEY_CLASSES_ROOT);
      EXPECT_EQ(Exists(root, kAdc3Key), !s.per_user);  // a user's key would shadow the host's
    } else {
      EXPECT_EQ(Text(root, kAdc3Key + L"\\TypeLib"), kLibid);
    }
    for (int twice = 0; twice < 2; ++twice) EXPECT_EQ(change(false), S_OK);
    ExpectNothingRegistered(root);
    EXPECT_EQ(Exists(root, kAdc3Key), s.host_registered && !s.per_user);
    if (s.host_registered) ExpectHostInterfaceUntouched(HKEY_CLASSES_ROOT);
    if (s.per_user) RegCloseKey(root);
  }
}

TEST(Registration, RemovesWhatItWroteWhenAWriteIsRefusedHalfWay) {
  ScratchRegistry scratch(false);
  // Written after the class key and the first ProgID.
  RefuseWrites(HKEY_CLASSES_ROOT, L"NI.NI_DAQmx_Task.1");
  ServerModule server;
  EXPECT_EQ(server.Register(), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  ExpectNothingRegistered(HKEY_CLASSES_ROOT);
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, kAdc3Key));
}

TEST(Registration, OtherClassesAreNotServed) {
  ServerModule server;
  IUnknown* object = nullptr;
  EXPECT_EQ(server.GetClassObject(IID_IUnknown, IID_IClassFactory, reinterpret_cast<void**>(&object)),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
}

}  // namespace

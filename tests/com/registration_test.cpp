// Registration of NI.adc for the machine and for the current user, in a
// scratch registry; the host's own IADC3 stays as the host left it.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "tests/com/com_support.h"

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
  DWORD size = sizeof(text) - sizeof(wchar_t);
  RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, text, &size);
  return text;
}

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
    RegCreateKeyW(HKEY_CURRENT_USER, kScratch, &key);
    for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER}) EXPECT_EQ(RegOverridePredefKey(root, key), ERROR_SUCCESS);
  }
  ~ScratchRegistry() {
    for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER}) RegOverridePredefKey(root, nullptr);
    RegCloseKey(key);
    RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
  }
  HKEY key = nullptr;
};

// Registering twice gives the same keys, unregistering twice succeeds. An
// IADC3 the host registered stays as it was, one nobody registered is ours.
TEST(Registration, WritesAndRemovesItsKeysForTheMachineOrTheUser) {
  const std::wstring clsid = L"CLSID\\" + kClsid;
  const std::array<std::wstring, 3> values[] = {  // key, value name ("" for the default), text
      {clsid + L"\\InprocServer32", L"", comtest::ServerPath()},
      {clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
      {clsid + L"\\ProgID", L"", L"NI.NI_DAQmx_Task.1"},
      {clsid + L"\\VersionIndependentProgID", L"", L"NI.NI_DAQmx_Task"},
      {clsid + L"\\TypeLib", L"", kLibid},
      {L"NI.NI_DAQmx_Task\\CLSID", L"", kClsid},
      {L"NI.NI_DAQmx_Task\\CurVer", L"", L"NI.NI_DAQmx_Task.1"},
      {L"NI.NI_DAQmx_Task.1\\CLSID", L"", kClsid},
      {L"TypeLib\\" + kLibid + L"\\1.1\\0\\" + (sizeof(void*) == 8 ? L"win64" : L"win32"), L"", comtest::ServerPath()},
      {kDefaultKey + L"\\TypeLib", L"", kLibid},
      {kDefaultKey + L"\\ProxyStubClsid32", L"", L"{00020424-0000-0000-C000-000000000046}"}};
  for (const bool per_user : {false, true}) {
    for (const bool host_registered : {false, true}) {
      SCOPED_TRACE(std::string(per_user ? "user" : "machine") + (host_registered ? ", host's IADC3" : ""));
      ScratchRegistry scratch;
      if (host_registered) RegSetValueW(HKEY_CLASSES_ROOT, kAdc3Lib.c_str(), REG_SZ, kHostLibid.c_str(), 0);
      comtest::ServerModule server;
      auto change = [&](bool install) {
        if (per_user) return server.Call("DllInstall", install ? TRUE : FALSE, install ? L"user" : L"USER");
        return server.Call(install ? "DllRegisterServer" : "DllUnregisterServer");
      };
      const std::wstring root = per_user ? L"Software\\Classes\\" : L"";
      for (int twice = 0; twice < 2; ++twice) ASSERT_EQ(change(true), S_OK);
      for (const auto& [key, name, text] : values) EXPECT_EQ(Text(root + key, name), text) << key;
      for (const auto& key : kOurKeys) EXPECT_EQ(Exists(key), !per_user) << key;
      // A user's IADC3 would hide the host's.
      EXPECT_EQ(Text(root + kAdc3Lib), !host_registered ? kLibid : per_user ? L"" : kHostLibid);
      for (int twice = 0; twice < 2; ++twice) EXPECT_EQ(change(false), S_OK);
      for (const auto& key : kOurKeys) EXPECT_FALSE(Exists(root + key)) << key;
      EXPECT_EQ(Exists(root + kAdc3Key), host_registered && !per_user);
      EXPECT_EQ(Text(kAdc3Lib), host_registered ? kHostLibid : L"");
    }
  }
}

TEST(Registration, RemovesWhatItWroteWhenAWriteIsRefusedHalfWay) {
  ScratchRegistry scratch;
  // Everyone may read and delete this key, written after the class and the
  // first ProgID, but nobody may write to it.
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
  EXPECT_FALSE(Exists(kAdc3Key));
}

}  // namespace

#include "com/registration.h"

#include <optional>
#include <string>
#include <vector>

#include "com/module.h"
#include "com/raii.h"
#include "platform/system.h"
#include "platform/windows.h"

namespace com {
namespace {

const std::wstring kClsid = L"{70036B36-B224-4CA9-8361-140B9B9DD2F1}";
const std::wstring kLibid = L"{E5B41819-B5B0-4004-BD51-F0A79639A505}";
const std::wstring kDefaultIid = L"{8C30A988-7FBA-43D9-B771-484B44D878A7}";
const std::wstring kAdc3Iid = L"{97B526A8-3B46-11D7-B688-FDAEA8668E28}";
const std::wstring kLibVersion = L"1.1";
const std::wstring kProgId = L"NI.NI_DAQmx_Task";
const std::wstring kVersionedProgId = L"NI.NI_DAQmx_Task.1";
const std::wstring kClassName = L"NI_DAQmx_Task";
// The type-library marshaler, for the dual interfaces.
const std::wstring kAutomationProxy = L"{00020424-0000-0000-C000-000000000046}";
#ifdef _WIN64
const std::wstring kPlatform = L"win64";
#else
const std::wstring kPlatform = L"win32";
#endif

// One registry value: a key below the classes root, a value name (empty for
// the default value) and its text; no text makes just the key.
struct Row {
  std::wstring key;
  std::wstring name;
  std::optional<std::wstring> text;
};

std::vector<Row> InterfaceRows(const std::wstring& iid, const std::wstring& name) {
  const std::wstring key = L"Interface\\" + iid;
  return {{key, L"", name},
          {key + L"\\ProxyStubClsid32", L"", kAutomationProxy},
          {key + L"\\ProxyStubClsid", L"", kAutomationProxy},
          {key + L"\\TypeLib", L"", kLibid},
          {key + L"\\TypeLib", L"Version", kLibVersion}};
}

std::vector<Row> ServerRows(const std::wstring& path) {
  const std::wstring clsid = L"CLSID\\" + kClsid;
  const std::wstring lib = L"TypeLib\\" + kLibid + L"\\" + kLibVersion;
  const std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
  std::vector<Row> rows = {
      {clsid, L"", kClassName},
      {clsid + L"\\InprocServer32", L"", path},
      {clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
      {clsid + L"\\ProgID", L"", kVersionedProgId},
      {clsid + L"\\VersionIndependentProgID", L"", kProgId},
      {clsid + L"\\TypeLib", L"", kLibid},
      {clsid + L"\\Version", L"", kLibVersion},
      {clsid + L"\\Programmable", L"", std::nullopt},
      {kProgId, L"", kClassName},
      {kProgId + L"\\CLSID", L"", kClsid},
      {kProgId + L"\\CurVer", L"", kVersionedProgId},
      {kVersionedProgId, L"", kClassName},
      {kVersionedProgId + L"\\CLSID", L"", kClsid},
      {lib, L"", L"NI"},
      {lib + L"\\0\\" + kPlatform, L"", path},
      {lib + L"\\FLAGS", L"", L"0"},
      {lib + L"\\HELPDIR", L"", folder},
  };
  const auto default_interface = InterfaceRows(kDefaultIid, L"_" + kClassName);
  rows.insert(rows.end(), default_interface.begin(), default_interface.end());
  return rows;
}

// The classes root of the scope; the machine's is the predefined key, which
// callers (tests) may redirect with RegOverridePredefKey.
class ClassesRoot {
 public:
  HRESULT Open(Scope scope) {
    if (scope == Scope::Machine) return S_OK;
    return FromWin32(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0,
                                     KEY_READ | KEY_WRITE | DELETE, nullptr, user_.put(), nullptr));
  }
  HKEY get() const { return user_ ? user_.get() : HKEY_CLASSES_ROOT; }

 private:
  RegKey user_;
};

HRESULT Write(HKEY root, const Row& row) {
  RegKey key;
  if (LSTATUS s = RegCreateKeyExW(root, row.key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr);
      s != ERROR_SUCCESS) {
    return FromWin32(s);
  }
  if (!row.text) return S_OK;
  const auto* bytes = reinterpret_cast<const BYTE*>(row.text->c_str());
  const auto size = static_cast<DWORD>((row.text->size() + 1) * sizeof(wchar_t));
  return FromWin32(RegSetValueExW(key.get(), row.name.empty() ? nullptr : row.name.c_str(), 0, REG_SZ, bytes, size));
}

bool KeyExists(HKEY root, const std::wstring& path) {
  RegKey key;
  return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

std::wstring DefaultText(HKEY root, const std::wstring& path) {
  wchar_t text[128] = {};
  DWORD size = sizeof(text) - sizeof(wchar_t);
  if (RegGetValueW(root, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) return {};
  return text;
}

HRESULT DeleteTree(HKEY root, const std::wstring& path) {
  const LSTATUS s = RegDeleteTreeW(root, path.c_str());
  return s == ERROR_SUCCESS || s == ERROR_FILE_NOT_FOUND ? S_OK : FromWin32(s);
}

// IADC3 is the host's: it is left to whoever registered it, and registered by
// us only where neither this root nor the merged classes view knows it.
bool MayRegisterAdc3(HKEY root) {
  const std::wstring key = L"Interface\\" + kAdc3Iid;
  return !KeyExists(root, key) && !KeyExists(HKEY_CLASSES_ROOT, key);
}

}  // namespace

HRESULT RegisterServer(Scope scope) {
  ClassesRoot root;
  if (HRESULT hr = root.Open(scope); FAILED(hr)) return hr;
  auto rows = ServerRows(platform::Widen(platform::ThisModulePath()));
  if (MayRegisterAdc3(root.get())) {
    const auto adc3 = InterfaceRows(kAdc3Iid, L"IADC3");
    rows.insert(rows.end(), adc3.begin(), adc3.end());
  }
  for (const auto& row : rows) {
    if (HRESULT hr = Write(root.get(), row); FAILED(hr)) {
      UnregisterServer(scope);
      return hr;
    }
  }
  return S_OK;
}

HRESULT UnregisterServer(Scope scope) {
  ClassesRoot root;
  if (HRESULT hr = root.Open(scope); FAILED(hr)) return hr;
  const HKEY key = root.get();
  HRESULT result = S_OK;
  for (const auto& path : {L"CLSID\\" + kClsid, kProgId, kVersionedProgId, L"TypeLib\\" + kLibid + L"\\" + kLibVersion,
                           L"Interface\\" + kDefaultIid}) {
    if (HRESULT hr = DeleteTree(key, path); FAILED(hr)) result = hr;
  }
  RegDeleteKeyW(key, (L"TypeLib\\" + kLibid).c_str());  // only once no other version is left in it
  const std::wstring adc3 = L"Interface\\" + kAdc3Iid;
  if (DefaultText(key, adc3 + L"\\TypeLib") == kLibid) {
    if (HRESULT hr = DeleteTree(key, adc3); FAILED(hr)) result = hr;
  }
  return result;
}

}  // namespace com

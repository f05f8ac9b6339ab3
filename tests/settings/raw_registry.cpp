#include "raw_registry.h"

#include <gtest/gtest.h>
#include <sddl.h>

namespace rawreg {
namespace {

// Closes a key opened by a helper.
struct Key {
  HKEY handle = nullptr;
  ~Key() {
    if (handle != nullptr) RegCloseKey(handle);
  }
};

}  // namespace

Data BytesOf(std::string_view text) { return Data(text.begin(), text.end()); }

Data DWordBytes(std::uint32_t value) {
  return Data{static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
              static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

bool KeyExists(const std::string& path) {
  Key key;
  return RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key.handle) == ERROR_SUCCESS;
}

void CreateKey(const std::string& path, bool is_volatile) {
  Key key;
  const DWORD options = is_volatile ? REG_OPTION_VOLATILE : REG_OPTION_NON_VOLATILE;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, options, KEY_ALL_ACCESS, nullptr, &key.handle,
                            nullptr),
            ERROR_SUCCESS)
      << path;
}

void MakeReadOnly(const std::string& path) {
  Key key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, WRITE_DAC, &key.handle), ERROR_SUCCESS) << path;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  // Protected DACL: KEY_READ for everyone, nothing else.
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;0x20019;;;WD)", SDDL_REVISION_1, &descriptor,
                                                                   nullptr));
  EXPECT_EQ(RegSetKeySecurity(key.handle, DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
  LocalFree(descriptor);
}

void DeleteTree(const std::string& path) {
  const LONG code = RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
  if (code != ERROR_SUCCESS && code != ERROR_FILE_NOT_FOUND) ADD_FAILURE() << "cannot delete " << path << ": " << code;
}

void Write(const std::string& path, const std::string& name, DWORD type, const Data& data) {
  Key key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_SET_VALUE, &key.handle), ERROR_SUCCESS) << path;
  ASSERT_EQ(RegSetValueExA(key.handle, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())),
            ERROR_SUCCESS)
      << name;
}

void WriteDWord(const std::string& path, const std::string& name, std::uint32_t value) {
  Write(path, name, REG_DWORD, DWordBytes(value));
}

std::optional<Value> Read(const std::string& path, const std::string& name) {
  Key key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, &key.handle) != ERROR_SUCCESS) return {};
  Value value;
  DWORD size = 0;
  if (RegQueryValueExA(key.handle, name.c_str(), nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) return {};
  value.data.resize(size);
  if (RegQueryValueExA(key.handle, name.c_str(), nullptr, &value.type, value.data.data(), &size) != ERROR_SUCCESS) {
    return {};
  }
  value.data.resize(size);
  return value;
}

std::optional<std::wstring> ReadWide(const std::string& path, const std::string& name) {
  Key key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, &key.handle) != ERROR_SUCCESS) return {};
  std::wstring wide_name(name.size(), L'\0');
  wide_name.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()),
                                                                wide_name.data(), static_cast<int>(name.size()))));
  DWORD size = 0;
  if (RegQueryValueExW(key.handle, wide_name.c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return {};
  std::wstring text(size / sizeof(wchar_t), L'\0');
  RegQueryValueExW(key.handle, wide_name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()), &size);
  text.resize(size / sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

ScratchUser::ScratchUser() : base_("Software\\NIADC-Tests\\settings-" + std::to_string(GetCurrentProcessId())) {
  RegDeleteTreeA(HKEY_CURRENT_USER, base_.c_str());
  Key key;
  EXPECT_EQ(
      RegCreateKeyExA(HKEY_CURRENT_USER, base_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key.handle, nullptr),
      ERROR_SUCCESS);
  EXPECT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, key.handle), ERROR_SUCCESS);
}

ScratchUser::~ScratchUser() {
  RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  RegDeleteTreeA(HKEY_CURRENT_USER, base_.c_str());
}

ValueWatch::ValueWatch(const std::string& path) {
  event_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_NOTIFY, &key_), ERROR_SUCCESS) << path;
  EXPECT_EQ(RegNotifyChangeKeyValue(key_, FALSE, REG_NOTIFY_CHANGE_LAST_SET, event_, TRUE), ERROR_SUCCESS);
}

ValueWatch::~ValueWatch() {
  if (key_ != nullptr) RegCloseKey(key_);
  CloseHandle(event_);
}

bool ValueWatch::Changed() const { return WaitForSingleObject(event_, 0) == WAIT_OBJECT_0; }

}  // namespace rawreg

// Direct Win32 access to HKEY_CURRENT_USER for the tests, independent of
// cRegistry: to prepare values of any type and look at what was stored.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <optional>
#include <string>
#include <vector>

namespace rawreg {

using Data = std::vector<std::uint8_t>;

struct Value {
  DWORD type = 0;
  Data data;
};

// Creates the key and its missing parents; a volatile key takes only volatile children.
inline void CreateKey(const std::string& path, bool is_volatile = false) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, is_volatile ? REG_OPTION_VOLATILE : 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS)
      << path;
  RegCloseKey(key);
}

inline bool KeyExists(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// Lets everyone read the key but nobody set its values.
inline void MakeReadOnly(const std::string& path) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, WRITE_DAC, &key), ERROR_SUCCESS) << path;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;0x20019;;;WD)", SDDL_REVISION_1, &descriptor, nullptr);
  EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
  LocalFree(descriptor);
  RegCloseKey(key);
}

inline void Write(const std::string& path, const std::string& name, DWORD type, const Data& data) {
  ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, path.c_str(), name.c_str(), type, data.data(),
                            static_cast<DWORD>(data.size())),
            ERROR_SUCCESS)
      << name;
}

// The value's bytes as stored, or nothing when it is missing.
inline std::optional<Value> Read(const std::string& path, const std::string& name) {
  Value value;
  DWORD size = 0;
  const auto get = [&](void* data) {
    return RegGetValueA(HKEY_CURRENT_USER, path.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &value.type, data,
                        &size) == ERROR_SUCCESS;
  };
  if (!get(nullptr)) return {};
  value.data.resize(size);
  if (!get(value.data.data())) return {};
  value.data.resize(size);
  return value;
}

// Redirects HKEY_CURRENT_USER of this process to a fresh scratch key while
// the object lives; the scratch key is removed afterwards.
class ScratchUser {
 public:
  ScratchUser() {
    RegDeleteTreeA(HKEY_CURRENT_USER, base_.c_str());
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, base_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, key), ERROR_SUCCESS);
    RegCloseKey(key);
  }
  ~ScratchUser() {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegDeleteTreeA(HKEY_CURRENT_USER, base_.c_str());
  }
  ScratchUser(const ScratchUser&) = delete;
  ScratchUser& operator=(const ScratchUser&) = delete;

 private:
  const std::string base_ = "Software\\NIADC-Tests\\settings-" + std::to_string(GetCurrentProcessId());
};

}  // namespace rawreg

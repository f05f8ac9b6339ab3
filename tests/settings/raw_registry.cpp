#include "raw_registry.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <cstdio>
#include <cstring>

namespace rawreg {
namespace {

// Closes a key opened by a helper.
struct Key {
  HKEY handle = nullptr;
  ~Key() {
    if (handle != nullptr) RegCloseKey(handle);
  }
};

std::string Narrow(const std::wstring& wide) {
  std::string text;
  for (wchar_t c : wide) text += c < 128 ? static_cast<char>(c) : '?';
  return text;
}

std::string HexBytes(const Data& data) {
  std::string text;
  char byte[4];
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::snprintf(byte, sizeof byte, "%02x", data[i]);
    text += (i == 0 ? "" : ",") + std::string(byte);
  }
  return text;
}

// Strings as their text (the last NUL dropped, others shown as \0), other data as hex bytes.
std::string DataText(const Value& value) {
  if (value.type != REG_SZ && value.type != REG_EXPAND_SZ && value.type != REG_MULTI_SZ) return HexBytes(value.data);
  std::wstring wide(value.data.size() / sizeof(wchar_t), L'\0');
  std::memcpy(wide.data(), value.data.data(), wide.size() * sizeof(wchar_t));
  if (!wide.empty() && wide.back() == L'\0') wide.pop_back();
  std::string text;
  for (wchar_t c : wide) text += c == L'\0' ? std::string("\\0") : Narrow(std::wstring(1, c));
  return "\"" + text + "\"";
}

void DescribeInto(const Tree& tree, const std::string& path, std::string& text) {
  text += "[" + path + "]\n";
  for (const auto& [name, value] : tree.values) {
    text += (name.empty() ? "@" : Narrow(name)) + "=" + std::to_string(value.type) + ":" + DataText(value) + "\n";
  }
  for (const auto& [name, child] : tree.keys) DescribeInto(child, path.empty() ? Narrow(name) : path + "\\" + Narrow(name), text);
}

}  // namespace

Data BytesOf(std::string_view text) { return Data(text.begin(), text.end()); }

bool KeyExists(const std::string& path) {
  Key key;
  return RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key.handle) == ERROR_SUCCESS;
}

void CreateKey(const std::string& path, bool is_volatile) {
  Key key;
  const DWORD options = is_volatile ? REG_OPTION_VOLATILE : REG_OPTION_NON_VOLATILE;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, options, KEY_ALL_ACCESS, nullptr,
                            &key.handle, nullptr),
            ERROR_SUCCESS)
      << path;
}

void MakeReadOnly(const std::string& path) {
  Key key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, WRITE_DAC, &key.handle), ERROR_SUCCESS) << path;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  // Protected DACL: KEY_READ for everyone, nothing else.
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;0x20019;;;WD)", SDDL_REVISION_1,
                                                                   &descriptor, nullptr));
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
  Write(path, name, REG_DWORD, Data{static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                    static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)});
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

std::optional<Tree> Snapshot(const std::wstring& path) {
  Key key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key.handle) != ERROR_SUCCESS) return {};
  Tree tree;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    Value value;
    DWORD size = 0;
    if (RegEnumValueW(key.handle, i, name, &length, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) break;
    value.data.resize(size);
    length = 256;
    RegEnumValueW(key.handle, i, name, &length, nullptr, &value.type, value.data.data(), &size);
    tree.values.emplace_back(std::wstring(name, length), std::move(value));
  }
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (RegEnumKeyExW(key.handle, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    const std::wstring child(name, length);
    if (auto sub = Snapshot(path + L"\\" + child)) tree.keys.emplace_back(child, std::move(*sub));
  }
  return tree;
}

void Restore(const std::wstring& path, const Tree& tree) {
  Key key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &key.handle, nullptr),
            ERROR_SUCCESS);
  for (const auto& [name, value] : tree.values) {
    RegSetValueExW(key.handle, name.c_str(), 0, value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
  }
  for (const auto& [name, child] : tree.keys) Restore(path + L"\\" + name, child);
}

std::string Describe(const Tree& tree) {
  std::string text;
  DescribeInto(tree, "", text);
  return text;
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

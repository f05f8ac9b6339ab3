#include "settings/registry.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/system.h"
#include "platform/text.h"
#include "platform/windows.h"

namespace settings {

// Owns an opened key and closes it when it goes away; a root used as it is
// (borrowed) is never closed.
class KeyHandle {
 public:
  KeyHandle() = default;
  ~KeyHandle() {
    if (owned_ && key_ != nullptr) RegCloseKey(key_);
  }
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;

  HKEY get() const { return key_; }
  void Own(HKEY key) { Reset(key, true); }
  void Borrow(HKEY key) { Reset(key, false); }

 private:
  void Reset(HKEY key, bool owned) {
    if (owned_ && key_ != nullptr) RegCloseKey(key_);
    key_ = key;
    owned_ = owned;
  }

  HKEY key_ = nullptr;
  bool owned_ = false;
};

namespace {

// READ_CONTROL | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS
constexpr REGSAM kInspectRights = 0x20009;
// READ_CONTROL | KEY_SET_VALUE | KEY_CREATE_SUB_KEY
constexpr REGSAM kModifyRights = 0x20006;

HKEY ToHkey(RootHandle root) {
  // On 64-bit Windows the predefined roots are sign-extended 32-bit values.
  return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(root)));
}

std::string Ansi(const std::string& utf8) { return platform::ToSystemAnsi(utf8); }

const BYTE* AsBytes(const void* data) { return static_cast<const BYTE*>(data); }

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }
bool IsDWord(DWORD type) { return type == REG_DWORD || type == REG_DWORD_BIG_ENDIAN; }

// The first 4 bytes as a little-endian number; missing bytes count as 0.
std::int32_t FirstDWord(const Bytes& data) {
  std::array<std::uint8_t, 4> bytes{};
  std::memcpy(bytes.data(), data.data(), std::min(data.size(), bytes.size()));
  return std::bit_cast<std::int32_t>(bytes);
}

struct ValueEntry {
  std::string name;  // ANSI, as stored
  DWORD type = 0;
  DWORD size = 0;
};

// Enumerates value `index` of `key`: name, type and data size, and the data
// itself when `data` is given (with room for entry.size bytes).
LONG EnumValue(HKEY key, DWORD index, DWORD longest_name, ValueEntry& entry, BYTE* data) {
  std::string name(longest_name + 1, '\0');  // room for the terminating NUL
  DWORD length = longest_name + 1;
  DWORD size = data != nullptr ? entry.size : 0;
  const LONG code = RegEnumValueA(key, index, name.data(), &length, nullptr, &entry.type, data, &size);
  if (code == ERROR_SUCCESS) {
    name.resize(length);
    entry.name = std::move(name);
    entry.size = size;
  }
  return code;
}

std::string Hex(std::uint32_t number, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*x", digits, static_cast<unsigned>(number));
  return text;
}

std::string HexList(const Bytes& data) {
  std::string text;
  for (std::size_t i = 0; i < data.size(); ++i) text += (i == 0 ? "" : ",") + Hex(data[i], 2);
  return text;
}

// A string value as exported: its first string with every backslash doubled
// and the blanks around it removed, in double quotes.
std::string QuotedText(const Bytes& data) {
  const std::string text = platform::FromSystemAnsi(cRegistry::StripAtNull(std::string(data.begin(), data.end())));
  std::string escaped;
  for (char c : text) {
    escaped += c;
    if (c == '\\') escaped += c;
  }
  return "\"" + platform::Trim(escaped, " ") + "\"";
}

// The data part of one exported value line. Types without a form of their
// own are written as regedit does, hex(type): followed by the bytes.
std::string ExportData(DWORD type, const Bytes& data) {
  if (IsText(type)) return QuotedText(data) + "\r\n";
  if (IsDWord(type)) return "dword:" + Hex(static_cast<std::uint32_t>(FirstDWord(data)), 8) + "\r\n";
  if (type == REG_BINARY) return "hex:" + HexList(data) + "\r\n";
  return "hex(" + Hex(type, 1) + "):" + HexList(data) + "\r\n";
}

std::string ExportName(const std::string& ansi_name) {
  if (ansi_name.empty()) return "@=";
  return "\"" + platform::FromSystemAnsi(ansi_name) + "\"=";
}

}  // namespace

long cRegistry::Store(long code) {
  last_error_ = static_cast<std::int32_t>(code);
  return code;
}

bool cRegistry::Open(RootHandle root, const std::string& path, std::uint32_t rights, KeyHandle& key) {
  HKEY opened = nullptr;
  if (Store(RegOpenKeyExA(ToHkey(root), Ansi(path).c_str(), 0, rights, &opened)) != ERROR_SUCCESS) return false;
  key.Own(opened);
  return true;
}

bool cRegistry::OpenForReading(RootHandle root, const std::string& path, KeyHandle& key) {
  if (!path.empty()) return Open(root, path, kInspectRights, key);
  key.Borrow(ToHkey(root));
  return true;
}

bool cRegistry::SetRaw(RootHandle root, const std::string& path, const std::string& name, std::uint32_t type,
                       std::uint32_t rights, const void* data, std::uint32_t size) {
  KeyHandle key;
  if (!Open(root, path, rights, key)) return false;
  return Store(RegSetValueExA(key.get(), Ansi(name).c_str(), 0, type, AsBytes(data), size)) == ERROR_SUCCESS;
}

// ---- current position ----

void cRegistry::SetRootKey(RootHandle root) {
  if (root == root_ || !KeyExists(root, "")) return;
  root_ = root;
  SetSectionKey("");
}

void cRegistry::SetSectionKey(const std::string& path) {
  if (path == section_) return;
  if (KeyExists(root_, path) || CreateKey(root_, path, "")) section_ = path;
}

// ---- typed accessors on the current key ----

std::string cRegistry::Value(const std::string& name) {
  std::string value;
  GetStringValue(root_, section_, name, value);
  return value;
}

void cRegistry::SetValue(const std::string& name, const std::string& text) {
  SetStringValue(root_, section_, name, text);
}

bool cRegistry::ReadString(const std::string& name, std::string& value, const std::string& default_value) {
  if (GetStringValue(root_, section_, name, value)) return true;
  if (!default_value.empty()) value = default_value;
  return false;
}

bool cRegistry::WriteString(const std::string& name, const std::string& text) {
  return SetStringValue(root_, section_, name, text);
}

// The numeric kinds share one shape: a property get giving the kind's zero,
// a property set, a read with default and a write, over the kind's workers.
#define NIADC_NUMERIC_ACCESSORS(Kind, Type, Getter, Setter)                                   \
  Type cRegistry::Kind##Value(const std::string& name) {                                      \
    Type value{};                                                                             \
    return Getter(root_, section_, name, value) ? value : Type{};                             \
  }                                                                                           \
  void cRegistry::Set##Kind##Value(const std::string& name, Type value) {                     \
    Setter(root_, section_, name, value);                                                     \
  }                                                                                           \
  bool cRegistry::Read##Kind(const std::string& name, Type& value, Type default_value) {      \
    if (Getter(root_, section_, name, value)) return true;                                    \
    value = default_value;                                                                    \
    return false;                                                                             \
  }                                                                                           \
  bool cRegistry::Write##Kind(const std::string& name, Type value) { return Setter(root_, section_, name, value); }

NIADC_NUMERIC_ACCESSORS(Long, std::int32_t, GetDWordValue, SetDWordValue)
NIADC_NUMERIC_ACCESSORS(Byte, std::uint8_t, GetByteValue, SetByteValue)
NIADC_NUMERIC_ACCESSORS(Integer, std::int16_t, GetIntegerValue, SetIntegerValue)
NIADC_NUMERIC_ACCESSORS(Boolean, bool, GetBooleanValue, SetBooleanValue)
NIADC_NUMERIC_ACCESSORS(Single, float, GetSingleValue, SetSingleValue)
NIADC_NUMERIC_ACCESSORS(Double, double, GetDoubleValue, SetDoubleValue)
NIADC_NUMERIC_ACCESSORS(Currency, std::int64_t, GetCurrencyValue, SetCurrencyValue)
#undef NIADC_NUMERIC_ACCESSORS

Bytes cRegistry::BinaryValue(const std::string& name) {
  Bytes value;
  return GetBinaryValue(root_, section_, name, value) ? value : Bytes{0};
}

void cRegistry::SetBinaryValue(const std::string& name, const Bytes& value) {
  SetBinaryValue(root_, section_, name, value);
}

bool cRegistry::ReadBinary(const std::string& name, Bytes& value) {
  return GetBinaryValue(root_, section_, name, value);
}

bool cRegistry::WriteBinary(const std::string& name, const Bytes& value) {
  return SetBinaryValue(root_, section_, name, value);
}

// ---- keys ----

bool cRegistry::KeyExists(RootHandle root, const std::string& path) {
  KeyHandle key;
  return Open(root, path, kInspectRights, key);
}

bool cRegistry::CreateKey(RootHandle root, const std::string& path, const std::string& default_text) {
  HKEY created = nullptr;
  if (Store(RegCreateKeyExA(ToHkey(root), Ansi(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_CREATE_SUB_KEY, nullptr, &created, nullptr)) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(created);
  if (!default_text.empty()) SetStringValue(root, path, "", default_text);
  return true;
}

bool cRegistry::DeleteKey(RootHandle root, const std::string& path) {
  KeyHandle key;
  if (!Open(root, path, kModifyRights, key)) return false;
  return Store(RegDeleteKeyA(ToHkey(root), Ansi(path).c_str())) == ERROR_SUCCESS;
}

bool cRegistry::DeleteValue(RootHandle root, const std::string& path, const std::string& name) {
  KeyHandle key;
  if (!Open(root, path, kModifyRights, key)) return false;
  return Store(RegDeleteValueA(key.get(), Ansi(name).c_str())) == ERROR_SUCCESS;
}

// ---- typed workers ----

bool cRegistry::SetStringValue(RootHandle root, const std::string& path, const std::string& name,
                               const std::string& value) {
  const std::string data = Ansi(value);
  // The size counts the converted bytes and the terminating NUL.
  return SetRaw(root, path, name, REG_SZ, KEY_SET_VALUE, data.c_str(), static_cast<std::uint32_t>(data.size() + 1));
}

bool cRegistry::GetStringValue(RootHandle root, const std::string& path, const std::string& name,
                               std::string& value) {
  KeyHandle key;
  if (!Open(root, path, KEY_QUERY_VALUE, key)) return false;
  const std::string ansi_name = Ansi(name);
  DWORD size = 0;
  if (Store(RegQueryValueExA(key.get(), ansi_name.c_str(), nullptr, nullptr, nullptr, &size)) != ERROR_SUCCESS) {
    return false;
  }
  std::string data(size + 1, '\0');
  DWORD capacity = size + 1;
  // Its code is not kept: the value was found, which is what the caller learns.
  if (size > 0) {
    RegQueryValueExA(key.get(), ansi_name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &capacity);
  }
  value = platform::FromSystemAnsi(StripAtNull(data));
  return true;
}

bool cRegistry::SetDWordValue(RootHandle root, const std::string& path, const std::string& name,
                              std::int32_t value) {
  return SetRaw(root, path, name, REG_DWORD, kModifyRights, &value, sizeof value);
}

bool cRegistry::GetDWordValue(RootHandle root, const std::string& path, const std::string& name,
                              std::int32_t& value) {
  KeyHandle key;
  if (!Open(root, path, KEY_QUERY_VALUE, key)) return false;
  std::array<std::uint8_t, 4> bytes{};
  DWORD size = bytes.size();
  if (Store(RegQueryValueExA(key.get(), Ansi(name).c_str(), nullptr, nullptr, bytes.data(), &size)) !=
      ERROR_SUCCESS) {
    return false;
  }
  value = std::bit_cast<std::int32_t>(bytes);
  return true;
}

bool cRegistry::GetByteValue(RootHandle root, const std::string& path, const std::string& name,
                             std::uint8_t& value) {
  std::int32_t stored = 0;
  if (!GetDWordValue(root, path, name, stored)) return false;
  value = static_cast<std::uint8_t>(stored & 0xff);
  return true;
}

bool cRegistry::SetByteValue(RootHandle root, const std::string& path, const std::string& name,
                             std::uint8_t value) {
  return SetDWordValue(root, path, name, value);
}

bool cRegistry::GetIntegerValue(RootHandle root, const std::string& path, const std::string& name,
                                std::int16_t& value) {
  std::int32_t stored = 0;
  if (!GetDWordValue(root, path, name, stored)) return false;
  value = static_cast<std::int16_t>(static_cast<std::uint16_t>(stored & 0xffff));
  return true;
}

bool cRegistry::SetIntegerValue(RootHandle root, const std::string& path, const std::string& name,
                                std::int16_t value) {
  return SetDWordValue(root, path, name, static_cast<std::uint16_t>(value));
}

bool cRegistry::GetBooleanValue(RootHandle root, const std::string& path, const std::string& name, bool& value) {
  std::int32_t stored = 0;
  if (!GetDWordValue(root, path, name, stored)) return false;
  value = stored != 0;
  return true;
}

bool cRegistry::SetBooleanValue(RootHandle root, const std::string& path, const std::string& name, bool value) {
  return SetDWordValue(root, path, name, value ? 1 : 0);
}

bool cRegistry::GetSingleValue(RootHandle root, const std::string& path, const std::string& name, float& value) {
  std::int32_t stored = 0;
  if (!GetDWordValue(root, path, name, stored)) return false;
  value = std::bit_cast<float>(stored);
  return true;
}

bool cRegistry::SetSingleValue(RootHandle root, const std::string& path, const std::string& name, float value) {
  return SetDWordValue(root, path, name, std::bit_cast<std::int32_t>(value));
}

namespace {

template <typename T>
bool FromEightBytes(const Bytes& data, T& value) {
  static_assert(sizeof(T) == 8);
  if (data.size() != sizeof(T)) return false;
  std::memcpy(&value, data.data(), sizeof(T));
  return true;
}

template <typename T>
Bytes EightBytes(T value) {
  static_assert(sizeof(T) == 8);
  Bytes data(sizeof(T));
  std::memcpy(data.data(), &value, sizeof(T));
  return data;
}

}  // namespace

bool cRegistry::GetDoubleValue(RootHandle root, const std::string& path, const std::string& name, double& value) {
  Bytes data;
  return GetBinaryValue(root, path, name, data) && FromEightBytes(data, value);
}

bool cRegistry::SetDoubleValue(RootHandle root, const std::string& path, const std::string& name, double value) {
  return SetBinaryValue(root, path, name, EightBytes(value));
}

bool cRegistry::GetCurrencyValue(RootHandle root, const std::string& path, const std::string& name,
                                 std::int64_t& value) {
  Bytes data;
  return GetBinaryValue(root, path, name, data) && FromEightBytes(data, value);
}

bool cRegistry::SetCurrencyValue(RootHandle root, const std::string& path, const std::string& name,
                                 std::int64_t value) {
  return SetBinaryValue(root, path, name, EightBytes(value));
}

bool cRegistry::SetBinaryValue(RootHandle root, const std::string& path, const std::string& name,
                               const Bytes& value) {
  if (value.empty()) return false;
  return SetRaw(root, path, name, REG_BINARY, KEY_SET_VALUE, value.data(), static_cast<std::uint32_t>(value.size()));
}

bool cRegistry::GetBinaryValue(RootHandle root, const std::string& path, const std::string& name, Bytes& value) {
  KeyHandle key;
  if (!Open(root, path, KEY_QUERY_VALUE, key)) return false;
  const std::string ansi_name = Ansi(name);
  DWORD size = 0;
  if (Store(RegQueryValueExA(key.get(), ansi_name.c_str(), nullptr, nullptr, nullptr, &size)) != ERROR_SUCCESS ||
      size == 0) {
    return false;
  }
  Bytes data(size);
  if (Store(RegQueryValueExA(key.get(), ansi_name.c_str(), nullptr, nullptr, data.data(), &size)) != ERROR_SUCCESS) {
    return false;
  }
  data.resize(size);
  value = std::move(data);
  return true;
}

// ---- lookups, enumerations, export ----

std::uint32_t cRegistry::QueryValue(RootHandle root, const std::string& path, const std::string& name,
                                    AnyValue& value) {
  KeyHandle key;
  if (!OpenForReading(root, path, key)) return 0;
  DWORD count = 0;
  DWORD longest = 0;
  Store(RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longest, nullptr,
                         nullptr, nullptr));
  const std::string wanted = Ansi(name);
  ValueEntry entry;
  DWORD index = 0;
  // Registry names compare without case; this lookup compares exactly.
  for (; index < count; ++index) {
    if (Store(EnumValue(key.get(), index, longest, entry, nullptr)) == ERROR_SUCCESS && entry.name == wanted) break;
  }
  if (index == count) return 0;
  Bytes data(entry.size);
  Store(EnumValue(key.get(), index, longest, entry, data.data()));
  data.resize(entry.size);
  if (entry.type == REG_BINARY) value = data;
  if (IsDWord(entry.type)) value = FirstDWord(data);
  if (IsText(entry.type)) {
    // The stored terminating NUL is dropped; the NULs of a multi-string stay.
    const std::size_t length = data.empty() ? 0 : data.size() - 1;
    value = platform::FromSystemAnsi(std::string(data.begin(), data.begin() + length));
  }
  return entry.type;
}

std::int32_t cRegistry::EnumerateNames(RootHandle root, const std::string& path, std::vector<std::string>& names,
                                       bool values) {
  names.assign(1, path);
  KeyHandle key;
  if (!OpenForReading(root, path, key)) return 0;
  DWORD count = 0;
  DWORD longest = 0;
  if (values) {
    Store(RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longest,
                           nullptr, nullptr, nullptr));
  } else {
    Store(RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr,
                           nullptr, nullptr, nullptr));
  }
  for (DWORD i = 0; i < count; ++i) {
    std::string name(longest + 1, '\0');
    DWORD length = longest + 1;
    const LONG code = values ? RegEnumValueA(key.get(), i, name.data(), &length, nullptr, nullptr, nullptr, nullptr)
                             : RegEnumKeyExA(key.get(), i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    names.push_back(Store(code) == ERROR_SUCCESS ? platform::FromSystemAnsi(name.substr(0, length)) : std::string());
  }
  return static_cast<std::int32_t>(count);
}

std::int32_t cRegistry::EnumerateSections(RootHandle root, const std::string& path,
                                          std::vector<std::string>& names) {
  return EnumerateNames(root, path, names, false);
}

std::int32_t cRegistry::EnumerateValues(RootHandle root, const std::string& path, std::vector<std::string>& names) {
  return EnumerateNames(root, path, names, true);
}

std::string cRegistry::ExportValue(const KeyHandle& key, std::uint32_t index, std::uint32_t longest_name) {
  ValueEntry entry;
  if (Store(EnumValue(key.get(), index, longest_name, entry, nullptr)) != ERROR_SUCCESS) return {};
  Bytes data(entry.size);
  Store(EnumValue(key.get(), index, longest_name, entry, data.data()));
  data.resize(std::min<std::size_t>(entry.size, data.size()));
  return ExportName(entry.name) + ExportData(entry.type, data);
}

std::string cRegistry::ExportKey(RootHandle root, const std::string& path, bool recursive) {
  std::string text;
  {
    KeyHandle key;
    if (!OpenForReading(root, path, key)) return {};
    text = "\r\n[" + RootKeyName(root) + (path.empty() ? "" : "\\" + path) + "]\r\n";
    DWORD count = 0;
    DWORD longest = 0;
    Store(RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longest,
                           nullptr, nullptr, nullptr));
    for (DWORD i = 0; i < count; ++i) text += ExportValue(key, i, longest);
  }
  if (recursive) text += ExportSubkeys(root, path, recursive);
  return text;
}

std::string cRegistry::ExportSubkeys(RootHandle root, const std::string& path, bool recursive) {
  std::vector<std::string> names;
  EnumerateSections(root, path, names);
  const std::string prefix = path.empty() ? std::string() : path + "\\";
  std::string text;
  // Entry 0 is the path itself; an empty name is a subkey that could not be enumerated.
  for (std::size_t i = 1; i < names.size(); ++i) {
    if (!names[i].empty()) text += ExportKey(root, prefix + names[i], recursive);
  }
  return text;
}

std::string cRegistry::RootKeyName(RootHandle root) {
  static constexpr const char* kNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",     "HKEY_LOCAL_MACHINE",
                                           "HKEY_USERS",        "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG",
                                           "HKEY_DYN_DATA"};
  const std::uint32_t index = root - kClassesRoot;
  return index < std::size(kNames) ? kNames[index] : std::string();
}

// ---- errors and texts ----

std::string cRegistry::LastErrorText() const {
  return WithoutClosingPeriod(SystemErrorText(last_error_, false));
}

std::string cRegistry::WithoutClosingPeriod(std::string text) {
  if (text.size() > 4 && text.back() == '.') text.pop_back();
  return text;
}

std::string cRegistry::StripAtNull(const std::string& text) { return text.substr(0, text.find('\0')); }

std::string cRegistry::SystemErrorText(std::int32_t code, bool cut_at_period) {
  const std::string text = platform::SystemMessageText(static_cast<std::uint32_t>(code));
  return cut_at_period ? text.substr(0, text.find('.')) : text;
}

}  // namespace settings

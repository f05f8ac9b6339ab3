// cRegistry: the driver's only gateway to the Windows registry. One object
// holds a current position (a root key and a key path below it, the section)
// with typed reads and writes of named values there, plus operations on keys
// given explicitly. Every operation opens the key it needs and closes it
// before returning; failures are never thrown but answered with false, zero
// or an empty result, the system's code being left in LastErrorCode().
//
// Texts are UTF-8 here and the system's ANSI code page in the registry.
// One object must not be used from two threads at once.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace settings {

class KeyHandle;  // an open key, closed when it goes away (registry.cpp)

// A registry root as its 32-bit handle value: one of the predefined roots
// below, or (for the workers and exports) the value of a key handle.
using RootHandle = std::uint32_t;
inline constexpr RootHandle kClassesRoot = 0x80000000;
inline constexpr RootHandle kCurrentUser = 0x80000001;
inline constexpr RootHandle kLocalMachine = 0x80000002;
inline constexpr RootHandle kUsers = 0x80000003;
inline constexpr RootHandle kPerformanceData = 0x80000004;
inline constexpr RootHandle kCurrentConfig = 0x80000005;
inline constexpr RootHandle kDynData = 0x80000006;

// Registry value types that the class writes or recognises.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegDwordBigEndian = 5;
inline constexpr std::uint32_t kRegMultiSz = 7;

using Bytes = std::vector<std::uint8_t>;
// A value of any kind as QueryValue finds it: a number for the DWORD types,
// a text for the string types, the bytes for REG_BINARY.
using AnyValue = std::variant<std::monostate, std::int32_t, std::string, Bytes>;

class cRegistry {
 public:
  // Current position. A new object stands at HKEY_CURRENT_USER\Software.
  // The setters move only to a key that can be opened (or, for the section,
  // created) at that moment; setting the current value again does nothing.
  RootHandle RootKey() const { return root_; }
  void SetRootKey(RootHandle root);
  const std::string& SectionKey() const { return section_; }
  void SetSectionKey(const std::string& path);

  // Typed accessors on the current key, four per kind: property get (the
  // kind's zero when unreadable), property set, read with default, write.
  std::string Value(const std::string& name);
  void SetValue(const std::string& name, const std::string& text);
  // An empty default leaves `value` as it was when nothing could be read.
  bool ReadString(const std::string& name, std::string& value, const std::string& default_value);
  bool WriteString(const std::string& name, const std::string& text);

  std::int32_t LongValue(const std::string& name);
  void SetLongValue(const std::string& name, std::int32_t value);
  bool ReadLong(const std::string& name, std::int32_t& value, std::int32_t default_value);
  bool WriteLong(const std::string& name, std::int32_t value);

  std::uint8_t ByteValue(const std::string& name);
  void SetByteValue(const std::string& name, std::uint8_t value);
  bool ReadByte(const std::string& name, std::uint8_t& value, std::uint8_t default_value);
  bool WriteByte(const std::string& name, std::uint8_t value);

  std::int16_t IntegerValue(const std::string& name);
  void SetIntegerValue(const std::string& name, std::int16_t value);
  bool ReadInteger(const std::string& name, std::int16_t& value, std::int16_t default_value);
  bool WriteInteger(const std::string& name, std::int16_t value);

  bool BooleanValue(const std::string& name);
  void SetBooleanValue(const std::string& name, bool value);
  bool ReadBoolean(const std::string& name, bool& value, bool default_value);
  bool WriteBoolean(const std::string& name, bool value);

  float SingleValue(const std::string& name);
  void SetSingleValue(const std::string& name, float value);
  bool ReadSingle(const std::string& name, float& value, float default_value);
  bool WriteSingle(const std::string& name, float value);

  double DoubleValue(const std::string& name);
  void SetDoubleValue(const std::string& name, double value);
  bool ReadDouble(const std::string& name, double& value, double default_value);
  bool WriteDouble(const std::string& name, double value);

  // Currency: a 64-bit count of ten-thousandths.
  std::int64_t CurrencyValue(const std::string& name);
  void SetCurrencyValue(const std::string& name, std::int64_t value);
  bool ReadCurrency(const std::string& name, std::int64_t& value, std::int64_t default_value);
  bool WriteCurrency(const std::string& name, std::int64_t value);

  // Unreadable gives {0}; ReadBinary then leaves `value` as it was.
  Bytes BinaryValue(const std::string& name);
  void SetBinaryValue(const std::string& name, const Bytes& value);
  bool ReadBinary(const std::string& name, Bytes& value);
  bool WriteBinary(const std::string& name, const Bytes& value);

  // Operations on an explicit key.
  bool KeyExists(RootHandle root, const std::string& path);
  // Creates the key with every missing parent (or opens it) and, when
  // `default_text` is not empty, writes it as the default value. The answer
  // is the creation's success alone.
  bool CreateKey(RootHandle root, const std::string& path, const std::string& default_text);
  // Deletes a key that has no subkeys.
  bool DeleteKey(RootHandle root, const std::string& path);
  bool DeleteValue(RootHandle root, const std::string& path, const std::string& name);

  // Typed workers on an explicit key; true on success. A failed read leaves
  // `value` as it was. Writers always use one registry type (REG_SZ, REG_DWORD
  // or REG_BINARY); readers take the stored bytes whatever their type.
  bool SetStringValue(RootHandle root, const std::string& path, const std::string& name, const std::string& value);
  bool GetStringValue(RootHandle root, const std::string& path, const std::string& name, std::string& value);
  bool SetDWordValue(RootHandle root, const std::string& path, const std::string& name, std::int32_t value);
  // A value shorter than 4 bytes gives its bytes with the rest 0; a longer
  // one cannot be read (234).
  bool GetDWordValue(RootHandle root, const std::string& path, const std::string& name, std::int32_t& value);
  bool GetByteValue(RootHandle root, const std::string& path, const std::string& name, std::uint8_t& value);
  bool SetByteValue(RootHandle root, const std::string& path, const std::string& name, std::uint8_t value);
  // Stored as the 16 bits zero-extended: -1 becomes 65535.
  bool GetIntegerValue(RootHandle root, const std::string& path, const std::string& name, std::int16_t& value);
  bool SetIntegerValue(RootHandle root, const std::string& path, const std::string& name, std::int16_t value);
  bool GetBooleanValue(RootHandle root, const std::string& path, const std::string& name, bool& value);
  bool SetBooleanValue(RootHandle root, const std::string& path, const std::string& name, bool value);
  bool GetSingleValue(RootHandle root, const std::string& path, const std::string& name, float& value);
  bool SetSingleValue(RootHandle root, const std::string& path, const std::string& name, float value);
  // Doubles and currency are 8-byte REG_BINARY values; any other size is unreadable.
  bool GetDoubleValue(RootHandle root, const std::string& path, const std::string& name, double& value);
  bool SetDoubleValue(RootHandle root, const std::string& path, const std::string& name, double value);
  bool GetCurrencyValue(RootHandle root, const std::string& path, const std::string& name, std::int64_t& value);
  bool SetCurrencyValue(RootHandle root, const std::string& path, const std::string& name, std::int64_t value);
  // An empty array cannot be written, and an empty value cannot be read.
  bool SetBinaryValue(RootHandle root, const std::string& path, const std::string& name, const Bytes& value);
  bool GetBinaryValue(RootHandle root, const std::string& path, const std::string& name, Bytes& value);

  // The value named exactly `name` (case-sensitive; "" is the default value),
  // found by enumeration. Answers its registry type, 0 when not found; `value`
  // is left as it was for types other than the six above.
  std::uint32_t QueryValue(RootHandle root, const std::string& path, const std::string& name, AnyValue& value);
  // `names` becomes the path followed by the names of the subkeys (values);
  // the answer is their number. An empty path means the root itself.
  std::int32_t EnumerateSections(RootHandle root, const std::string& path, std::vector<std::string>& names);
  std::int32_t EnumerateValues(RootHandle root, const std::string& path, std::vector<std::string>& names);
  // Registry-file text (CR LF line ends, no file header) of one key, and of
  // its subtree depth first when `recursive`; empty when the key cannot be opened.
  std::string ExportKey(RootHandle root, const std::string& path, bool recursive);
  std::string ExportSubkeys(RootHandle root, const std::string& path, bool recursive);
  // "HKEY_CURRENT_USER" and so on; empty for any other handle.
  static std::string RootKeyName(RootHandle root);

  // Return code of the most recent registry call (0 = success).
  std::int32_t LastErrorCode() const { return last_error_; }
  // The system's message for LastErrorCode() without its closing period.
  std::string LastErrorText() const;
  // A message longer than 4 characters without its closing period; any
  // other text as it is.
  static std::string WithoutClosingPeriod(std::string text);
  static std::string StripAtNull(const std::string& text);
  // The system's message for `code` without its line end; with
  // `cut_at_period` only the part before the first ".".
  static std::string SystemErrorText(std::int32_t code, bool cut_at_period);

 private:
  // Keeps a registry call's return code as LastErrorCode and answers it.
  long Store(long code);
  bool Open(RootHandle root, const std::string& path, std::uint32_t rights, KeyHandle& key);
  // For enumerations and exports: an empty path means the root itself, used as it is.
  bool OpenForReading(RootHandle root, const std::string& path, KeyHandle& key);
  bool SetRaw(RootHandle root, const std::string& path, const std::string& name, std::uint32_t type,
              std::uint32_t rights, const void* data, std::uint32_t size);
  std::int32_t EnumerateNames(RootHandle root, const std::string& path, std::vector<std::string>& names,
                              bool values);
  std::string ExportValue(const KeyHandle& key, std::uint32_t index, std::uint32_t longest_name);

  RootHandle root_ = kCurrentUser;
  std::string section_ = "Software";
  std::int32_t last_error_ = 0;
};

}  // namespace settings

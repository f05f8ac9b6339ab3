// Direct Win32 access to HKEY_CURRENT_USER for the tests, independent of
// cRegistry: to prepare values of any type, look at what was stored, and
// save and restore a subtree around a test.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rawreg {

using Data = std::vector<std::uint8_t>;

struct Value {
  DWORD type = 0;
  Data data;
};

Data BytesOf(std::string_view text);

bool KeyExists(const std::string& path);
// Creates the key and its missing parents; a volatile key takes only volatile children.
void CreateKey(const std::string& path, bool is_volatile = false);
// Lets everyone read the key but nobody set its values.
void MakeReadOnly(const std::string& path);
// Deletes the key with everything below it; a missing key is no error.
void DeleteTree(const std::string& path);

void Write(const std::string& path, const std::string& name, DWORD type, const Data& data);
void WriteDWord(const std::string& path, const std::string& name, std::uint32_t value);
// The ANSI form of the key's value as stored, or nothing when it is missing.
std::optional<Value> Read(const std::string& path, const std::string& name);
// A string value as UTF-16, read without any code-page conversion.
std::optional<std::wstring> ReadWide(const std::string& path, const std::string& name);

// A subtree as stored (names and data untouched), with values and subkeys in
// enumeration order.
struct Tree {
  std::vector<std::pair<std::wstring, Value>> values;
  std::vector<std::pair<std::wstring, Tree>> keys;
};
std::optional<Tree> Snapshot(const std::wstring& path);
void Restore(const std::wstring& path, const Tree& tree);
// One line per key ("[relative path]") and per value ("name=type:data", the
// data of a string type as "text", other data as hex bytes).
std::string Describe(const Tree& tree);

// Signals once any value of one key is set or deleted after construction.
class ValueWatch {
 public:
  explicit ValueWatch(const std::string& path);
  ~ValueWatch();
  ValueWatch(const ValueWatch&) = delete;
  ValueWatch& operator=(const ValueWatch&) = delete;
  bool Changed() const;

 private:
  HKEY key_ = nullptr;
  HANDLE event_ = nullptr;
};

}  // namespace rawreg

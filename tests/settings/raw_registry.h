// Direct Win32 access to HKEY_CURRENT_USER for the tests, independent of
// cRegistry: to prepare values of any type and look at what was stored, in
// a scratch key that stands in for HKEY_CURRENT_USER.
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
// A DWORD as the registry stores it: little-endian.
Data DWordBytes(std::uint32_t value);

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

// Redirects HKEY_CURRENT_USER of this process to a fresh scratch key while
// the object lives; the scratch key is removed afterwards.
class ScratchUser {
 public:
  ScratchUser();
  ~ScratchUser();
  ScratchUser(const ScratchUser&) = delete;
  ScratchUser& operator=(const ScratchUser&) = delete;

 private:
  std::string base_;
};

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

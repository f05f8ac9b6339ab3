#include <windows.h>

#include <io.h>

#include <cstdio>
#include <vector>

#include "platform/system.h"
#include "platform/windows.h"

namespace platform {
namespace {

std::wstring Widen(std::string_view text, UINT code_page) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string Narrow(std::wstring_view wide, UINT code_page) {
  if (wide.empty()) return {};
  const int n =
      WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n, nullptr, nullptr);
  return text;
}

std::string SystemMessage(DWORD code) {
  const std::string text = SystemMessageText(code);
  return "error " + std::to_string(code) + (text.empty() ? "" : ": " + text);
}

class WindowsLibrary final : public SharedLibrary {
 public:
  explicit WindowsLibrary(HMODULE module) : module_(module) {}
  ~WindowsLibrary() override { FreeLibrary(module_); }
  void* Symbol(const char* name) const override {
    return reinterpret_cast<void*>(GetProcAddress(module_, name));
  }

 private:
  HMODULE module_;
};

std::unique_ptr<SharedLibrary> Wrap(HMODULE module, std::string& error) {
  if (module == nullptr) {
    error = SystemMessage(GetLastError());
    return nullptr;
  }
  return std::make_unique<WindowsLibrary>(module);
}

bool IsAbsolute(const std::wstring& path) {
  if (path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/')) return true;
  return path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/') && (path[1] == L'\\' || path[1] == L'/');
}

}  // namespace

std::unique_ptr<SharedLibrary> LoadLibraryAt(const std::string& path_utf8, std::string& error) {
  const std::wstring path = Widen(path_utf8, CP_UTF8);
  if (!IsAbsolute(path)) {
    error = "not an absolute path";
    return nullptr;
  }
  // The library's own folder first for its dependencies, as a full-path load should.
  return Wrap(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH), error);
}

std::unique_ptr<SharedLibrary> LoadSystemLibrary(const std::string& file_name, std::string& error) {
  const std::wstring path = Widen(SystemFolder() + "\\" + file_name, CP_UTF8);
  return Wrap(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH), error);
}

std::string SystemFolder() {
  wchar_t folder[MAX_PATH] = {};
  const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
  return Narrow(std::wstring_view(folder, n), CP_UTF8);
}

std::optional<std::string> GetEnv(const char* name) {
  const std::wstring wide_name = Widen(name, CP_UTF8);
  const DWORD n = GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
  if (n == 0) return std::nullopt;
  std::wstring value(n, L'\0');
  const DWORD written = GetEnvironmentVariableW(wide_name.c_str(), value.data(), n);
  value.resize(written);
  return Narrow(value, CP_UTF8);
}

void SetEnv(const char* name, const std::optional<std::string>& value) {
  const std::wstring wide_name = Widen(name, CP_UTF8);
  SetEnvironmentVariableW(wide_name.c_str(), value ? Widen(*value, CP_UTF8).c_str() : nullptr);
}

std::string ToSystemAnsi(std::string_view utf8) { return Narrow(Widen(utf8, CP_UTF8), CP_ACP); }
std::string FromSystemAnsi(std::string_view ansi) { return Narrow(Widen(ansi, CP_ACP), CP_UTF8); }

std::string DecimalSeparator() {
  wchar_t separator[8] = {};
  const int n = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8);
  return n > 1 ? Narrow(std::wstring_view(separator, static_cast<size_t>(n - 1)), CP_UTF8) : std::string(".");
}

bool HasInteractiveTerminal() { return _isatty(_fileno(stdin)) != 0 && _isatty(_fileno(stderr)) != 0; }

std::uint64_t CurrentThreadId() { return GetCurrentThreadId(); }

std::wstring Widen(std::string_view utf8) { return Widen(utf8, CP_UTF8); }
std::string Narrow(std::wstring_view utf16) { return Narrow(utf16, CP_UTF8); }

HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

std::string SystemMessageText(std::uint32_t code) {
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = n > 0 ? Narrow(std::wstring_view(buffer, n), CP_UTF8) : std::string();
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::string ThisModulePath() {
  const HMODULE module = ThisModule();
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) return Narrow(std::wstring_view(path.data(), n), CP_UTF8);
    path.resize(path.size() * 2);
  }
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string FirstPlainFile(const std::string& folder, const std::function<bool(const std::string& name)>& wanted) {
  WIN32_FIND_DATAW found = {};
  const HANDLE search = FindFirstFileExW(Widen(folder + "\\*", CP_UTF8).c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return {};
  constexpr DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                              FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT;
  std::string path;
  do {
    const std::string name = Narrow(found.cFileName, CP_UTF8);
    if ((found.dwFileAttributes & kNotPlain) == 0 && wanted(name)) path = folder + "\\" + name;
  } while (path.empty() && FindNextFileW(search, &found));
  FindClose(search);
  return path;
}

}  // namespace platform

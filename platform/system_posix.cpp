#include <dlfcn.h>
#include <langinfo.h>
#include <locale.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/system.h"

namespace platform {
namespace {

class PosixLibrary final : public SharedLibrary {
 public:
  explicit PosixLibrary(void* handle) : handle_(handle) {}
  ~PosixLibrary() override { dlclose(handle_); }
  void* Symbol(const char* name) const override { return dlsym(handle_, name); }

 private:
  void* handle_;
};

std::unique_ptr<SharedLibrary> Open(const std::string& name, std::string& error) {
  void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    error = reason != nullptr ? reason : "unknown error";
    return nullptr;
  }
  return std::make_unique<PosixLibrary>(handle);
}

}  // namespace

std::unique_ptr<SharedLibrary> LoadLibraryAt(const std::string& path_utf8, std::string& error) {
  if (path_utf8.empty() || path_utf8.front() != '/') {
    error = "not an absolute path";
    return nullptr;
  }
  return Open(path_utf8, error);
}

std::unique_ptr<SharedLibrary> LoadSystemLibrary(const std::string& file_name, std::string& error) {
  return Open(file_name, error);
}

std::string SystemFolder() { return {}; }

std::optional<std::string> GetEnv(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

void SetEnv(const char* name, const std::optional<std::string>& value) {
  if (value) {
    setenv(name, value->c_str(), 1);
  } else {
    unsetenv(name);
  }
}

std::string ToSystemAnsi(std::string_view utf8) { return std::string(utf8); }
std::string FromSystemAnsi(std::string_view ansi) { return std::string(ansi); }

std::string DecimalSeparator() {
  locale_t user = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
  if (user == static_cast<locale_t>(nullptr)) return ".";
  const char* radix = nl_langinfo_l(RADIXCHAR, user);
  std::string separator = (radix != nullptr && *radix != '\0') ? radix : ".";
  freelocale(user);
  return separator;
}

bool HasInteractiveTerminal() { return isatty(STDIN_FILENO) == 1 && isatty(STDERR_FILENO) == 1; }

std::uint64_t CurrentThreadId() { return static_cast<std::uint64_t>(gettid()); }

std::string ThisModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ThisModulePath), &info) != 0 && info.dli_fname != nullptr &&
      info.dli_fname[0] == '/') {
    return info.dli_fname;
  }
  // The main program is named as it was started; the kernel knows its full path.
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string FirstPlainFile(const std::string& folder, const std::function<bool(const std::string& name)>& wanted) {
  std::error_code error;
  std::filesystem::directory_iterator it(folder, error);
  for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (!name.starts_with(".") && it->is_regular_file(error) && wanted(name)) return folder + "/" + name;
  }
  return {};
}

}  // namespace platform

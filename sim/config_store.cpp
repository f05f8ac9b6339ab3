#include "sim/config_store.h"

#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/system.h"
#include "sim/errors.h"

namespace sim {
namespace {

namespace fs = std::filesystem;

struct FileStamp {
  std::string path;
  fs::file_time_type time;
  std::uintmax_t size = 0;

  bool operator==(const FileStamp&) const = default;
};

struct Cache {
  std::mutex mutex;
  std::optional<FileStamp> stamp;  // of the file `result` was read from
  ConfigResult result;
};

Cache& TheCache() {
  static Cache cache;
  return cache;
}

// Paths arrive as UTF-8 (platform::GetEnv); say so, or MinGW reads them as ANSI.
fs::path PathOf(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::optional<FileStamp> StampOf(const std::string& path, std::string& reason) {
  std::error_code error;
  FileStamp stamp{path, fs::last_write_time(PathOf(path), error), 0};
  if (!error) stamp.size = fs::file_size(PathOf(path), error);
  if (error) {
    reason = error.message();
    return std::nullopt;
  }
  return stamp;
}

ConfigResult Unreadable(const std::string& path, const std::string& reason) {
  return {nullptr, status::kConfigUnreadable,
          path + ": the configuration file named by " + kConfigVariable + " cannot be read (" + reason + ")"};
}

ConfigResult ReadFile(const std::string& path) {
  std::ifstream file(PathOf(path), std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  if (!file) return Unreadable(path, "the file could not be opened");
  return ParseConfig(text.str(), path);
}

ConfigResult FromFile(const std::string& path) {
  Cache& cache = TheCache();
  std::string reason;
  const auto stamp = StampOf(path, reason);
  const std::lock_guard lock(cache.mutex);
  if (!stamp) return Unreadable(path, reason);
  if (cache.stamp != stamp) {
    cache.result = ReadFile(path);
    cache.stamp = stamp;
  }
  return cache.result;
}

ConfigResult BuiltIn() {
  static const ConfigResult builtin = ParseConfig(BuiltInConfigText(), "built-in configuration");
  return builtin;
}

}  // namespace

ConfigResult CurrentConfig() {
  const auto path = platform::GetEnv(kConfigVariable);
  ConfigResult result = path && !path->empty() ? FromFile(*path) : BuiltIn();
  if (!result.config) SetConfigProblem(result.error);
  return result;
}

}  // namespace sim

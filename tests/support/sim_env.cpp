#include "tests/support/sim_env.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/system.h"

namespace testsupport {
namespace {

std::string NewTempPath() {
  // Test programs run in parallel: the name must differ between processes too.
  static const unsigned process_tag = std::random_device{}();
  static std::atomic<int> counter{0};
  const auto dir = std::filesystem::temp_directory_path();
  const auto name = "niadc-test-" + std::to_string(process_tag) + "-" + std::to_string(counter++) + ".ini";
  return (dir / name).string();
}

}  // namespace

std::string SimLibraryPath() {
  const std::string folder = platform::FolderOf(platform::ThisModulePath());
#ifdef _WIN32
  return folder + "\\nidaqmx-sim.dll";
#else
  return folder + "/libnidaqmx.so.1";
#endif
}

std::shared_ptr<const daqmx::Library> SimLibrary() {
  static const auto library = daqmx::Library::Load(SimLibraryPath());
  return library;
}

ScopedEnv::ScopedEnv(const char* name, std::optional<std::string> value)
    : name_(name), previous_(platform::GetEnv(name)) {
  platform::SetEnv(name, value);
}

ScopedEnv::~ScopedEnv() { platform::SetEnv(name_.c_str(), previous_); }

SimConfigFile::SimConfigFile(const std::string& ini_text)
    : path_(NewTempPath()), env_("NIDAQMX_SIM_CONFIG", path_) {
  // Tests describe only what they need; an NI MAX export always starts so.
  const bool has_header = ini_text.find("[DAQmx]") != std::string::npos;
  std::ofstream(path_, std::ios::binary) << (has_header ? "" : "[DAQmx]\nMajorVersion = 21\nMinorVersion = 3\n\n")
                                         << ini_text;
}

SimConfigFile::~SimConfigFile() {
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
}

}  // namespace testsupport

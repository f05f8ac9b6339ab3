// Test helpers: the simulated NI-DAQmx built beside the test executables,
// and scoped changes of the process environment.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "daqmx/library.h"

namespace testsupport {

// Full path of the simulated NI-DAQmx library in the test executable's folder.
std::string SimLibraryPath();

// The simulated library, loaded once for the whole test program.
std::shared_ptr<const daqmx::Library> SimLibrary();

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

// A configuration file written to a fresh temporary path and named by
// NIDAQMX_SIM_CONFIG while the object lives; the file is removed afterwards.
class SimConfigFile {
 public:
  explicit SimConfigFile(const std::string& ini_text);
  ~SimConfigFile();
  SimConfigFile(const SimConfigFile&) = delete;
  SimConfigFile& operator=(const SimConfigFile&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  ScopedEnv env_;
};

}  // namespace testsupport

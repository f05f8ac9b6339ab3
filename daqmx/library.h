// Run-time access to the NI-DAQmx C library, so that the driver loads and
// reports plainly on a machine without NI-DAQmx.
#pragma once

#include <memory>
#include <string>

#include "daqmx/api.h"

namespace platform {
class SharedLibrary;
}

namespace daqmx {

// Status that every wrapper call returns when NI-DAQmx could not be loaded.
// Outside NI's own code ranges.
inline constexpr int32 kStatusLibraryNotLoaded = -1;

class Library {
 public:
  // The library named by NIDAQMX_LIBRARY (a full path) when that is set;
  // otherwise nicaiu.dll from the Windows system folder, or libnidaqmx.so.1
  // then libnidaqmx.so on Linux. Loaded once per process, and kept.
  static std::shared_ptr<const Library> Default();
  // The library at `path`; an empty path means the default locations above
  // without looking at the environment.
  static std::shared_ptr<const Library> Load(const std::string& path);

  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  bool Loaded() const { return module_ != nullptr; }
  // Where the library was (or would have been) loaded from.
  const std::string& Location() const { return location_; }
  // Plain words for a failed load: what could not be loaded, from where, and why.
  const std::string& LoadError() const { return error_; }

#define NIADC_DAQMX_POINTER(name, params) \
  using name##_fn = int32(DAQMX_CALL*) params; \
  name##_fn name = nullptr;
  NIADC_DAQMX_FUNCTIONS(NIADC_DAQMX_POINTER)
  // Optional: present in the simulated library and recent NI-DAQmx, null otherwise.
  NIADC_DAQMX_EXTRA_FUNCTIONS(NIADC_DAQMX_POINTER)
#undef NIADC_DAQMX_POINTER
#define NIADC_DAQMX_VARIADIC_POINTER(name, params) \
  using name##_fn = int32(*) params;              \
  name##_fn name = nullptr;
  NIADC_DAQMX_VARIADIC_FUNCTIONS(NIADC_DAQMX_VARIADIC_POINTER)
#undef NIADC_DAQMX_VARIADIC_POINTER

 private:
  Library() = default;
  void LoadFrom(const std::string& path);
  void LoadDefault();
  bool Resolve();

  std::unique_ptr<platform::SharedLibrary> module_;
  std::string location_;
  std::string error_;
};

}  // namespace daqmx

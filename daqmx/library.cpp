#include "daqmx/library.h"

#include "platform/system.h"

namespace daqmx {

std::shared_ptr<const Library> Library::Default() {
  // Never unloaded, not even with this module: unloading it from a DLL's exit
  // would run inside the system's loader lock, and NI-DAQmx's per-thread
  // data outlives any one module that used it.
  static const auto* const library = new std::shared_ptr<const Library>([] {
    const auto path = platform::GetEnv("NIDAQMX_LIBRARY");
    return Load(path.value_or(std::string()));
  }());
  return *library;
}

std::shared_ptr<const Library> Library::Load(const std::string& path) {
  std::shared_ptr<Library> library(new Library());
  if (path.empty()) {
    library->LoadDefault();
  } else {
    library->LoadFrom(path);
  }
  return library;
}

Library::~Library() = default;

void Library::LoadFrom(const std::string& path) {
  location_ = path;
  std::string reason;
  module_ = platform::LoadLibraryAt(path, reason);
  if (!module_) {
    error_ = "NI-DAQmx could not be loaded from " + path + " (named by NIDAQMX_LIBRARY): " + reason;
    return;
  }
  Resolve();
}

void Library::LoadDefault() {
  std::string reason;
#ifdef _WIN32
  location_ = platform::SystemFolder() + "\\nicaiu.dll";
  module_ = platform::LoadSystemLibrary("nicaiu.dll", reason);
#else
  location_ = "libnidaqmx.so.1";
  module_ = platform::LoadSystemLibrary("libnidaqmx.so.1", reason);
  if (!module_) {
    std::string second;
    module_ = platform::LoadSystemLibrary("libnidaqmx.so", second);
    if (module_) location_ = "libnidaqmx.so";
  }
#endif
  if (!module_) {
    error_ = "NI-DAQmx could not be loaded from " + location_ +
             ": is NI-DAQmx installed? Set NIDAQMX_LIBRARY to the full path of a library to use instead (" + reason +
             ")";
    return;
  }
  Resolve();
}

// Every function the wrapper calls must be there; the extra ones are optional.
bool Library::Resolve() {
  std::string missing;
#define NIADC_DAQMX_REQUIRE(name, params)                                     \
  name = reinterpret_cast<name##_fn>(module_->Symbol(#name));                \
  if (name == nullptr) missing += (missing.empty() ? "" : ", ") + std::string(#name);
  NIADC_DAQMX_FUNCTIONS(NIADC_DAQMX_REQUIRE)
#undef NIADC_DAQMX_REQUIRE
#define NIADC_DAQMX_OPTIONAL(name, params) name = reinterpret_cast<name##_fn>(module_->Symbol(#name));
  NIADC_DAQMX_EXTRA_FUNCTIONS(NIADC_DAQMX_OPTIONAL)
  NIADC_DAQMX_VARIADIC_FUNCTIONS(NIADC_DAQMX_OPTIONAL)
#undef NIADC_DAQMX_OPTIONAL
  if (missing.empty()) return true;
  error_ = "NI-DAQmx could not be loaded from " + location_ + ": the library does not export " + missing;
  // No pointer may outlive the module.
#define NIADC_DAQMX_FORGET(name, params) name = nullptr;
  NIADC_DAQMX_FUNCTIONS(NIADC_DAQMX_FORGET)
  NIADC_DAQMX_EXTRA_FUNCTIONS(NIADC_DAQMX_FORGET)
  NIADC_DAQMX_VARIADIC_FUNCTIONS(NIADC_DAQMX_FORGET)
#undef NIADC_DAQMX_FORGET
  module_.reset();
  return false;
}

}  // namespace daqmx

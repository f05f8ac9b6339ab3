// Linked into test programs whose driver objects load NI-DAQmx the way the
// product does (Library::Default): point them at the simulated library.
#include "platform/system.h"
#include "tests/support/sim_env.h"

namespace {

const bool g_uses_simulator = [] {
  platform::SetEnv("NIDAQMX_LIBRARY", testsupport::SimLibraryPath());
  return true;
}();

}  // namespace

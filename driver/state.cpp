#include "driver/state.h"

namespace driver {

// The worker keeps its state alive, so the state can only go away once the
// worker is done with it; a thread object still joinable then has nothing
// left to do and is let go (joining here could block inside thread exit).
DriverState::~DriverState() {
  if (mThread.joinable()) mThread.detach();
}

std::shared_ptr<DriverState> ThisThreadState() {
  // Module-level values, one set per creating thread: they outlive the
  // objects, as the host's apartment does.
  thread_local std::shared_ptr<DriverState> state = std::make_shared<DriverState>();
  return state;
}

}  // namespace driver

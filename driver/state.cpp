#include "driver/state.h"

#include <map>

#include "platform/system.h"

namespace driver {
namespace {

// The live states by creating thread. An entry outlives its state only
// between the last release and the deleter, which removes it.
struct StateRegistry {
  struct Entry {
    const DriverState* state = nullptr;
    std::weak_ptr<DriverState> shared;
  };
  std::mutex mutex;
  std::map<std::uint64_t, Entry> states;
};

StateRegistry& Registry() {
  static StateRegistry registry;
  return registry;
}

std::atomic<int> g_live_states{0};

void FreeState(std::uint64_t thread, DriverState* state) {
  {
    auto& registry = Registry();
    std::lock_guard lock(registry.mutex);
    const auto found = registry.states.find(thread);
    if (found != registry.states.end() && found->second.state == state) registry.states.erase(found);
  }
  delete state;
  g_live_states.fetch_sub(1);
}

}  // namespace

// The worker keeps its state alive, so the state can only go away once the
// worker is done with it; a thread object still joinable then has nothing
// left to do and is let go.
DriverState::~DriverState() {
  if (mThread.joinable()) mThread.detach();
}

std::shared_ptr<DriverState> ThisThreadState() {
  const std::uint64_t thread = platform::CurrentThreadId();
  auto& registry = Registry();
  {
    std::lock_guard lock(registry.mutex);
    const auto found = registry.states.find(thread);
    if (found != registry.states.end()) {
      if (auto state = found->second.shared.lock()) return state;
    }
  }
  // Only this thread makes states for itself, so none can appear meanwhile.
  auto* created = new DriverState;
  g_live_states.fetch_add(1);
  std::shared_ptr<DriverState> state(created, [thread](DriverState* s) { FreeState(thread, s); });
  std::lock_guard lock(registry.mutex);
  registry.states[thread] = {created, state};
  return state;
}

int LiveStates() { return g_live_states.load(); }

}  // namespace driver

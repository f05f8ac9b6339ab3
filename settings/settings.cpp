#include "settings/settings.h"

namespace settings {

void InitSettings(SettingsState& state, std::string& instance_name, const std::string& name) {
  if (instance_name.empty()) instance_name = name;
  state.mRegistryKey = std::string(kSettingsRoot) + kDriverFamily + "\\" + name;
  if (!state.mRegistry) state.mRegistry = std::make_unique<cRegistry>();
  cRegistry& registry = *state.mRegistry;
  registry.SetRootKey(kCurrentUser);
  registry.SetSectionKey(state.mRegistryKey);
  // A key that could be neither opened nor created leaves the accessor at its
  // old position, whose default value is not ours to read or replace.
  if (registry.RootKey() != kCurrentUser || registry.SectionKey() != state.mRegistryKey) return;
  if (registry.Value("") != name) registry.WriteString("", name);
}

void RunSettingsStep(SettingsState& state, std::string& instance_name, const std::string& name) noexcept {
  try {
    InitSettings(state, instance_name, name);
  } catch (...) {  // construction never fails on account of the settings
  }
}

}  // namespace settings

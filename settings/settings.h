// The driver's settings step: each driver instance owns the key
// HKEY_CURRENT_USER\Software\Kvel\ADC\NI\<instance name>, whose default value
// holds the instance name. The driver reads and writes nothing else there.
// Elsewhere there is no registry: the step does nothing.
//
// Errors: cRegistry records the last system code and answers with neutral
// values (the boundary's style); the settings step swallows every failure,
// so that a driver object's construction never fails on its account.
#pragma once

#include <memory>
#include <string>

#include "settings/registry.h"

namespace settings {

// Path of the driver family's keys below HKEY_CURRENT_USER.
inline constexpr char kSettingsRoot[] = "Software\\Kvel\\ADC";
inline constexpr char kDriverFamily[] = "\\NI";

// Kept with the driver state and shared like it by the driver objects of one
// creating thread.
struct SettingsState {
  // Created by the first InitSettings call and reused by later ones.
  std::unique_ptr<cRegistry> mRegistry;
  // The instance's key below HKEY_CURRENT_USER.
  std::string mRegistryKey;
};

// Makes sure the instance's key exists (creating missing parents) and that
// its default value is `name` as REG_SZ, writing only when the stored text
// differs. `instance_name` (the driver's) takes `name` when it is empty.
// Registry failures are ignored; when the key can be neither opened nor
// created no other key is read or written.
void InitSettings(SettingsState& state, std::string& instance_name, const std::string& name);

// The settings step of a driver object's construction: InitSettings on
// Windows, nothing elsewhere. Never throws.
void RunSettingsStep(SettingsState& state, std::string& instance_name, const std::string& name) noexcept;

}  // namespace settings

// Without a registry the settings step has nothing to do.
#include "settings/settings.h"

namespace settings {

void RunSettingsStep(SettingsState&, std::string&, const std::string&) noexcept {}

}  // namespace settings

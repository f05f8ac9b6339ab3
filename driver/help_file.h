// Where the driver's help file is: the first "NI*.chm" beside the driver.
#pragma once

#include <string>

namespace driver {

// The full path of the first plain file in `folder` whose name matches
// NI*.chm (letter case ignored, as Windows does), or "" when there is none.
std::string FindHelpFile(const std::string& folder);

}  // namespace driver

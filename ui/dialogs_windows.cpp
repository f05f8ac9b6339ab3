#include "ui/dialogs.h"

#include "driver/ni_daqmx_task.h"
#include "ui/setup_dialog.h"
#include "ui/task_dialog.h"

namespace ui {

void InstallDialogs() {
  driver::SetPlatformChooser(&SelectDevice);
  driver::SetSetupDialog(&ShowSetupDialog);
}

}  // namespace ui

// The creatable class NI_DAQmx_Task: the driver object behind the host's
// IADC3 interface and the class's own default interface.
#pragma once

#include <windows.h>

namespace com {

// A new driver object, returned as the interface `iid`.
HRESULT CreateTaskObject(REFIID iid, void** object);

}  // namespace com

// The live task handles. A handle that was never given out, or whose task was
// cleared, finds nothing (-200088 to the caller); handles are never reused.
#pragma once

#include <memory>

#include "sim/task.h"

namespace sim {

// Null when a task of the same name is loaded already (-200089).
daqmx::TaskHandle AddTask(std::shared_ptr<Task> task);
std::shared_ptr<Task> FindTask(daqmx::TaskHandle handle);
// Forgets the handle; the caller clears the task it gets back.
std::shared_ptr<Task> RemoveTask(daqmx::TaskHandle handle);

}  // namespace sim

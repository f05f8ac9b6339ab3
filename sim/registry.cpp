#include "sim/registry.h"

#include <cstdint>
#include <map>
#include <mutex>

#include "sim/ini.h"

namespace sim {
namespace {

std::mutex g_mutex;
std::map<std::uintptr_t, std::shared_ptr<Task>> g_tasks;
std::uintptr_t g_next = 1;

}  // namespace

daqmx::TaskHandle AddTask(std::shared_ptr<Task> task) {
  const std::lock_guard lock(g_mutex);
  for (const auto& [id, loaded] : g_tasks) {
    if (EqualsNoCase(loaded->Config().name, task->Config().name)) return nullptr;
  }
  const std::uintptr_t id = g_next++;
  g_tasks.emplace(id, std::move(task));
  return reinterpret_cast<daqmx::TaskHandle>(id);
}

std::shared_ptr<Task> FindTask(daqmx::TaskHandle handle) {
  const std::lock_guard lock(g_mutex);
  const auto found = g_tasks.find(reinterpret_cast<std::uintptr_t>(handle));
  return found == g_tasks.end() ? nullptr : found->second;
}

std::shared_ptr<Task> RemoveTask(daqmx::TaskHandle handle) {
  const std::lock_guard lock(g_mutex);
  const auto found = g_tasks.find(reinterpret_cast<std::uintptr_t>(handle));
  if (found == g_tasks.end()) return nullptr;
  auto task = std::move(found->second);
  g_tasks.erase(found);
  return task;
}

}  // namespace sim

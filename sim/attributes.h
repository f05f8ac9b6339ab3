// NI-DAQmx's generic attribute functions (DAQmxGet/Set...Attribute): every
// attribute the simulator knows, by group and NI's ID, with its value type.
// Texts and arrays follow NI's size-query convention: size 0 returns the size
// needed; a text that does not fit is truncated with warning 200026, an array
// that does not fit gets -200234. Unknown IDs, and attributes that do not apply
// to a channel, give -200452.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "sim/config.h"

namespace sim {

class Task;

enum class AttributeGroup { kSystem, kTask, kChannel, kTiming, kRead, kBuffer, kDevice, kPhysicalChannel, kPersistedTask };

// The alternatives in the order of ValueType; bool32 travels as uInt32.
using Value = std::variant<int32, uInt32, uInt64, float64, std::string, std::vector<float64>, std::vector<int32>>;
enum class ValueType { kInt32, kUInt32, kUInt64, kFloat64, kString, kFloat64Array, kInt32Array };

// Texts and arrays take a size argument after the value pointer.
inline bool Sized(ValueType type) { return type >= ValueType::kString; }

// What the attribute is asked of: a task (and a channel list), or a name
// (device, physical channel, saved task).
struct AttributeTarget {
  Task* task = nullptr;
  std::string name;
};

// The attribute's type, or nothing when the group has no attribute `id`.
std::optional<ValueType> AttributeType(AttributeGroup group, int32 id);
// Status recorded; `value` receives the value as NI's getters do.
int32 GetAttribute(AttributeGroup group, const AttributeTarget& target, int32 id, void* value, uInt32 size);
int32 SetAttribute(AttributeGroup group, const AttributeTarget& target, int32 id, const Value& value);

}  // namespace sim

#include "sim/errors.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/system.h"

namespace sim {
namespace {

namespace st = daqmx::status;

struct Message {
  int32 code;
  std::string_view text;
};

constexpr Message kMessages[] = {
    {st::kInvalidAttributeValue,
     "Requested value is not a supported value for this property. The property value may be invalid because it "
     "conflicts with another property."},
    {st::kInvalidTask, "Task specified is invalid or does not exist."},
    {st::kTaskNameConflict, "Task name specified conflicts with an existing task name."},
    {st::kPhysicalChannelDoesNotExist,
     "Physical channel specified does not exist on this device.\n\nRefer to the documentation for channels "
     "available on this device."},
    {st::kInvalidDeviceId, "Device identifier is invalid."},
    {st::kBufferTooSmallForString, "Buffer is too small to fit the string."},
    {st::kReadBufferTooSmall, "Buffer is too small to fit read data."},
    {st::kSamplesWillNeverBeAvailable,
     "Attempted to read a sample beyond the final sample acquired. The acquisition has stopped, therefore the "
     "sample specified by the combination of position and offset will never be available.\n\nSpecify a position "
     "and offset which selects a sample up to, but not beyond, the final sample acquired. The final sample "
     "acquired can be determined by querying the total samples acquired after an acquisition has stopped."},
    {st::kSamplesNoLongerAvailable,
     "Attempted to read samples that are no longer available. The requested sample was previously available, but "
     "has since been overwritten.\n\nIncreasing the buffer size, reading the data more frequently, or specifying a "
     "fixed number of samples to read instead of reading all available samples might correct the problem."},
    {st::kSamplesNotYetAvailable,
     "Some or all of the samples requested have not yet been acquired.\n\nTo wait for the samples to become "
     "available use a longer read timeout or read later in your program. To make the samples available sooner, "
     "increase the sample rate. If your task uses a start trigger, make sure that your start trigger is configured "
     "correctly. It is also possible that you configured the task for external timing, and no clock was supplied. "
     "If this is the case, supply an external clock."},
    {st::kDeviceAbsent,
     "Specified device is not present or is not active in the system. The device may not be installed on this "
     "system, may have been unplugged, or may not be installed correctly."},
    {st::kOnboardMemoryOverflow,
     "Onboard device memory overflow. Because of system and/or bus-bandwidth limitations, the driver could not "
     "read data from the device fast enough to keep up with the device throughput.\n\nReduce your sample rate. If "
     "your data transfer method is interrupts, try using DMA or USB Bulk. You can also use a product with more "
     "onboard memory or reduce the number of programs your computer is executing concurrently."},
    {st::kAttributeNotSupported,
     "Specified property is not supported by the device or is not applicable to the task."},
    {st::kReadNotRunningNoAutoStart,
     "Read cannot be performed when the auto start input to DAQmx Read is false, task is not running, and timing "
     "is hardware-timed or buffered.\n\nStart the task before reading samples, or set auto start to true."},
    {st::kOperationTimedOut, "Specified operation did not complete, because the specified timeout expired."},
    {st::kNoChannelsInTask, "Specified operation cannot be performed when there are no channels in the task."},
    {st::kTaskCannotBeLoaded, "The specified task cannot be loaded, because it is not a valid task."},
    {st::kChannelNotInTask, "Specified channel is not in the task."},
    {st::kDeviceCannotBeAccessed,
     "Device cannot be accessed. Possible causes:\n\nDevice is no longer present in the system.\nDevice is not "
     "powered.\nDevice is powered, but was temporarily without power.\nDevice and/or chassis driver support may "
     "have been removed.\nDevice is damaged.\n\nEnsure the device is properly connected and powered. Turn the "
     "computer off and on again. If you suspect that the device is damaged, contact National Instruments at "
     "ni.com/support."},
    {st::kResourceReserved, "The specified resource is reserved. The operation could not be completed as specified."},
    {st::kWarningStoppedBeforeDone,
     "Finite acquisition or generation has been stopped before the requested number of samples were acquired or "
     "generated."},
    {st::kWarningStringTruncated, "Output string was truncated to fit the buffer."},
    {status::kMemoryFull, "The requested memory could not be allocated."},
    {status::kConfigInvalid, "The NI-DAQmx simulator's configuration file is not valid."},
    {status::kConfigUnreadable, "The NI-DAQmx simulator's configuration file could not be read."},
    {status::kInternalError, "The NI-DAQmx simulator failed unexpectedly."},
};

constexpr std::string_view kUnknownCode =
    "Error code could not be found.\n\nReinstalling the driver might fix the issue. Otherwise, contact National "
    "Instruments technical support.";

struct LastError {
  int32 code = 0;
  std::string details;
};

// NI keeps the extended information per thread: a worker's failed read does
// not overwrite what the host thread is about to report.
#ifdef _WIN32
// Not a thread_local: Windows would run its destructor when the thread ends,
// even after a host unloaded this library, and the thread would never end.
// The entry goes when its thread ends (ForgetThread, from DllMain).
std::mutex g_errors_mutex;
std::unordered_map<std::uint64_t, LastError> g_errors;

void SetLast(LastError error) {
  const std::lock_guard lock(g_errors_mutex);
  g_errors[platform::CurrentThreadId()] = std::move(error);
}

LastError Last() {
  const std::lock_guard lock(g_errors_mutex);
  const auto found = g_errors.find(platform::CurrentThreadId());
  return found == g_errors.end() ? LastError{} : found->second;
}
#else
// Static TLS: the library is loaded at run time, and LeakSanitizer cannot
// walk the dynamic TLS blocks of such a library.
__attribute__((tls_model("initial-exec"))) thread_local LastError t_last_error;

void SetLast(LastError error) { t_last_error = std::move(error); }
LastError Last() { return t_last_error; }
#endif

std::mutex g_config_mutex;
std::string g_config_problem;

std::string Description(int32 code) {
  if (code == 0) return {};
  const auto found = std::find_if(std::begin(kMessages), std::end(kMessages),
                                  [code](const Message& message) { return message.code == code; });
  return std::string(found == std::end(kMessages) ? kUnknownCode : found->text);
}

}  // namespace

std::string ErrorText(int32 code) {
  std::string text = Description(code);
  if (code == status::kConfigInvalid || code == status::kConfigUnreadable) {
    const std::lock_guard lock(g_config_mutex);
    if (!g_config_problem.empty()) text += "\n\n" + g_config_problem;
  }
  return text;
}

int32 Fail(int32 code, std::string details) {
  SetLast(LastError{code, std::move(details)});
  return code;
}

#ifdef _WIN32
void ForgetThread() {
  const std::lock_guard lock(g_errors_mutex);
  g_errors.erase(platform::CurrentThreadId());
}
#endif

std::string ExtendedErrorInfo() {
  const LastError last = Last();
  if (last.code == 0) return {};
  // The details say what went wrong for this thread; the configuration problem is among them.
  std::string text = Description(last.code);
  if (!last.details.empty()) text += "\n\n" + last.details;
  return text + "\n\nStatus Code: " + std::to_string(last.code);
}

void SetConfigProblem(std::string problem) {
  const std::lock_guard lock(g_config_mutex);
  g_config_problem = std::move(problem);
}

int32 CopyText(std::string_view text, char* buffer, uInt32 size) {
  const auto needed = static_cast<uInt32>(text.empty() ? 0 : text.size() + 1);
  if (buffer == nullptr || size == 0) return static_cast<int32>(needed);
  if (size >= text.size() + 1) {
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return 0;
  }
  std::memcpy(buffer, text.data(), size - 1);
  buffer[size - 1] = '\0';
  return daqmx::status::kWarningStringTruncated;
}

}  // namespace sim

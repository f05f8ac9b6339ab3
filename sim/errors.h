// Status texts as NI-DAQmx words them, the per-thread "last error" behind
// DAQmxGetExtendedErrorInfo, and the size-query convention of text getters.
#pragma once

#include <string>
#include <string_view>

#include "daqmx/api.h"

namespace sim {

using daqmx::int32;
using daqmx::uInt32;

// Codes the simulator produces beyond those daqmx/api.h names.
namespace status {
inline constexpr int32 kMemoryFull = -50352;
// The simulator's own, outside NI's ranges: the configuration file could not
// be used (malformed), or could not be opened.
inline constexpr int32 kConfigInvalid = -250001;
inline constexpr int32 kConfigUnreadable = -250002;
// An unexpected failure inside the simulator (a bug); never a crash of the host.
inline constexpr int32 kInternalError = -250003;
}  // namespace status

// NI's description of `code`; for the configuration codes, also the problem
// with the current configuration file ("file:line: problem").
std::string ErrorText(int32 code);

// Records the error (or warning) for the calling thread and returns `code`.
int32 Fail(int32 code, std::string details = {});
// The calling thread's last error with its details, empty when there was none.
std::string ExtendedErrorInfo();
#ifdef _WIN32
// Drops the calling thread's last error; called as the thread ends.
void ForgetThread();
#endif

// Remembered for ErrorText of the configuration codes.
void SetConfigProblem(std::string problem);

// NI's text-query convention: null buffer and size 0 return the size needed
// (terminating NUL included; 0 for an empty text); a buffer that is too small
// gets size-1 characters and NUL, and warning 200026 (not recorded here).
int32 CopyText(std::string_view text, char* buffer, uInt32 size);

}  // namespace sim

// The small seam between portable code and the operating system: loading
// shared libraries, the environment, the ANSI code page and module paths.
// Portable code includes this header, never windows.h or dlfcn.h.
//
// Errors in this layer: a result (null, empty, false) with the system's
// reason in an out-parameter where the caller reports it; nothing throws.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A shared library loaded by full path (or from the system folder), unloaded
// when the object goes away.
class SharedLibrary {
 public:
  virtual ~SharedLibrary() = default;
  virtual void* Symbol(const char* name) const = 0;
};

// Loads the library at an absolute path. On failure returns null and sets
// `error` to the system's reason.
std::unique_ptr<SharedLibrary> LoadLibraryAt(const std::string& path_utf8, std::string& error);

// Windows: loads `file_name` from the system folder only, never from the
// current folder or PATH. Elsewhere: the dynamic loader's own search.
std::unique_ptr<SharedLibrary> LoadSystemLibrary(const std::string& file_name, std::string& error);

// Windows: the system folder (for messages). Elsewhere: empty.
std::string SystemFolder();

std::optional<std::string> GetEnv(const char* name);
// Sets (or, with no value, removes) a variable of this process's environment.
void SetEnv(const char* name, const std::optional<std::string>& value);

// Text conversion at the boundary of 8-bit APIs (NI-DAQmx, registry): UTF-8
// inside, the system ANSI code page outside. Identity where the system
// speaks UTF-8.
std::string ToSystemAnsi(std::string_view utf8);
std::string FromSystemAnsi(std::string_view ansi);

// The decimal separator of the user's locale ("," where numbers are written 0,5).
std::string DecimalSeparator();

// True when standard input and standard error are an interactive terminal.
bool HasInteractiveTerminal();

// The operating system's number of the calling thread. Asked of the system
// itself, so that no per-thread record of a runtime library is made for it.
std::uint64_t CurrentThreadId();

// Full path of the module (executable or DLL) that contains this code.
std::string ThisModulePath();
// Folder part of a path, without the trailing separator.
std::string FolderOf(const std::string& path);

// The full path of the first plain file in `folder`, in the system's
// directory order, whose name `wanted` accepts; "" when there is none. Plain:
// no folder, no hidden file (on Windows also no system file; elsewhere hidden
// means a name starting with ".").
std::string FirstPlainFile(const std::string& folder, const std::function<bool(const std::string& name)>& wanted);

}  // namespace platform

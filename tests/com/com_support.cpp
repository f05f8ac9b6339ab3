#include "tests/com/com_support.h"

#include <atomic>
#include <filesystem>

namespace comtest {

std::wstring TestFolder() {
  wchar_t path[MAX_PATH] = {};
  const std::wstring file(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  return file.substr(0, file.find_last_of(L'\\'));
}

// The child writes into a file, which, unlike an unread pipe, never blocks it.
// We read it back through our own handle: processes the child starts may
// inherit the file and keep it open, so it goes when the last handle closes.
ProcessResult RunProcess(const std::wstring& command_line, DWORD timeout_ms) {
  static std::atomic<int> runs{0};
  ProcessResult result;
  const auto file = std::filesystem::temp_directory_path() /
                    ("niadc-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(runs++));
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE output = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit, CREATE_ALWAYS,
                              FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = output;
  PROCESS_INFORMATION process{};
  std::wstring command = command_line;
  EXPECT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                             &process));
  result.finished = WaitForSingleObject(process.hProcess, timeout_ms) == WAIT_OBJECT_0;
  if (!result.finished) TerminateProcess(process.hProcess, 99);
  GetExitCodeProcess(process.hProcess, &result.exit_code);
  char buffer[4096];
  DWORD got = 0;
  SetFilePointer(output, 0, nullptr, FILE_BEGIN);
  while (ReadFile(output, buffer, sizeof buffer, &got, nullptr) && got > 0) result.output.append(buffer, got);
  for (HANDLE handle : {process.hThread, process.hProcess, output}) CloseHandle(handle);
  return result;
}

}  // namespace comtest

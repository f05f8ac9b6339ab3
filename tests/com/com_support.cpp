#include "tests/com/com_support.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace comtest {

std::wstring TestFolder() {
  wchar_t path[MAX_PATH] = {};
  const std::wstring file(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  return file.substr(0, file.find_last_of(L'\\'));
}

// The child writes into a file, which, unlike an unread pipe, never blocks it.
ProcessResult RunProcess(const std::wstring& command_line, DWORD timeout_ms) {
  ProcessResult result;
  const auto file = std::filesystem::temp_directory_path() / ("niadc-" + std::to_string(GetCurrentProcessId()));
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE output = CreateFileW(file.c_str(), GENERIC_WRITE, 0, &inherit, CREATE_ALWAYS, 0, nullptr);
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
  for (HANDLE handle : {process.hThread, process.hProcess, output}) CloseHandle(handle);
  result.output.assign(std::istreambuf_iterator<char>(std::ifstream(file, std::ios::binary).rdbuf()), {});
  std::filesystem::remove(file);
  return result;
}

}  // namespace comtest

// Helpers for the COM server tests: NI.adc beside the tests, loaded or
// registered for the machine; COM on the test's thread; child processes.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>

namespace comtest {

// Folder of the test executable, where NI.adc is too.
std::wstring TestFolder();

// NI.adc loaded into the test process while the object lives.
class ServerModule {
 public:
  ServerModule() : module_(LoadLibraryW((TestFolder() + L"\\NI.adc").c_str())) { EXPECT_NE(module_, nullptr); }
  ~ServerModule() { FreeLibrary(module_); }
  ServerModule(const ServerModule&) = delete;
  ServerModule& operator=(const ServerModule&) = delete;

  // Calls the exported function `name` with `args`; E_NOTIMPL without it.
  template <typename... Args>
  HRESULT Call(const char* name, Args... args) const {
    void* entry = module_ != nullptr ? reinterpret_cast<void*>(GetProcAddress(module_, name)) : nullptr;
    return entry != nullptr ? reinterpret_cast<HRESULT(STDAPICALLTYPE*)(Args...)>(entry)(args...) : E_NOTIMPL;
  }

 private:
  HMODULE module_;
};

// The server registered for the machine while the object lives: Wine looks up machine classes only.
struct MachineRegistration {
  MachineRegistration() { EXPECT_EQ(ServerModule().Call("DllRegisterServer"), S_OK); }
  ~MachineRegistration() { EXPECT_EQ(ServerModule().Call("DllUnregisterServer"), S_OK); }
};

// A single-threaded apartment for the test's thread.
class Apartment {
 public:
  Apartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  ~Apartment() { CoUninitialize(); }
};

struct ProcessResult {
  DWORD exit_code = 0;
  std::string output;  // standard output and error together
  bool finished = false;
};
// Runs a command line with this process's environment for up to `timeout_ms`.
ProcessResult RunProcess(const std::wstring& command_line, DWORD timeout_ms);

}  // namespace comtest

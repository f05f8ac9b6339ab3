// Helpers for the COM server tests: NI.adc beside the tests, loaded or
// registered for the machine; COM on the test's thread; child processes.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>

namespace comtest {

// Folder of the test executable, and NI.adc in it.
std::wstring TestFolder();
std::wstring ServerPath();

// NI.adc loaded into the test process while the object lives.
class ServerModule {
 public:
  ServerModule() : module_(LoadLibraryW(ServerPath().c_str())) { EXPECT_NE(module_, nullptr) << "NI.adc not loaded"; }
  ~ServerModule() { FreeLibrary(module_); }
  ServerModule(const ServerModule&) = delete;
  ServerModule& operator=(const ServerModule&) = delete;

  // Calls the exported function `name`, which takes `Args`; E_NOTIMPL without it.
  template <typename... Args>
  HRESULT Call(const char* name, Args... args) const {
    void* entry = module_ != nullptr ? reinterpret_cast<void*>(GetProcAddress(module_, name)) : nullptr;
    return entry != nullptr ? reinterpret_cast<HRESULT(STDAPICALLTYPE*)(Args...)>(entry)(args...) : E_NOTIMPL;
  }

 private:
  HMODULE module_;
};

// The server registered for the whole machine (of the test's Wine prefix)
// while the object lives. Wine looks classes up in the machine's classes only.
struct MachineRegistration : ServerModule {
  MachineRegistration() { EXPECT_EQ(Call("DllRegisterServer"), S_OK); }
  ~MachineRegistration() { EXPECT_EQ(Call("DllUnregisterServer"), S_OK); }
};

// A single-threaded apartment for the test's thread.
class Apartment {
 public:
  Apartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  ~Apartment() { CoUninitialize(); }
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;
};

struct ProcessResult {
  DWORD exit_code = 0;
  std::string output;  // standard output and error together
  bool finished = false;
};
// Runs a command line with this process's environment and waits up to
// `timeout_ms` for it.
ProcessResult RunProcess(const std::wstring& command_line, DWORD timeout_ms);

}  // namespace comtest

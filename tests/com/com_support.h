// Helpers for the COM server tests: the server file beside the tests, loaded
// as a module; a scratch classes root; machine-wide registration for the
// length of a test; COM on the test's thread; child processes.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <string>

namespace comtest {

// Full path of NI.adc in the test executable's folder.
std::wstring ServerPath();
// Folder of the test executable.
std::wstring TestFolder();

// NI.adc loaded into the test process, with its exported entry points.
class ServerModule {
 public:
  ServerModule();
  ~ServerModule();
  ServerModule(const ServerModule&) = delete;
  ServerModule& operator=(const ServerModule&) = delete;

  HRESULT Register() const;
  HRESULT Unregister() const;
  HRESULT Install(bool install, const wchar_t* command_line) const;
  HRESULT CanUnloadNow() const;
  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) const;

 private:
  void* Entry(const char* name) const;
  HMODULE module_;
};

// Redirects HKEY_CLASSES_ROOT (and, for per-user registration,
// HKEY_CURRENT_USER) of this process to fresh scratch keys, removed again
// afterwards.
class ScratchRegistry {
 public:
  explicit ScratchRegistry(bool redirect_user);
  ~ScratchRegistry();
  ScratchRegistry(const ScratchRegistry&) = delete;
  ScratchRegistry& operator=(const ScratchRegistry&) = delete;

 private:
  std::wstring base_;
  bool redirect_user_;
};

// The server registered for the whole machine (of the test's Wine prefix)
// while the object lives. Wine looks classes up in the machine's classes only.
class MachineRegistration {
 public:
  MachineRegistration();
  ~MachineRegistration();
  MachineRegistration(const MachineRegistration&) = delete;
  MachineRegistration& operator=(const MachineRegistration&) = delete;

 private:
  ServerModule server_;
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

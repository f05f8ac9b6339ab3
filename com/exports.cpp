// The server's exported entry points.
#include <windows.h>

#include <cwchar>

#include "NI.h"
#include "com/class_factory.h"
#include "com/module.h"
#include "com/registration.h"
#include "com/task_object.h"

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    com::SetThisModule(instance);
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (clsid != CLSID_NI_DAQmx_Task) return CLASS_E_CLASSNOTAVAILABLE;
  return com::CreateClassFactory(com::CreateTaskObject, iid, object);
}

STDAPI DllCanUnloadNow() { return com::CanUnload() ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() { return com::RegisterServer(com::Scope::Machine); }

STDAPI DllUnregisterServer() { return com::UnregisterServer(com::Scope::Machine); }

// regsvr32 /i:user NI.adc (and /u /i:user) registers for the current user only.
STDAPI DllInstall(BOOL install, PCWSTR command_line) {
  const bool user = command_line != nullptr && _wcsicmp(command_line, L"user") == 0;
  const auto scope = user ? com::Scope::User : com::Scope::Machine;
  return install ? com::RegisterServer(scope) : com::UnregisterServer(scope);
}

}  // extern "C"

// The library's entry point on Windows: per-thread errors end with their threads.
#include <windows.h>

#include "sim/errors.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_THREAD_DETACH) sim::ForgetThread();
  return TRUE;
}

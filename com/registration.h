// Self-registration of the server: the class, its ProgIDs, the type library
// and the default interface, for the whole machine (HKEY_CLASSES_ROOT) or for
// the current user only (HKEY_CURRENT_USER\Software\Classes, no
// administrator rights needed).
#pragma once

#include <windows.h>

namespace com {

enum class Scope { Machine, User };

// Writes every key; on failure removes what it wrote. The host's own IADC3
// interface registration is never overwritten: IADC3 is registered with our
// type library only where nothing registers it yet.
HRESULT RegisterServer(Scope scope);
// Removes what RegisterServer writes; keys already gone are no error, so
// unregistering twice succeeds. IADC3 is removed only when it names our
// type library.
HRESULT UnregisterServer(Scope scope);

}  // namespace com

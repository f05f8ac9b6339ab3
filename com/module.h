// The server module: its handle, the count of live objects and
// server locks that decides unloading, and its own type library.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

namespace com {

void SetThisModule(HMODULE module);
HMODULE ThisModule();

// Objects (driver objects and class factories) and IClassFactory::LockServer.
void AddObject();
void RemoveObject();
void LockServer(bool lock);
// No object, no lock, no acquisition worker and no driver state is left.
// Also lets go of the type library once nothing can use it any more.
bool CanUnload();

// The type information of an interface of our type library, loaded from this
// module's own resource: the dispatch view (for clients) and the vtable view
// (for ITypeInfo::Invoke, which then calls the vtable directly).
HRESULT DispatchTypeInfo(REFIID iid, ITypeInfo** info);
HRESULT VtableTypeInfo(REFIID iid, ITypeInfo** info);

}  // namespace com

// One class factory for every creatable class of the server: it holds the
// function that makes an instance.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace com {

// Makes a new object and returns the interface `iid` of it.
using Creator = HRESULT (*)(REFIID iid, void** object);

// A new factory for `create`, returned as the interface `iid`.
HRESULT CreateClassFactory(Creator create, REFIID iid, void** factory);

}  // namespace com

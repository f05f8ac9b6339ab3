#include "com/module.h"

#include <atomic>
#include <mutex>

#include "com/raii.h"
#include "driver/engine.h"
#include "platform/system.h"
#include "platform/windows.h"
#include "driver/state.h"

namespace com {
namespace {

HMODULE g_module = nullptr;
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};

struct TypeLibraryCache {
  std::mutex mutex;
  ComRef<ITypeLib> library;
};

TypeLibraryCache& Cache() {
  static TypeLibraryCache cache;
  return cache;
}

HRESULT LoadLibraryInfo(REFIID iid, ITypeInfo** info) {
  auto& cache = Cache();
  std::lock_guard lock(cache.mutex);
  if (!cache.library) {
    if (HRESULT hr = LoadTypeLibEx(platform::Widen(platform::ThisModulePath()).c_str(), REGKIND_NONE, cache.library.put()); FAILED(hr)) {
      return hr;
    }
  }
  return cache.library->GetTypeInfoOfGuid(iid, info);
}

}  // namespace

void SetThisModule(HMODULE module) { g_module = module; }
HMODULE ThisModule() { return g_module; }

void AddObject() { ++g_objects; }
void RemoveObject() { --g_objects; }
void LockServer(bool lock) { lock ? ++g_locks : --g_locks; }

bool CanUnload() {
  if (g_objects.load() != 0 || g_locks.load() != 0 || driver::LiveWorkers() != 0 || driver::LiveStates() != 0) {
    return false;
  }
  auto& cache = Cache();
  std::lock_guard lock(cache.mutex);
  cache.library.reset();
  return true;
}

HRESULT DispatchTypeInfo(REFIID iid, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  return LoadLibraryInfo(iid, info);
}

HRESULT VtableTypeInfo(REFIID iid, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  ComRef<ITypeInfo> dispatch;
  if (HRESULT hr = LoadLibraryInfo(iid, dispatch.put()); FAILED(hr)) return hr;
  // A dual interface is described twice; -1 names its vtable description.
  HREFTYPE vtable = 0;
  if (FAILED(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtable))) {
    *info = dispatch.get();
    (*info)->AddRef();
    return S_OK;
  }
  return dispatch->GetRefTypeInfo(vtable, info);
}

}  // namespace com

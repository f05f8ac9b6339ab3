// What every COM class of the server shares: reference counting, the count
// of live objects that decides unloading, QueryInterface, and one way to make
// an object. An object is made only by Create and destroyed only by its last
// Release: the destructor is private.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <utility>

#include "com/module.h"

namespace com {

// Counted first and uncounted last: the server stays loaded until an object
// has finished its own clean-up.
struct ModuleObject {
  ModuleObject() { AddObject(); }
  ~ModuleObject() { RemoveObject(); }
  ModuleObject(const ModuleObject&) = delete;
  ModuleObject& operator=(const ModuleObject&) = delete;
};

// `Impl` implements its interfaces except IUnknown, and names them with
// `void* Interface(REFIID iid)`: the interface pointer, or null.
template <class Impl>
class ComObject final : private ModuleObject, public Impl {
 public:
  // A new object, returned as the interface `iid`.
  template <class... Args>
  static HRESULT Create(REFIID iid, void** object, Args&&... args) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    ComObject* created = nullptr;
    try {
      created = new ComObject(std::forward<Args>(args)...);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    const HRESULT hr = created->QueryInterface(iid, object);
    created->Release();
    return hr;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = Impl::Interface(iid);
    if (*object == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 private:
  template <class... Args>
  explicit ComObject(Args&&... args) : Impl(std::forward<Args>(args)...) {}
  ~ComObject() = default;

  std::atomic<ULONG> references_{1};
};

}  // namespace com

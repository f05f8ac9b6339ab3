#include "com/class_factory.h"

#include "com/object.h"

namespace com {
namespace {

// COM objects delete themselves in Release, never through an interface
// pointer, and interfaces have no virtual destructor by design.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class ClassFactory : public IClassFactory {
 public:
  explicit ClassFactory(Creator create) : create_(create) {}
  ClassFactory(const ClassFactory&) = delete;
  ClassFactory& operator=(const ClassFactory&) = delete;

  void* Interface(REFIID iid) {
    return iid == IID_IUnknown || iid == IID_IClassFactory ? static_cast<IClassFactory*>(this) : nullptr;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return create_(iid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    com::LockServer(lock != FALSE);
    return S_OK;
  }

 protected:
  virtual ~ClassFactory() = default;

 private:
  Creator create_;
};
#pragma GCC diagnostic pop

}  // namespace

HRESULT CreateClassFactory(Creator create, REFIID iid, void** factory) {
  return ComObject<ClassFactory>::Create(iid, factory, create);
}

}  // namespace com

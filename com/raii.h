// Small owners for Win32 and automation resources (registry keys, BSTRs,
// safe arrays, interface pointers, loaded modules), and the text conversion
// between the driver's UTF-8 and automation strings.
//
// Errors in this layer: every COM entry point answers with an HRESULT and
// catches whatever the code below throws; the driver's own failures reach
// the host as its LastError text, never as COM errors.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>
#include <utility>

namespace com {

// An HRESULT for a Win32 status code (LSTATUS, GetLastError).
inline HRESULT FromWin32(LSTATUS status) { return HRESULT_FROM_WIN32(static_cast<DWORD>(status)); }

// Owns a handle and closes it with `Close` unless it is null.
template <class Handle, auto Close>
class Owned {
 public:
  Owned() = default;
  explicit Owned(Handle handle) : handle_(handle) {}
  ~Owned() { reset(); }
  Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
  Owned& operator=(Owned&& other) noexcept {
    std::swap(handle_, other.handle_);
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  Handle get() const { return handle_; }
  // For the out-parameter of a Win32 call: drops what was held.
  Handle* put() {
    reset();
    return &handle_;
  }
  Handle release() { return std::exchange(handle_, Handle{}); }
  void reset() {
    if (handle_ != Handle{}) Close(std::exchange(handle_, Handle{}));
  }
  explicit operator bool() const { return handle_ != Handle{}; }

 private:
  Handle handle_{};
};

inline void CloseKey(HKEY key) { RegCloseKey(key); }
inline void FreeBstr(BSTR text) { SysFreeString(text); }
inline void DestroyArray(SAFEARRAY* array) { SafeArrayDestroy(array); }
inline void UnloadModule(HMODULE module) { FreeLibrary(module); }

using RegKey = Owned<HKEY, CloseKey>;
using Bstr = Owned<BSTR, FreeBstr>;
using SafeArray = Owned<SAFEARRAY*, DestroyArray>;
using Module = Owned<HMODULE, UnloadModule>;

// An interface pointer that releases its reference.
template <class T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { reset(); }
  ComRef(const ComRef& other) : p_(other.p_) {
    if (p_ != nullptr) p_->AddRef();
  }
  ComRef& operator=(ComRef other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  void reset() {
    if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
  }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// Gives access to a safe array's elements while it lives.
class ArrayData {
 public:
  explicit ArrayData(SAFEARRAY* array) : array_(array) {
    if (array_ != nullptr && FAILED(SafeArrayAccessData(array_, &data_))) array_ = nullptr;
  }
  ~ArrayData() {
    if (array_ != nullptr) SafeArrayUnaccessData(array_);
  }
  ArrayData(const ArrayData&) = delete;
  ArrayData& operator=(const ArrayData&) = delete;
  template <class T>
  T* As() const {
    return static_cast<T*>(data_);
  }

 private:
  SAFEARRAY* array_;
  void* data_ = nullptr;
};

// A new BSTR holding the text; null only when memory runs out.
BSTR ToBstr(std::string_view utf8);
std::string FromBstr(BSTR text);

}  // namespace com

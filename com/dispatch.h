// Late binding for scripts: IDispatch::Invoke through our own type
// information, with the argument and result conversions that script engines
// need.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <functional>

namespace com {

// Calls member `id` of `itf` for a late-bound client. By-reference variants
// from script variables are coerced in place to the member's parameter type
// (so the variable receives what the member writes); values and references of
// other types go through a converted copy. Arrays in the result come back as
// arrays of VARIANT with the same bounds, which every script engine can index.
HRESULT InvokeThroughTypeInfo(ITypeInfo* vtable_info, void* itf, DISPID id, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* exception, UINT* arg_error);

// Replaces an array of short or BSTR by an array of VARIANT with the same
// bounds; other values are left alone.
HRESULT ToVariantArray(VARIANT& value);

// GetData for a late-bound client. The first argument of a script is one
// variable, not a buffer: the capacity is limited to that one value, or to
// the elements of a one-dimensional array passed in its place.
using FetchFrames = std::function<std::int32_t(std::int16_t* data, std::int32_t& size, std::int32_t& waiting)>;
HRESULT InvokeGetData(DISPPARAMS* params, VARIANT* result, UINT* arg_error, const FetchFrames& fetch);

}  // namespace com

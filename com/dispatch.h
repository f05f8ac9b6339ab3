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

// What a client's safe array holds, judged from its descriptor (element size
// and features) rather than from a type the client may have left out or got
// wrong: codes (16-bit), VARIANTs, or something else (or no data at all).
enum class ArrayElements { Codes, Variants, Other };
ArrayElements ElementsOf(SAFEARRAY* array);
// Elements in all dimensions of a non-null array, at most INT32_MAX.
std::int32_t ElementCount(SAFEARRAY* array);

// GetData for a late-bound client. The first argument is where the codes go:
// an array of codes or of VARIANTs of any shape and bounds (filled in memory
// order, so a 2-D array of channels by frames fills frame by frame), one
// short by reference, or one script variable. Only whole frames that fit
// are taken from the ring. Any other shape, and a null reference anywhere,
// is refused with DISP_E_TYPEMISMATCH (DISP_E_PARAMNOTOPTIONAL for a missing
// argument) and the argument's index, before anything is taken.
using FetchFrames = std::function<std::int32_t(std::int16_t* data, std::int32_t& size, std::int32_t& waiting)>;
HRESULT InvokeGetData(DISPPARAMS* params, VARIANT* result, UINT* arg_error, const FetchFrames& fetch);

}  // namespace com

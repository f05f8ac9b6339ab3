#include "com/dispatch.h"

#include <algorithm>
#include <vector>

#include "com/raii.h"

namespace com {
namespace {

// The value part of a variant, where a by-reference variant points.
void* ValueOf(VARIANT& value) { return &V_UI1(&value); }

VARIANT* Deref(VARIANTARG& arg) {
  return V_VT(&arg) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&arg) != nullptr ? V_VARIANTREF(&arg) : &arg;
}

// The pointed-to type of each parameter before the [out, retval] one, in
// declaration order: VT_I2, VT_I4, VT_R4, or VT_ARRAY | element type.
std::vector<VARTYPE> ParameterTypes(ITypeInfo* info, DISPID id, WORD flags) {
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  TYPEATTR* attr = nullptr;
  std::vector<VARTYPE> types;
  if (FAILED(info->GetTypeAttr(&attr))) return types;
  const WORD count = attr->cFuncs;
  info->ReleaseTypeAttr(attr);
  for (UINT f = 0; f < count && types.empty(); ++f) {
    FUNCDESC* desc = nullptr;
    if (FAILED(info->GetFuncDesc(f, &desc))) continue;
    const bool is_put = desc->invkind == INVOKE_PROPERTYPUT || desc->invkind == INVOKE_PROPERTYPUTREF;
    if (desc->memid == id && is_put == put) {
      for (SHORT p = 0; p < desc->cParams; ++p) {
        const ELEMDESC& param = desc->lprgelemdescParam[p];
        if ((param.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) != 0) break;
        const TYPEDESC& type = param.tdesc;
        VARTYPE base = VT_EMPTY;
        if (type.vt == VT_PTR) base = type.lptdesc->vt;
        if (base == VT_SAFEARRAY) base = VT_ARRAY | type.lptdesc->lptdesc->vt;
        types.push_back(base);
      }
      if (types.empty()) types.push_back(VT_EMPTY);  // found, without arguments
    }
    info->ReleaseFuncDesc(desc);
  }
  return types;
}

// Makes `arg` a reference of exactly the member's parameter type `base`.
HRESULT PrepareArgument(VARIANTARG& arg, VARIANT& copy, VARTYPE base) {
  if (V_VT(&arg) == (VT_BYREF | base)) return S_OK;
  const bool array = (base & VT_ARRAY) != 0;
  if (V_VT(&arg) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&arg) != nullptr && !array) {
    VARIANT* variable = V_VARIANTREF(&arg);
    if (FAILED(VariantChangeType(variable, variable, 0, base))) return DISP_E_TYPEMISMATCH;
    V_VT(&arg) = VT_BYREF | base;
    V_BYREF(&arg) = ValueOf(*variable);
    return S_OK;
  }
  VARIANT* source = Deref(arg);
  if (array) {
    // Only InputChannels takes an array, and the driver ignores it: a table
    // of another element type is passed on as no table.
    V_VT(&copy) = base;
    V_ARRAY(&copy) = nullptr;
    if (V_VT(source) == base || V_VT(source) == (VT_BYREF | base)) VariantCopyInd(&copy, source);
  } else if (FAILED(VariantChangeType(&copy, source, 0, base))) {
    return DISP_E_TYPEMISMATCH;
  }
  V_VT(&arg) = VT_BYREF | base;
  V_BYREF(&arg) = ValueOf(copy);
  return S_OK;
}

void ClearAll(std::vector<VARIANT>& values) {
  for (auto& value : values) VariantClear(&value);
}

HRESULT ReadLong(VARIANTARG& arg, std::int32_t& value) {
  VARIANT converted;
  VariantInit(&converted);
  if (FAILED(VariantChangeType(&converted, Deref(arg), 0, VT_I4))) return DISP_E_TYPEMISMATCH;
  value = V_I4(&converted);
  return S_OK;
}

// Writes back into a by-reference argument; a value passed by value has
// nowhere to go.
void Store(VARIANTARG& arg, VARIANT value) {
  if (V_VT(&arg) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&arg) != nullptr) {
    VariantCopy(V_VARIANTREF(&arg), &value);
  } else if (V_VT(&arg) == (VT_BYREF | VT_I2) && SUCCEEDED(VariantChangeType(&value, &value, 0, VT_I2))) {
    *V_I2REF(&arg) = V_I2(&value);
  } else if (V_VT(&arg) == (VT_BYREF | VT_I4) && SUCCEEDED(VariantChangeType(&value, &value, 0, VT_I4))) {
    *V_I4REF(&arg) = V_I4(&value);
  }
}

VARIANT ShortValue(std::int16_t code) {
  VARIANT value;
  V_VT(&value) = VT_I2;
  V_I2(&value) = code;
  return value;
}

VARIANT LongValue(std::int32_t number) {
  VARIANT value;
  V_VT(&value) = VT_I4;
  V_I4(&value) = number;
  return value;
}

// A one-dimensional array of short or VARIANT that a script passed as the
// buffer, or null.
SAFEARRAY* BufferArray(VARIANTARG& arg) {
  VARIANT* value = Deref(arg);
  const VARTYPE type = V_VT(value);
  if ((type & VT_ARRAY) == 0) return nullptr;
  SAFEARRAY* array = (type & VT_BYREF) != 0 ? (V_ARRAYREF(value) != nullptr ? *V_ARRAYREF(value) : nullptr)
                                            : V_ARRAY(value);
  const VARTYPE element = type & VT_TYPEMASK;
  if (array == nullptr || SafeArrayGetDim(array) != 1 || (element != VT_I2 && element != VT_VARIANT)) return nullptr;
  return array;
}

std::int32_t ElementCount(SAFEARRAY* array) {
  return array != nullptr ? static_cast<std::int32_t>(array->rgsabound[0].cElements) : 1;
}

void StoreCodes(VARIANTARG& arg, SAFEARRAY* array, const std::vector<std::int16_t>& codes, std::int32_t count) {
  if (count <= 0) return;
  if (array == nullptr) {
    Store(arg, ShortValue(codes[0]));
    return;
  }
  VARTYPE element = VT_EMPTY;
  SafeArrayGetVartype(array, &element);
  ArrayData data(array);
  for (std::int32_t i = 0; i < count; ++i) {
    if (element == VT_I2) {
      data.As<SHORT>()[i] = codes[static_cast<size_t>(i)];
    } else if (data.As<VARIANT>() != nullptr) {
      VARIANT& slot = data.As<VARIANT>()[i];
      VariantClear(&slot);
      slot = ShortValue(codes[static_cast<size_t>(i)]);
    }
  }
}

}  // namespace

HRESULT ToVariantArray(VARIANT& value) {
  const VARTYPE element = V_VT(&value) & VT_TYPEMASK;
  if (V_VT(&value) != (VT_ARRAY | element) || (element != VT_I2 && element != VT_BSTR)) return S_OK;
  SafeArray source(V_ARRAY(&value));
  V_VT(&value) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(&value) = nullptr;
  if (!source) return S_OK;  // an unallocated array stays unallocated
  const UINT dims = SafeArrayGetDim(source.get());
  std::vector<SAFEARRAYBOUND> bounds(dims);
  ULONG count = 1;
  for (UINT d = 0; d < dims; ++d) {
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(source.get(), d + 1, &lower);
    SafeArrayGetUBound(source.get(), d + 1, &upper);
    bounds[d] = {static_cast<ULONG>(upper - lower + 1), lower};
    count *= bounds[d].cElements;
  }
  SafeArray result(SafeArrayCreate(VT_VARIANT, dims, bounds.data()));
  if (!result) return E_OUTOFMEMORY;
  {
    ArrayData from(source.get());
    ArrayData to(result.get());
    for (ULONG i = 0; i < count; ++i) {
      VARIANT& slot = to.As<VARIANT>()[i];
      if (element == VT_I2) {
        slot = ShortValue(from.As<SHORT>()[i]);
      } else {
        const BSTR text = from.As<BSTR>()[i];
        V_VT(&slot) = VT_BSTR;
        V_BSTR(&slot) = SysAllocStringLen(text, SysStringLen(text));
      }
    }
  }
  V_ARRAY(&value) = result.release();
  return S_OK;
}

HRESULT InvokeThroughTypeInfo(ITypeInfo* vtable_info, void* itf, DISPID id, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* exception, UINT* arg_error) {
  if (params == nullptr || (params->cArgs > 0 && params->rgvarg == nullptr)) return E_INVALIDARG;
  const std::vector<VARTYPE> types = ParameterTypes(vtable_info, id, flags);
  const UINT n = params->cArgs;
  std::vector<VARIANTARG> args(params->rgvarg, params->rgvarg + n);
  std::vector<VARIANT> copies(n);
  for (auto& copy : copies) VariantInit(&copy);
  for (UINT i = 0; i < n; ++i) {
    const UINT p = n - 1 - i;  // arguments arrive last first
    if (p >= types.size() || types[p] == VT_EMPTY) continue;
    if (HRESULT hr = PrepareArgument(args[i], copies[i], types[p]); FAILED(hr)) {
      ClearAll(copies);
      if (arg_error != nullptr) *arg_error = i;
      return hr;
    }
  }
  DISPPARAMS prepared{args.data(), params->rgdispidNamedArgs, n, params->cNamedArgs};
  VARIANT unused;
  VariantInit(&unused);
  HRESULT hr = vtable_info->Invoke(itf, id, flags, &prepared, result != nullptr ? result : &unused, exception,
                                   arg_error);
  VariantClear(&unused);
  ClearAll(copies);
  if (SUCCEEDED(hr) && result != nullptr) hr = ToVariantArray(*result);
  return hr;
}

HRESULT InvokeGetData(DISPPARAMS* params, VARIANT* result, UINT* arg_error, const FetchFrames& fetch) {
  if (params == nullptr) return E_INVALIDARG;
  if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  if (params->cArgs != 3 || params->rgvarg == nullptr) return DISP_E_BADPARAMCOUNT;
  VARIANTARG& data_arg = params->rgvarg[2];
  VARIANTARG& size_arg = params->rgvarg[1];
  VARIANTARG& waiting_arg = params->rgvarg[0];
  std::int32_t size = 0;
  if (FAILED(ReadLong(size_arg, size))) {
    if (arg_error != nullptr) *arg_error = 1;
    return DISP_E_TYPEMISMATCH;
  }
  SAFEARRAY* array = BufferArray(data_arg);
  size = std::min(size, ElementCount(array));  // never more than the caller gave
  std::vector<std::int16_t> codes(static_cast<size_t>(std::max(size, 0)) + 1);
  std::int32_t waiting = 0;
  const std::int32_t frames = fetch(codes.data(), size, waiting);
  StoreCodes(data_arg, array, codes, size);
  Store(size_arg, LongValue(size));
  Store(waiting_arg, LongValue(waiting));
  if (result != nullptr) {
    VariantClear(result);
    *result = LongValue(frames);
  }
  return S_OK;
}

}  // namespace com

#include "com/dispatch.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

#include "com/raii.h"

namespace com {
namespace {

// The value part of a variant, where a by-reference variant points.
void* ValueOf(VARIANT& value) { return &V_UI1(&value); }

// An optional argument the caller left out.
bool Missing(const VARIANTARG& arg) { return V_VT(&arg) == VT_ERROR && V_ERROR(&arg) == DISP_E_PARAMNOTFOUND; }

// What an argument stands for: the script variable a VT_BYREF|VT_VARIANT
// points at, or the argument itself. Null for a null reference, also one
// held in the variable, and for a reference to another variant reference.
VARIANT* Target(VARIANTARG& arg) {
  VARIANT* value = &arg;
  if (V_VT(value) == (VT_BYREF | VT_VARIANT)) {
    value = V_VARIANTREF(value);
    if (value == nullptr || V_VT(value) == (VT_BYREF | VT_VARIANT)) return nullptr;
  }
  if ((V_VT(value) & VT_BYREF) != 0 && V_BYREF(value) == nullptr) return nullptr;
  return value;
}

// The array an argument holds (by value or by reference), or null.
SAFEARRAY* ArrayOf(VARIANT& value) {
  if ((V_VT(&value) & VT_ARRAY) == 0) return nullptr;
  return (V_VT(&value) & VT_BYREF) != 0 ? *V_ARRAYREF(&value) : V_ARRAY(&value);
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
  if (Missing(arg)) return DISP_E_PARAMNOTOPTIONAL;
  VARIANT* source = Target(arg);
  if (source == nullptr) return DISP_E_TYPEMISMATCH;
  if (V_VT(&arg) == (VT_BYREF | base) && (base & VT_ARRAY) == 0) return S_OK;
  if ((base & VT_ARRAY) != 0) {
    // Only InputChannels takes an array, and the driver ignores it: a table
    // that is not a well-formed array of codes is passed on as no table.
    V_VT(&copy) = base;
    V_ARRAY(&copy) = nullptr;
    SAFEARRAY* table = ArrayOf(*source);
    if ((V_VT(source) & VT_TYPEMASK) == (base & VT_TYPEMASK) && ElementsOf(table) == ArrayElements::Codes) {
      SafeArrayCopy(table, &V_ARRAY(&copy));
    }
  } else if (source != &arg) {
    // A script variable: coerced in place, so that it receives what the member writes.
    if (FAILED(VariantChangeType(source, source, 0, base))) return DISP_E_TYPEMISMATCH;
    V_VT(&arg) = VT_BYREF | base;
    V_BYREF(&arg) = ValueOf(*source);
    return S_OK;
  } else if (FAILED(VariantChangeType(&copy, source, 0, base))) {
    return DISP_E_TYPEMISMATCH;
  }
  V_VT(&arg) = VT_BYREF | base;
  V_BYREF(&arg) = ValueOf(copy);
  return S_OK;
}

VARIANT ShortValue(std::int16_t code) {
  VARIANT value;
  V_VT(&value) = VT_I2;
  V_I2(&value) = code;
  return value;
}

void ClearAll(std::vector<VARIANT>& values) {
  for (auto& value : values) VariantClear(&value);
}

// DataSize and InputCountData: a number by value (read only), or a
// reference to one, a short or a script variable.
HRESULT CheckNumber(VARIANTARG& arg) {
  if (Missing(arg)) return DISP_E_PARAMNOTOPTIONAL;
  const VARIANT* value = Target(arg);
  if (value == nullptr || (V_VT(value) & VT_ARRAY) != 0) return DISP_E_TYPEMISMATCH;
  const bool reference = (V_VT(value) & VT_BYREF) != 0;
  return !reference || V_VT(value) == (VT_BYREF | VT_I4) || V_VT(value) == (VT_BYREF | VT_I2) ? S_OK
                                                                                               : DISP_E_TYPEMISMATCH;
}

HRESULT ReadNumber(VARIANTARG& arg, std::int32_t& number) {
  if (HRESULT hr = CheckNumber(arg); FAILED(hr)) return hr;
  VARIANT converted;
  VariantInit(&converted);
  if (FAILED(VariantChangeType(&converted, Target(arg), 0, VT_I4))) return DISP_E_TYPEMISMATCH;
  number = V_I4(&converted);
  return S_OK;
}

// Writes back into a checked number argument; one passed by value has
// nowhere to go.
void StoreNumber(VARIANTARG& arg, std::int32_t number) {
  VARIANT* value = Target(arg);
  if (V_VT(value) == (VT_BYREF | VT_I4)) {
    *V_I4REF(value) = number;
  } else if (V_VT(value) == (VT_BYREF | VT_I2)) {
    *V_I2REF(value) = static_cast<SHORT>(std::min<std::int32_t>(number, SHRT_MAX));
  } else if (value != &arg) {
    VariantClear(value);
    V_VT(value) = VT_I4;
    V_I4(value) = number;
  }
}

// A script variable that may receive a code: it holds nothing or a number.
bool HoldsNumberOrNothing(const VARIANT& value) {
  switch (V_VT(&value)) {
    case VT_EMPTY: case VT_NULL: case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_UI1: case VT_UI2:
    case VT_UI4: case VT_UI8: case VT_INT: case VT_UINT: case VT_R4: case VT_R8: case VT_CY: case VT_DECIMAL:
      return true;
    default:
      return false;
  }
}

// Where GetData may write its codes, and how many fit: the elements of an
// array of codes or of VARIANTs (locked while the object lives), one short
// by reference, or one script variable.
class Destination {
 public:
  Destination() = default;
  ~Destination() {
    if (array_ != nullptr) SafeArrayUnlock(array_);
  }
  Destination(const Destination&) = delete;
  Destination& operator=(const Destination&) = delete;

  HRESULT Take(VARIANTARG& arg) {
    if (Missing(arg)) return DISP_E_PARAMNOTOPTIONAL;
    VARIANT* value = Target(arg);
    if (value == nullptr) return DISP_E_TYPEMISMATCH;
    if ((V_VT(value) & VT_ARRAY) != 0) return TakeArray(ArrayOf(*value), V_VT(value) & VT_TYPEMASK);
    if (V_VT(value) == (VT_BYREF | VT_I2)) {
      codes_ = V_I2REF(value);
    } else if (value != &arg && HoldsNumberOrNothing(*value)) {
      variable_ = value;
    } else {
      return DISP_E_TYPEMISMATCH;
    }
    capacity_ = 1;
    return S_OK;
  }

  std::int32_t Capacity() const { return capacity_; }

  // Codes go straight into a short or an array of shorts; the rest through `spare`.
  std::int16_t* Codes(std::vector<std::int16_t>& spare, std::int32_t count) {
    if (codes_ != nullptr) return codes_;
    spare.assign(static_cast<size_t>(count), 0);
    return spare.data();
  }

  void Store(const std::vector<std::int16_t>& spare, std::int32_t count) {
    if (codes_ != nullptr) return;
    auto* slots = static_cast<VARIANT*>(array_ != nullptr ? array_->pvData : variable_);
    for (std::int32_t i = 0; i < count; ++i) {
      VARIANT& slot = slots[i];
      VariantClear(&slot);
      V_VT(&slot) = VT_I2;
      V_I2(&slot) = spare[static_cast<size_t>(i)];
    }
  }

 private:
  // The element type comes from the descriptor (size and features) and must
  // agree with the type the caller declared.
  HRESULT TakeArray(SAFEARRAY* array, VARTYPE declared) {
    const ArrayElements elements = ElementsOf(array);
    const bool codes = elements == ArrayElements::Codes && declared == VT_I2;
    if (!codes && !(elements == ArrayElements::Variants && declared == VT_VARIANT)) return DISP_E_TYPEMISMATCH;
    if (FAILED(SafeArrayLock(array))) return DISP_E_TYPEMISMATCH;
    array_ = array;
    if (codes) codes_ = static_cast<std::int16_t*>(array->pvData);
    capacity_ = ElementCount(array);
    return S_OK;
  }

  SAFEARRAY* array_ = nullptr;
  std::int16_t* codes_ = nullptr;
  VARIANT* variable_ = nullptr;
  std::int32_t capacity_ = 0;
};

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

ArrayElements ElementsOf(SAFEARRAY* array) {
  if (array == nullptr || array->pvData == nullptr || array->cDims == 0) return ArrayElements::Other;
  constexpr USHORT kPointers = FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_RECORD | FADF_HAVEIID;
  const USHORT features = array->fFeatures;
  VARTYPE stored = VT_I2;
  if ((features & FADF_HAVEVARTYPE) != 0 && FAILED(SafeArrayGetVartype(array, &stored))) return ArrayElements::Other;
  if ((features & kPointers) != 0) return ArrayElements::Other;
  if (array->cbElements == sizeof(SHORT) && (features & FADF_VARIANT) == 0 && stored == VT_I2) {
    return ArrayElements::Codes;
  }
  if (array->cbElements == sizeof(VARIANT) && (features & FADF_VARIANT) != 0) return ArrayElements::Variants;
  return ArrayElements::Other;
}

std::int32_t ElementCount(SAFEARRAY* array) {
  std::uint64_t count = 1;
  for (USHORT d = 0; d < array->cDims; ++d) {
    count = std::min<std::uint64_t>(count * array->rgsabound[d].cElements, INT32_MAX);
  }
  return static_cast<std::int32_t>(count);
}

HRESULT InvokeGetData(DISPPARAMS* params, VARIANT* result, UINT* arg_error, const FetchFrames& fetch) {
  if (params == nullptr) return E_INVALIDARG;
  if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  if (params->cArgs != 3 || params->rgvarg == nullptr) return DISP_E_BADPARAMCOUNT;
  // Arguments arrive last first: InputCountData, DataSize, Data. Every one
  // is checked before a frame leaves the ring.
  VARIANTARG* args = params->rgvarg;
  Destination data;
  std::int32_t size = 0;
  const HRESULT checks[3] = {CheckNumber(args[0]), ReadNumber(args[1], size), data.Take(args[2])};
  for (UINT i = 3; i-- > 0;) {
    if (FAILED(checks[i])) {
      if (arg_error != nullptr) *arg_error = i;
      return checks[i];
    }
  }
  size = std::clamp(size, 0, data.Capacity());  // never more than the caller gave
  std::vector<std::int16_t> spare;
  std::int32_t waiting = 0;
  const std::int32_t frames = fetch(data.Codes(spare, size), size, waiting);
  data.Store(spare, size);
  StoreNumber(args[1], size);
  StoreNumber(args[0], waiting);
  if (result != nullptr) {
    V_VT(result) = VT_I4;
    V_I4(result) = frames;
  }
  return S_OK;
}

}  // namespace com

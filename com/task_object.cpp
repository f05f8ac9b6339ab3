#include "com/task_object.h"

#include <string>
#include <vector>

#include "NI.h"
#include "com/dispatch.h"
#include "com/module.h"
#include "com/object.h"
#include "com/raii.h"
#include "driver/ni_daqmx_task.h"
#include "ui/dialogs.h"

namespace com {
namespace {

constexpr DISPID kGetDataId = 27;
constexpr DISPID kGetADC3Id = 0x100;

VARIANT_BOOL Bool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

// Sets the result to the member's neutral value, then to what `get` gives.
// Nothing the driver does reaches the host as a COM error.
template <class T, class F>
HRESULT Answer(T* result, T neutral, F&& get) {
  if (result == nullptr) return E_POINTER;
  *result = neutral;
  try {
    *result = get();
  } catch (...) {
  }
  return S_OK;
}

template <class F>
HRESULT Text(BSTR* result, F&& get) {
  return Answer<BSTR>(result, nullptr, [&] { return ToBstr(get()); });
}

template <class F>
HRESULT Do(F&& action) {
  try {
    action();
  } catch (...) {
  }
  return S_OK;
}

SAFEARRAY* TextArray(const std::vector<std::string>& texts) {
  SafeArray array(SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(texts.size())));
  if (!array) return nullptr;
  ArrayData data(array.get());
  for (size_t i = 0; i < texts.size(); ++i) data.As<BSTR>()[i] = ToBstr(texts[i]);
  return array.release();
}

SAFEARRAY* CodeArray(const std::vector<std::int16_t>& codes) {
  SafeArray array(SafeArrayCreateVector(VT_I2, 0, static_cast<ULONG>(codes.size())));
  if (!array) return nullptr;
  ArrayData data(array.get());
  std::copy(codes.begin(), codes.end(), data.As<SHORT>());
  return array.release();
}

// Bounds (0..rows-1, 0..columns-1), the row (channel) index fastest, as the
// table is stored.
SAFEARRAY* CodeTableArray(const driver::CodeTable& table) {
  SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(std::max(table.rows, 0)), 0},
                              {static_cast<ULONG>(std::max(table.columns, 0)), 0}};
  SafeArray array(SafeArrayCreate(VT_I2, 2, bounds));
  if (!array) return nullptr;
  ArrayData data(array.get());
  std::copy(table.codes.begin(), table.codes.end(), data.As<SHORT>());
  return array.release();
}

std::vector<std::int16_t> CodesOf(SAFEARRAY* array) {
  if (ElementsOf(array) != ArrayElements::Codes) return {};
  ArrayData data(array);
  const SHORT* codes = data.As<SHORT>();
  return codes != nullptr ? std::vector<std::int16_t>(codes, codes + ElementCount(array)) : std::vector<std::int16_t>{};
}

// COM objects delete themselves in Release, never through an interface
// pointer, and interfaces have no virtual destructor by design.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// What both dispatch interfaces answer alike: one type info, that of the
// interface itself.
template <typename Interface, const IID& kIid>
class TypeInfoPart : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    return index == 0 ? DispatchTypeInfo(kIid, info) : DISP_E_BADINDEX;
  }

 protected:
  virtual ~TypeInfoPart() = default;
};

// The IDispatch part of the default interface. Late-bound clients receive
// this interface from CreateObject, so names it does not know are looked up
// in IADC3 and invoked there.
class DefaultPart : public TypeInfoPart<_NI_DAQmx_Task, IID__NI_DAQmx_Task> {
 public:
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    ComRef<ITypeInfo> own;
    ComRef<ITypeInfo> adc3;
    if (HRESULT hr = DispatchTypeInfo(IID__NI_DAQmx_Task, own.put()); FAILED(hr)) return hr;
    const HRESULT hr = own->GetIDsOfNames(names, count, ids);
    if (hr != DISP_E_UNKNOWNNAME) return hr;
    if (HRESULT loaded = DispatchTypeInfo(IID_IADC3, adc3.put()); FAILED(loaded)) return loaded;
    return adc3->GetIDsOfNames(names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* arg_error) override {
    if (id != kGetADC3Id) return InvokeAdc3(id, flags, params, result, exception, arg_error);
    ComRef<ITypeInfo> info;
    if (HRESULT hr = VtableTypeInfo(IID__NI_DAQmx_Task, info.put()); FAILED(hr)) return hr;
    return InvokeThroughTypeInfo(info.get(), static_cast<_NI_DAQmx_Task*>(this), id, flags, params, result,
                                 exception, arg_error);
  }

 protected:
  virtual ~DefaultPart() = default;
  virtual HRESULT InvokeAdc3(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                             UINT* arg_error) = 0;
};

// The IDispatch part of IADC3.
class Adc3Part : public TypeInfoPart<IADC3, IID_IADC3> {
 public:
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    ComRef<ITypeInfo> info;
    if (HRESULT hr = DispatchTypeInfo(IID_IADC3, info.put()); FAILED(hr)) return hr;
    return info->GetIDsOfNames(names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* arg_error) override {
    if (id == kGetDataId) return InvokeGetData(params, result, arg_error, Fetcher());
    ComRef<ITypeInfo> info;
    if (HRESULT hr = VtableTypeInfo(IID_IADC3, info.put()); FAILED(hr)) return hr;
    return InvokeThroughTypeInfo(info.get(), static_cast<IADC3*>(this), id, flags, params, result, exception,
                                 arg_error);
  }

 protected:
  virtual ~Adc3Part() = default;
  virtual FetchFrames Fetcher() = 0;
};

class TaskObject : public DefaultPart, public Adc3Part {
 public:
  TaskObject() = default;
  TaskObject(const TaskObject&) = delete;
  TaskObject& operator=(const TaskObject&) = delete;

  void* Interface(REFIID iid) {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID__NI_DAQmx_Task) {
      return static_cast<_NI_DAQmx_Task*>(this);
    }
    return iid == IID_IADC3 ? static_cast<IADC3*>(this) : nullptr;
  }

  // _NI_DAQmx_Task
  HRESULT STDMETHODCALLTYPE GetADC3(IDispatch** result) override {
    return Answer<IDispatch*>(result, nullptr, [&] { return Reference(static_cast<IADC3*>(this)); });
  }

  // IADC3, in the host's order.
  HRESULT STDMETHODCALLTYPE get_ADCName(BSTR* result) override {
    return Text(result, [&] { return driver_.ADCName(); });
  }
  HRESULT STDMETHODCALLTYPE get_Resolution(unsigned char* result) override {
    return Answer<unsigned char>(result, 0, [&] { return driver_.Resolution(); });
  }
  HRESULT STDMETHODCALLTYPE get_ChannelsCount(short* result) override {
    return Answer<short>(result, 0, [&] { return driver_.ChannelsCount(); });
  }
  HRESULT STDMETHODCALLTYPE get_RateMax(float* result) override {
    return Answer<float>(result, 0, [&] { return driver_.RateMax(); });
  }
  HRESULT STDMETHODCALLTYPE get_Ranges(SAFEARRAY** result) override {
    return Answer<SAFEARRAY*>(result, nullptr, [&] { return TextArray(driver_.Ranges()); });
  }
  HRESULT STDMETHODCALLTYPE get_Detected(VARIANT_BOOL* result) override {
    return Answer<VARIANT_BOOL>(result, VARIANT_FALSE, [&] { return Bool(driver_.Detected()); });
  }
  HRESULT STDMETHODCALLTYPE Test(VARIANT_BOOL* result) override {
    return Answer<VARIANT_BOOL>(result, VARIANT_FALSE, [&] { return Bool(driver_.Test()); });
  }
  HRESULT STDMETHODCALLTYPE get_BasePort(short* result) override {
    return Answer<short>(result, 0, [&] { return driver_.BasePort(); });
  }
  HRESULT STDMETHODCALLTYPE get_Busy(VARIANT_BOOL* result) override {
    return Answer<VARIANT_BOOL>(result, VARIANT_FALSE, [&] { return Bool(driver_.Busy()); });
  }
  HRESULT STDMETHODCALLTYPE get_ChannelName(short* index, BSTR* result) override {
    if (index == nullptr) return E_POINTER;
    return Text(result, [&] { return driver_.ChannelName(*index); });
  }
  HRESULT STDMETHODCALLTYPE get_ChannelRange(short* index, short* result) override {
    if (index == nullptr) return E_POINTER;
    return Answer<short>(result, 0, [&] { return driver_.ChannelRange(*index); });
  }
  HRESULT STDMETHODCALLTYPE put_ChannelRange(short* index, short* range_index) override {
    if (index == nullptr || range_index == nullptr) return E_POINTER;
    return Do([&] { driver_.SetChannelRange(*index, *range_index); });
  }
  HRESULT STDMETHODCALLTYPE get_ChannelUnitScale(short* index, float* result) override {
    if (index == nullptr) return E_POINTER;
    return Answer<float>(result, 0, [&] { return driver_.ChannelUnitScale(*index); });
  }
  HRESULT STDMETHODCALLTYPE get_ChannelUnitOffset(short* index, float* result) override {
    if (index == nullptr) return E_POINTER;
    return Answer<float>(result, 0, [&] { return driver_.ChannelUnitOffset(*index); });
  }
  HRESULT STDMETHODCALLTYPE get_ChannelUnitName(short* index, BSTR* result) override {
    if (index == nullptr) return E_POINTER;
    return Text(result, [&] { return driver_.ChannelUnitName(*index); });
  }
  HRESULT STDMETHODCALLTYPE get_Rate(float* result) override {
    return Answer<float>(result, 0, [&] { return driver_.Rate(); });
  }
  HRESULT STDMETHODCALLTYPE put_Rate(float* rate) override {
    if (rate == nullptr) return E_POINTER;
    return Do([&] { driver_.SetRate(*rate); });
  }
  HRESULT STDMETHODCALLTYPE put_InputSizeData(LONG* new_size) override {
    if (new_size == nullptr) return E_POINTER;
    return Do([&] { driver_.SetInputSizeData(*new_size); });
  }
  HRESULT STDMETHODCALLTYPE get_InputSizeData(LONG* result) override {
    return Answer<LONG>(result, 0, [&] { return driver_.InputSizeData(); });
  }
  HRESULT STDMETHODCALLTYPE get_InputCountData(LONG* result) override {
    return Answer<LONG>(result, 0, [&] { return driver_.InputCountData(); });
  }
  HRESULT STDMETHODCALLTYPE get_InputSizeKadrs(LONG* result) override {
    return Answer<LONG>(result, 0, [&] { return driver_.InputSizeKadrs(); });
  }
  HRESULT STDMETHODCALLTYPE get_InputCountKadrs(LONG* result) override {
    return Answer<LONG>(result, 0, [&] { return driver_.InputCountKadrs(); });
  }
  HRESULT STDMETHODCALLTYPE get_InputCountChannels(short* result) override {
    return Answer<short>(result, 0, [&] { return driver_.InputCountChannels(); });
  }
  HRESULT STDMETHODCALLTYPE get_InputChannels(SAFEARRAY** result) override {
    return Answer<SAFEARRAY*>(result, nullptr, [&] { return CodeArray(driver_.InputChannels()); });
  }
  HRESULT STDMETHODCALLTYPE put_InputChannels(SAFEARRAY** table) override {
    if (table == nullptr) return E_POINTER;
    return Do([&] { driver_.SetInputChannels(CodesOf(*table)); });
  }
  HRESULT STDMETHODCALLTYPE GetChannel(short* index, short* result) override {
    if (index == nullptr) return E_POINTER;
    return Answer<short>(result, 0, [&] { return driver_.GetChannel(*index); });
  }
  HRESULT STDMETHODCALLTYPE GetKadr(SAFEARRAY** result) override {
    // Unallocated: no data is read or consumed.
    return Answer<SAFEARRAY*>(result, nullptr, [&] { return nullptr; });
  }
  HRESULT STDMETHODCALLTYPE StartRecord(VARIANT_BOOL* result) override {
    return Answer<VARIANT_BOOL>(result, VARIANT_FALSE, [&] { return Bool(driver_.StartRecord()); });
  }
  HRESULT STDMETHODCALLTYPE StopRecord() override {
    return Do([&] { driver_.StopRecord(); });
  }
  HRESULT STDMETHODCALLTYPE get_InputData(SAFEARRAY** result) override {
    return Answer<SAFEARRAY*>(result, nullptr, [&] { return CodeTableArray(driver_.InputData()); });
  }
  HRESULT STDMETHODCALLTYPE GetData(short* data, LONG* data_size, LONG* input_count_data, LONG* result) override {
    if (data_size == nullptr || input_count_data == nullptr) return E_POINTER;
    return Answer<LONG>(result, 0, [&] {
      std::int32_t size = *data_size;
      std::int32_t waiting = 0;
      const std::int32_t frames = driver_.GetData(data, size, waiting);
      *data_size = size;
      *input_count_data = waiting;
      return frames;
    });
  }
  HRESULT STDMETHODCALLTYPE get_LastError(BSTR* result) override {
    return Text(result, [&] { return driver_.LastError(); });
  }
  HRESULT STDMETHODCALLTYPE ShowSetting(VARIANT_BOOL* result) override {
    return Answer<VARIANT_BOOL>(result, VARIANT_FALSE, [&] { return Bool(driver_.ShowSetting()); });
  }
  HRESULT STDMETHODCALLTYPE get_Parent(IDispatch** result) override {
    return Answer<IDispatch*>(result, nullptr, [&] { return Reference(static_cast<_NI_DAQmx_Task*>(this)); });
  }

 protected:
  ~TaskObject() override = default;

 private:
  IDispatch* Reference(IDispatch* itf) {
    itf->AddRef();
    return itf;
  }
  HRESULT InvokeAdc3(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                     UINT* arg_error) override {
    return Adc3Part::Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, params, result, exception, arg_error);
  }
  FetchFrames Fetcher() override {
    return [this](std::int16_t* data, std::int32_t& size, std::int32_t& waiting) {
      return driver_.GetData(data, size, waiting);
    };
  }

  driver::NI_DAQmx_Task driver_;
};
#pragma GCC diagnostic pop

}  // namespace

HRESULT CreateTaskObject(REFIID iid, void** object) {
  ui::InstallDialogs();
  return ComObject<TaskObject>::Create(iid, object);
}

}  // namespace com

// The driver reached through COM, as the recording program reaches it: by
// ProgID from the registration, or from a given NI.adc file without any
// registration.
#include <windows.h>

#include <cstdio>
#include <stdexcept>

#include "NI.h"
#include "com/raii.h"
#include "platform/system.h"
#include "platform/windows.h"
#include "tools/adc_host.h"

namespace tools {
namespace {

// COM for this thread while the driver object lives.
class Apartment {
 public:
  Apartment() : initialized_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~Apartment() {
    if (initialized_) CoUninitialize();
  }
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;

 private:
  bool initialized_;
};

bool IsPath(const std::string& driver) {
  return driver.find_first_of("\\/") != std::string::npos || driver.ends_with(".adc");
}

std::string Describe(HRESULT hr) {
  const std::string message = platform::SystemMessageText(static_cast<std::uint32_t>(hr));
  char code[16];
  std::snprintf(code, sizeof(code), "0x%08lX", static_cast<unsigned long>(hr));
  return message.empty() ? code : std::string(code) + " " + message;
}

class ComAdc final : public Adc {
 public:
  explicit ComAdc(const std::string& driver) {
    const HRESULT hr = IsPath(driver) ? CreateFromFile(driver) : CreateByProgId(driver);
    if (FAILED(hr)) throw std::runtime_error("cannot create the driver " + driver + ": " + Describe(hr));
  }
  ~ComAdc() override {
    adc_.reset();
    // The file stays loaded while the driver still runs anything.
    if (module_) {
      using CanUnload = HRESULT(STDAPICALLTYPE*)();
      const auto can_unload = reinterpret_cast<CanUnload>(
          reinterpret_cast<void*>(GetProcAddress(module_.get(), "DllCanUnloadNow")));
      if (can_unload == nullptr || can_unload() != S_OK) module_.release();
    }
  }
  ComAdc(const ComAdc&) = delete;
  ComAdc& operator=(const ComAdc&) = delete;

  bool Test() override { return Flag(&IADC3::Test); }
  std::int16_t BasePort() override { return Value(&IADC3::get_BasePort); }
  std::string ADCName() override { return Text(&IADC3::get_ADCName); }
  int Resolution() override { return Value(&IADC3::get_Resolution); }
  float Rate() override { return Value(&IADC3::get_Rate); }
  float RateMax() override { return Value(&IADC3::get_RateMax); }
  std::int16_t ChannelsCount() override { return Value(&IADC3::get_ChannelsCount); }
  std::string ChannelName(std::int16_t index) override { return Text(&IADC3::get_ChannelName, index); }
  std::vector<std::string> Ranges() override {
    com::SafeArray array;
    std::vector<std::string> texts;
    if (FAILED(adc_->get_Ranges(array.put())) || !array) return texts;
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(array.get(), 1, &lower);
    SafeArrayGetUBound(array.get(), 1, &upper);
    com::ArrayData data(array.get());
    for (LONG i = 0; i <= upper - lower; ++i) texts.push_back(com::FromBstr(data.As<BSTR>()[i]));
    return texts;
  }
  std::int16_t ChannelRange(std::int16_t index) override { return Value(&IADC3::get_ChannelRange, index); }
  std::string ChannelUnitName(std::int16_t index) override { return Text(&IADC3::get_ChannelUnitName, index); }
  float ChannelUnitScale(std::int16_t index) override { return Value(&IADC3::get_ChannelUnitScale, index); }
  float ChannelUnitOffset(std::int16_t index) override {
    return Value(&IADC3::get_ChannelUnitOffset, index);
  }
  void SetInputSizeData(std::int32_t size) override {
    LONG value = size;
    adc_->put_InputSizeData(&value);
  }
  std::int32_t InputSizeData() override { return Value(&IADC3::get_InputSizeData); }
  std::int32_t InputSizeKadrs() override { return Value(&IADC3::get_InputSizeKadrs); }
  std::int16_t InputCountChannels() override { return Value(&IADC3::get_InputCountChannels); }
  bool StartRecord() override { return Flag(&IADC3::StartRecord); }
  bool Busy() override { return Flag(&IADC3::get_Busy); }
  std::int32_t GetData(std::int16_t* data, std::int32_t& data_size, std::int32_t& waiting) override {
    LONG size = data_size;
    LONG count = 0;
    LONG frames = 0;
    if (FAILED(adc_->GetData(data, &size, &count, &frames))) size = count = frames = 0;
    data_size = size;
    waiting = count;
    return frames;
  }
  void StopRecord() override { adc_->StopRecord(); }
  std::string LastError() override { return Text(&IADC3::get_LastError); }

 private:
  HRESULT CreateByProgId(const std::string& progid) {
    CLSID clsid{};
    if (HRESULT hr = CLSIDFromProgID(platform::Widen(progid).c_str(), &clsid); FAILED(hr)) return hr;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IADC3, adc_.put_void());
  }
  HRESULT CreateFromFile(const std::string& path) {
    module_ = com::Module(LoadLibraryExW(platform::Widen(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!module_) return HRESULT_FROM_WIN32(GetLastError());
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    const auto get_class_object = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(module_.get(), "DllGetClassObject")));
    if (get_class_object == nullptr) return HRESULT_FROM_WIN32(GetLastError());
    com::ComRef<IClassFactory> factory;
    if (HRESULT hr = get_class_object(CLSID_NI_DAQmx_Task, IID_IClassFactory, factory.put_void()); FAILED(hr)) {
      return hr;
    }
    return factory->CreateInstance(nullptr, IID_IADC3, adc_.put_void());
  }

  template <class T>
  T Value(HRESULT (STDMETHODCALLTYPE IADC3::*get)(T*)) {
    T result{};
    return SUCCEEDED((adc_.get()->*get)(&result)) ? result : T{};
  }
  template <class T>
  T Value(HRESULT (STDMETHODCALLTYPE IADC3::*get)(short*, T*), short index) {
    T result{};
    return SUCCEEDED((adc_.get()->*get)(&index, &result)) ? result : T{};
  }
  bool Flag(HRESULT (STDMETHODCALLTYPE IADC3::*get)(VARIANT_BOOL*)) { return Value(get) != VARIANT_FALSE; }
  std::string Text(HRESULT (STDMETHODCALLTYPE IADC3::*get)(BSTR*)) {
    com::Bstr text;
    return SUCCEEDED((adc_.get()->*get)(text.put())) ? com::FromBstr(text.get()) : std::string();
  }
  std::string Text(HRESULT (STDMETHODCALLTYPE IADC3::*get)(short*, BSTR*), short index) {
    com::Bstr text;
    return SUCCEEDED((adc_.get()->*get)(&index, text.put())) ? com::FromBstr(text.get()) : std::string();
  }

  Apartment apartment_;
  com::Module module_;  // the driver file when loaded without registration
  com::ComRef<IADC3> adc_;
};

}  // namespace

std::unique_ptr<Adc> OpenComAdc(const std::string& driver, const std::string& task, std::string& error) {
  // The driver's default chooser takes the task named here, before it asks anyone.
  if (!task.empty()) platform::SetEnv("NIADC_TASK", task);
  try {
    return std::make_unique<ComAdc>(driver);
  } catch (const std::exception& failure) {
    error = failure.what();
    return nullptr;
  }
}

}  // namespace tools

// IADC3 as the host program declares it, independent of NI.idl: a member out
// of order or of the wrong type in our type library shows up as a wrong call.
#pragma once

#include <windows.h>
#include <oaidl.h>

namespace host {

inline constexpr IID kIID_IADC3 = {0x97B526A8, 0x3B46, 0x11D7, {0xB6, 0x88, 0xFD, 0xAE, 0xA8, 0x66, 0x8E, 0x28}};
inline constexpr CLSID kCLSID_NI_DAQmx_Task = {
    0x70036B36, 0xB224, 0x4CA9, {0x83, 0x61, 0x14, 0x0B, 0x9B, 0x9D, 0xD2, 0xF1}};

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"  // an interface: released, never deleted

struct IADC3 : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_ADCName(BSTR* result) = 0;                          // 1
  virtual HRESULT STDMETHODCALLTYPE get_Resolution(BYTE* result) = 0;                       // 2
  virtual HRESULT STDMETHODCALLTYPE get_ChannelsCount(SHORT* result) = 0;                   // 3
  virtual HRESULT STDMETHODCALLTYPE get_RateMax(FLOAT* result) = 0;                         // 4
  virtual HRESULT STDMETHODCALLTYPE get_Ranges(SAFEARRAY** result) = 0;                     // 5
  virtual HRESULT STDMETHODCALLTYPE get_Detected(VARIANT_BOOL* result) = 0;                 // 6
  virtual HRESULT STDMETHODCALLTYPE Test(VARIANT_BOOL* result) = 0;                         // 7
  virtual HRESULT STDMETHODCALLTYPE get_BasePort(SHORT* result) = 0;                        // 8
  virtual HRESULT STDMETHODCALLTYPE get_Busy(VARIANT_BOOL* result) = 0;                     // 9
  virtual HRESULT STDMETHODCALLTYPE get_ChannelName(SHORT* index, BSTR* result) = 0;        // 10
  virtual HRESULT STDMETHODCALLTYPE get_ChannelRange(SHORT* index, SHORT* result) = 0;      // 11
  virtual HRESULT STDMETHODCALLTYPE put_ChannelRange(SHORT* index, SHORT* range) = 0;       // 12
  virtual HRESULT STDMETHODCALLTYPE get_ChannelUnitScale(SHORT* index, FLOAT* result) = 0;  // 13
  virtual HRESULT STDMETHODCALLTYPE get_ChannelUnitOffset(SHORT* index, FLOAT* result) = 0; // 14
  virtual HRESULT STDMETHODCALLTYPE get_ChannelUnitName(SHORT* index, BSTR* result) = 0;    // 15
  virtual HRESULT STDMETHODCALLTYPE get_Rate(FLOAT* result) = 0;                            // 16
  virtual HRESULT STDMETHODCALLTYPE put_Rate(FLOAT* rate) = 0;                              // 17
  virtual HRESULT STDMETHODCALLTYPE put_InputSizeData(LONG* size) = 0;                      // 18
  virtual HRESULT STDMETHODCALLTYPE get_InputSizeData(LONG* result) = 0;                    // 19
  virtual HRESULT STDMETHODCALLTYPE get_InputCountData(LONG* result) = 0;                   // 20
  virtual HRESULT STDMETHODCALLTYPE get_InputSizeKadrs(LONG* result) = 0;                   // 21
  virtual HRESULT STDMETHODCALLTYPE get_InputCountKadrs(LONG* result) = 0;                  // 22
  virtual HRESULT STDMETHODCALLTYPE get_InputCountChannels(SHORT* result) = 0;              // 23
  virtual HRESULT STDMETHODCALLTYPE get_InputChannels(SAFEARRAY** result) = 0;              // 24
  virtual HRESULT STDMETHODCALLTYPE put_InputChannels(SAFEARRAY** table) = 0;               // 25
  virtual HRESULT STDMETHODCALLTYPE GetChannel(SHORT* index, SHORT* result) = 0;            // 26
  virtual HRESULT STDMETHODCALLTYPE GetKadr(SAFEARRAY** result) = 0;                        // 27
  virtual HRESULT STDMETHODCALLTYPE StartRecord(VARIANT_BOOL* result) = 0;                  // 28
  virtual HRESULT STDMETHODCALLTYPE StopRecord() = 0;                                       // 29
  virtual HRESULT STDMETHODCALLTYPE get_InputData(SAFEARRAY** result) = 0;                  // 30
  virtual HRESULT STDMETHODCALLTYPE GetData(SHORT* data, LONG* data_size, LONG* input_count_data,
                                            LONG* result) = 0;                              // 31
  virtual HRESULT STDMETHODCALLTYPE get_LastError(BSTR* result) = 0;                        // 32
  virtual HRESULT STDMETHODCALLTYPE ShowSetting(VARIANT_BOOL* result) = 0;                  // 33
  virtual HRESULT STDMETHODCALLTYPE get_Parent(IDispatch** result) = 0;                     // 34
};

#pragma GCC diagnostic pop

}  // namespace host

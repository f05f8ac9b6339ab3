// A host program's view of NI_DAQmx_Task: created by ProgID, called through
// the host's own declaration of IADC3, in the host's calling order.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/com/com_support.h"
#include "tests/com/host_adc3.h"
#include "tests/support/sim_config.h"
#include "tests/support/sim_env.h"
#include "tests/support/wait.h"

namespace {

using testsupport::ScopedEnv;

std::wstring Take(BSTR text) {
  std::wstring result = text != nullptr ? std::wstring(text, SysStringLen(text)) : std::wstring();
  SysFreeString(text);
  return result;
}

// A member's result as the host reads it.
template <class T>
T Get(host::IADC3* adc, HRESULT (STDMETHODCALLTYPE host::IADC3::*member)(T*)) {
  T value{};
  EXPECT_EQ((adc->*member)(&value), S_OK);
  return value;
}
template <class T>
T Get(host::IADC3* adc, HRESULT (STDMETHODCALLTYPE host::IADC3::*member)(SHORT*, T*), SHORT index) {
  T value{};
  EXPECT_EQ((adc->*member)(&index, &value), S_OK);
  return value;
}

// What a host reads straight from the descriptor: rgsabound holds the last
// dimension first.
void ExpectLayout(SAFEARRAY* array, ULONG element_size, const std::vector<ULONG>& stored_counts) {
  ASSERT_NE(array, nullptr);
  ASSERT_EQ(array->cDims, stored_counts.size());
  EXPECT_EQ(array->cbElements, element_size);
  for (USHORT d = 0; d < array->cDims; ++d) {
    EXPECT_EQ(array->rgsabound[d].cElements, stored_counts[d]) << "bound " << d;
    EXPECT_EQ(array->rgsabound[d].lLbound, 0) << "bound " << d;
  }
}

class Host : public ::testing::Test {
 protected:
  // The object as the host creates it; after a successful Test if `detect`.
  static host::IADC3* Create(bool detect) {
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(L"NI.NI_DAQmx_Task", &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, host::kCLSID_NI_DAQmx_Task));
    host::IADC3* adc = nullptr;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, host::kIID_IADC3, reinterpret_cast<void**>(&adc));
    VARIANT_BOOL detected = VARIANT_FALSE;
    if (adc != nullptr && detect) {
      EXPECT_EQ(adc->Test(&detected), S_OK);
      EXPECT_EQ(detected, VARIANT_TRUE);
    }
    return adc;
  }
  static bool Waiting(host::IADC3* adc, LONG frames) {
    return testsupport::WaitUntil([&] { return Get(adc, &host::IADC3::get_InputCountKadrs) >= frames; });
  }
  // StartRecord's answer; after a start, `frames` frames are waiting.
  static VARIANT_BOOL Start(host::IADC3* adc, LONG frames = 0) {
    VARIANT_BOOL started = VARIANT_FALSE;
    EXPECT_EQ(adc->StartRecord(&started), S_OK);
    EXPECT_TRUE(started != VARIANT_TRUE || Waiting(adc, frames));
    return started;
  }
  static std::wstring LastError(host::IADC3* adc) { return Take(Get(adc, &host::IADC3::get_LastError)); }

  comtest::MachineRegistration registration_;
  ScopedEnv task_{"NIADC_TASK", "Demo4ch"};
  comtest::Apartment apartment_;
};

TEST_F(Host, UndetectedObjectRefusesWithoutCOMErrors) {
  host::IADC3* adc = Create(false);
  ASSERT_NE(adc, nullptr);
  EXPECT_EQ(Start(adc), VARIANT_FALSE);
  EXPECT_EQ(LastError(adc), L"");
  SAFEARRAY* kadr = reinterpret_cast<SAFEARRAY*>(1);
  EXPECT_EQ(adc->GetKadr(&kadr), S_OK);
  EXPECT_EQ(kadr, nullptr);
  // Only a null result or argument pointer is a COM error.
  SHORT index = 0;
  LONG size = 100;
  LONG frames = -1;
  EXPECT_EQ(adc->get_ADCName(nullptr), E_POINTER);
  EXPECT_EQ(adc->get_ChannelRange(&index, nullptr), E_POINTER);
  EXPECT_EQ(adc->get_ChannelName(nullptr, nullptr), E_POINTER);
  EXPECT_EQ(adc->GetData(nullptr, &size, nullptr, &frames), E_POINTER);
  IUnknown* other = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(adc->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&other)), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(adc->Release(), 0u);
}

// Floats, shorts and booleans come back through the vtable as exact values:
// a member in the wrong slot or with the wrong calling convention does not.
TEST_F(Host, RecordsInTheHostsCallingOrder) {
  host::IADC3* adc = Create(true);
  ASSERT_NE(adc, nullptr);
  EXPECT_EQ(Take(Get(adc, &host::IADC3::get_ADCName)), L"PCIe-6363");
  EXPECT_EQ(Get(adc, &host::IADC3::get_Detected), VARIANT_TRUE);
  EXPECT_EQ(Get(adc, &host::IADC3::get_ChannelsCount), 4);
  EXPECT_GT(Get(adc, &host::IADC3::get_BasePort), 0);
  EXPECT_EQ(Get(adc, &host::IADC3::get_Resolution), 16);
  EXPECT_EQ(Get(adc, &host::IADC3::get_Rate), 1000.0f);
  EXPECT_EQ(Get(adc, &host::IADC3::get_RateMax), 250000.0f);  // a PCIe-6363 shares 1 MS/s among four channels
  EXPECT_EQ(Get(adc, &host::IADC3::get_Busy), VARIANT_FALSE);
  for (SHORT c = -1; c <= 4; ++c) {  // outside the channels: neutral values
    const bool inside = c >= 0 && c < 4;
    EXPECT_EQ(Take(Get(adc, &host::IADC3::get_ChannelName, c)), inside ? L"ai" + std::to_wstring(c) : L"");
    EXPECT_EQ(Take(Get(adc, &host::IADC3::get_ChannelUnitName, c)), inside ? L"V" : L"");
    EXPECT_EQ(Get(adc, &host::IADC3::get_ChannelUnitScale, c), inside ? 3200.0f : 0.0f);
  }
  SAFEARRAY* array = nullptr;
  ASSERT_EQ(adc->get_Ranges(&array), S_OK);
  ExpectLayout(array, sizeof(BSTR), {1});
  EXPECT_STREQ(static_cast<BSTR*>(array->pvData)[0], L"\u00B110 V");  // the plus-minus sign survives
  SafeArrayDestroy(array);
  ASSERT_EQ(adc->get_InputChannels(&array), S_OK);
  ExpectLayout(array, sizeof(SHORT), {4});
  SafeArrayDestroy(array);

  LONG ring = 4000;
  adc->put_InputSizeData(&ring);
  ring = Get(adc, &host::IADC3::get_InputSizeData);
  ASSERT_EQ(Start(adc), VARIANT_TRUE);
  EXPECT_EQ(Get(adc, &host::IADC3::get_Busy), VARIANT_TRUE);  // all bits set, as a host's boolean test expects
  EXPECT_EQ(Start(adc), VARIANT_FALSE);  // already recording

  // GetData: whole frames only, never past the size given.
  std::vector<SHORT> buffer(static_cast<size_t>(ring) + 8, 0x5A5A);
  const LONG capacity = 4 * 50 + 3;
  LONG total = 0;
  EXPECT_TRUE(testsupport::WaitUntil([&] {
    LONG size = capacity;
    LONG waiting = -1;
    LONG frames = -1;
    EXPECT_EQ(adc->GetData(buffer.data(), &size, &waiting, &frames), S_OK);
    EXPECT_EQ(size, frames * 4);
    EXPECT_LE(frames, 50);
    EXPECT_EQ(waiting % 4, 0);
    EXPECT_EQ(buffer[capacity], 0x5A5A);
    total += frames;
    return total >= 500;
  }));

  // InputData: the channel table in column 0, then every waiting frame.
  EXPECT_TRUE(Waiting(adc, 2));
  ASSERT_EQ(adc->get_InputData(&array), S_OK);
  ASSERT_NE(array, nullptr);
  const ULONG columns = array->rgsabound[0].cElements;
  EXPECT_GE(columns, 3u);
  ExpectLayout(array, sizeof(SHORT), {columns, 4});
  for (SHORT c = 0; c < 4; ++c) EXPECT_EQ(static_cast<SHORT*>(array->pvData)[c], c);
  SafeArrayDestroy(array);
  EXPECT_EQ(Get(adc, &host::IADC3::get_InputCountKadrs), 0);
  EXPECT_EQ(adc->StopRecord(), S_OK);
  EXPECT_EQ(Get(adc, &host::IADC3::get_Busy), VARIANT_FALSE);
  adc->Release();
}

#if !defined(_WIN64)
// A 32-bit host has 2 GB of address space. A ring it cannot hold is refused
// with a Buffer Error text, and the next ordinary ring records again.
TEST_F(Host, RingBeyondTheAddressSpaceIsABufferErrorAndRecordingGoesOn) {
  host::IADC3* adc = Create(true);
  ASSERT_NE(adc, nullptr);
  for (const auto& [request, error] : {std::pair<LONG, std::wstring>{900'000'000, L"Buffer Error 7"},  // 1.8 GB
                                       std::pair<LONG, std::wstring>{0x7FFFFFFF, L"Buffer Error 6"}}) {  // 4 GB
    LONG codes = request;
    adc->put_InputSizeData(&codes);
    EXPECT_EQ(Start(adc), VARIANT_FALSE);
    EXPECT_EQ(LastError(adc).substr(0, error.size()), error);
    codes = 4000;
    adc->put_InputSizeData(&codes);
    EXPECT_EQ(Start(adc, 1), VARIANT_TRUE);
    adc->StopRecord();
  }
  adc->Release();
}
#endif

TEST_F(Host, FailureToStartIsATextNotACOMError) {
  testsupport::SimConfigFile config(
      testsupport::SimIni().Task("Broken", "Sim.FailStart = -50103").Channel("a", "Dev1/ai0").Text());
  ScopedEnv task("NIADC_TASK", "Broken");
  host::IADC3* adc = Create(true);
  ASSERT_NE(adc, nullptr);
  EXPECT_EQ(Start(adc), VARIANT_FALSE);
  EXPECT_NE(LastError(adc).find(L"reserved"), std::wstring::npos) << testing::PrintToString(LastError(adc));
  adc->Release();
}

}  // namespace

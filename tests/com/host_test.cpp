// A host program's view of NI_DAQmx_Task: created by ProgID, called through
// the host's own declaration of IADC3, in the host's calling order, against
// the simulated NI-DAQmx.
#include <gtest/gtest.h>

#include <string>
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

// What a host reads straight from an array's descriptor, without the
// SafeArray functions: rgsabound holds the last dimension first.
struct Layout {
  USHORT dims;
  ULONG element_size;
  USHORT feature;
  VARTYPE type;
  std::vector<SAFEARRAYBOUND> stored_bounds;
};

void ExpectLayout(const char* what, SAFEARRAY* array, const Layout& expected) {
  ASSERT_NE(array, nullptr) << what;
  ASSERT_EQ(array->cDims, expected.dims) << what;
  EXPECT_EQ(array->cbElements, expected.element_size) << what;
  EXPECT_EQ(array->fFeatures & expected.feature, expected.feature) << what;
  VARTYPE type = VT_EMPTY;
  EXPECT_EQ(SafeArrayGetVartype(array, &type), S_OK) << what;
  EXPECT_EQ(type, expected.type) << what;
  for (USHORT d = 0; d < array->cDims; ++d) {
    EXPECT_EQ(array->rgsabound[d].cElements, expected.stored_bounds[d].cElements) << what << ", bound " << d;
    EXPECT_EQ(array->rgsabound[d].lLbound, expected.stored_bounds[d].lLbound) << what << ", bound " << d;
  }
}

class Host : public ::testing::Test {
 protected:
  host::IADC3* Create() {
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(L"NI.NI_DAQmx_Task", &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, host::kCLSID_NI_DAQmx_Task));
    host::IADC3* adc = nullptr;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, host::kIID_IADC3, reinterpret_cast<void**>(&adc)),
              S_OK);
    return adc;
  }
  // The object after a successful Test, as a host holds it before recording;
  // null (with the failure recorded) otherwise.
  host::IADC3* CreateDetected() {
    host::IADC3* adc = Create();
    VARIANT_BOOL detected = 0;
    if (adc != nullptr && (adc->Test(&detected) != S_OK || detected != VARIANT_TRUE)) {
      ADD_FAILURE() << "Test did not detect the task";
      adc->Release();
      return nullptr;
    }
    return adc;
  }
  static void StartAndWait(host::IADC3* adc, LONG frames) {
    VARIANT_BOOL started = VARIANT_FALSE;
    ASSERT_EQ(adc->StartRecord(&started), S_OK);
    ASSERT_EQ(started, VARIANT_TRUE);
    EXPECT_TRUE(testsupport::WaitUntil([&] {
      LONG counted = 0;
      adc->get_InputCountKadrs(&counted);
      return counted >= frames;
    }));
  }
  static std::wstring LastError(host::IADC3* adc) {
    BSTR text = nullptr;
    adc->get_LastError(&text);
    return Take(text);
  }

  comtest::MachineRegistration registration_;
  ScopedEnv task_{"NIADC_TASK", "Demo4ch"};
  comtest::Apartment apartment_;
};

TEST_F(Host, FreshObjectAnswersNeutralValuesAndOnlyContractViolationsAreCOMErrors) {
  host::IADC3* adc = Create();
  ASSERT_NE(adc, nullptr);
  BSTR text = nullptr;
  ASSERT_EQ(adc->get_ADCName(&text), S_OK);
  EXPECT_EQ(Take(text), L"NI-DAQmx-Task");
  VARIANT_BOOL flag = 1;
  EXPECT_EQ(adc->get_Detected(&flag), S_OK);
  EXPECT_EQ(flag, VARIANT_FALSE);
  SHORT port = 7;
  EXPECT_EQ(adc->get_BasePort(&port), S_OK);
  EXPECT_EQ(port, 0);
  SAFEARRAY* ranges = nullptr;
  ASSERT_EQ(adc->get_Ranges(&ranges), S_OK);
  ExpectLayout("Ranges", ranges, {1, sizeof(BSTR), FADF_BSTR, VT_BSTR, {{0, 0}}});
  SafeArrayDestroy(ranges);
  SAFEARRAY* kadr = reinterpret_cast<SAFEARRAY*>(1);
  EXPECT_EQ(adc->GetKadr(&kadr), S_OK);
  EXPECT_EQ(kadr, nullptr);
  LONG frames = -1;
  LONG size = 100;
  LONG waiting = -1;
  SHORT buffer[100] = {};
  EXPECT_EQ(adc->GetData(buffer, &size, &waiting, &frames), S_OK);
  EXPECT_EQ(frames, 0);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(adc->StartRecord(&flag), S_OK);  // not detected: refused, without a COM error
  EXPECT_EQ(flag, VARIANT_FALSE);
  EXPECT_EQ(LastError(adc), L"");

  SHORT index = 0;
  EXPECT_EQ(adc->get_ADCName(nullptr), E_POINTER);
  EXPECT_EQ(adc->Test(nullptr), E_POINTER);
  EXPECT_EQ(adc->get_ChannelName(nullptr, nullptr), E_POINTER);
  EXPECT_EQ(adc->get_ChannelRange(&index, nullptr), E_POINTER);
  EXPECT_EQ(adc->GetData(nullptr, &size, nullptr, &frames), E_POINTER);
  IUnknown* other = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(adc->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&other)), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(adc->Release(), 0u);
}

// The host's bitness decides pointer-sized elements; floats and booleans
// come back through the vtable as exact values.
TEST_F(Host, DescribesTheTaskAfterTest) {
  host::IADC3* adc = CreateDetected();
  ASSERT_NE(adc, nullptr);
  SHORT count = 0;
  SHORT port = 0;
  BYTE bits = 0;
  FLOAT rate = 0;
  FLOAT rate_max = 0;
  VARIANT_BOOL busy = VARIANT_TRUE;
  adc->get_ChannelsCount(&count);
  adc->get_BasePort(&port);
  adc->get_Resolution(&bits);
  adc->get_Rate(&rate);
  adc->get_RateMax(&rate_max);
  adc->get_Busy(&busy);
  EXPECT_EQ(count, 4);
  EXPECT_GT(port, 0);
  EXPECT_EQ(bits, 16);
  EXPECT_EQ(rate, 1000.0f);
  EXPECT_EQ(rate_max, 250000.0f);  // a PCIe-6363 shares 1 MS/s among the four channels
  EXPECT_EQ(busy, VARIANT_FALSE);

  SAFEARRAY* array = nullptr;
  ASSERT_EQ(adc->get_Ranges(&array), S_OK);
  ExpectLayout("Ranges", array, {1, sizeof(BSTR), FADF_BSTR, VT_BSTR, {{1, 0}}});
  EXPECT_STREQ(static_cast<BSTR*>(array->pvData)[0], L"\u00B110 V");  // the plus-minus sign survives
  SafeArrayDestroy(array);
  ASSERT_EQ(adc->get_InputChannels(&array), S_OK);
  ExpectLayout("InputChannels", array, {1, sizeof(SHORT), FADF_HAVEVARTYPE, VT_I2, {{4, 0}}});
  SafeArrayDestroy(array);

  for (SHORT c = 0; c < count; ++c) {
    BSTR text = nullptr;
    SHORT index = c;
    FLOAT scale = 0;
    adc->get_ChannelName(&index, &text);
    EXPECT_EQ(Take(text), L"ai" + std::to_wstring(c));
    adc->get_ChannelUnitName(&index, &text);
    EXPECT_EQ(Take(text), L"V");
    adc->get_ChannelUnitScale(&index, &scale);
    EXPECT_EQ(scale, 3200.0f);
  }
  for (SHORT outside : {SHORT{-1}, count}) {
    BSTR text = nullptr;
    FLOAT scale = 1;
    EXPECT_EQ(adc->get_ChannelName(&outside, &text), S_OK);
    EXPECT_EQ(Take(text), L"");
    EXPECT_EQ(adc->get_ChannelUnitScale(&outside, &scale), S_OK);
    EXPECT_EQ(scale, 0.0f);
  }
  adc->Release();
}

TEST_F(Host, RecordsWithGetDataAndInputData) {
  host::IADC3* adc = CreateDetected();
  ASSERT_NE(adc, nullptr);
  LONG request = 4000;
  EXPECT_EQ(adc->put_InputSizeData(&request), S_OK);
  LONG ring = 0;
  adc->get_InputSizeData(&ring);
  EXPECT_GT(ring, 0);
  StartAndWait(adc, 0);
  VARIANT_BOOL flag = VARIANT_FALSE;
  adc->get_Busy(&flag);
  EXPECT_EQ(flag, VARIANT_TRUE);  // all bits set, as a host's boolean test expects
  EXPECT_EQ(adc->StartRecord(&flag), S_OK);  // already recording
  EXPECT_EQ(flag, VARIANT_FALSE);

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

  // InputData: the channel table in column 0, then every waiting frame,
  // channel fastest.
  EXPECT_TRUE(testsupport::WaitUntil([&] {
    LONG counted = 0;
    adc->get_InputCountKadrs(&counted);
    return counted >= 2;
  }));
  SAFEARRAY* data = nullptr;
  ASSERT_EQ(adc->get_InputData(&data), S_OK);
  ASSERT_NE(data, nullptr);
  const ULONG columns = data->rgsabound[0].cElements;
  EXPECT_GE(columns, 3u);
  ExpectLayout("InputData", data, {2, sizeof(SHORT), FADF_HAVEVARTYPE, VT_I2, {{columns, 0}, {4, 0}}});
  for (SHORT c = 0; c < 4; ++c) EXPECT_EQ(static_cast<SHORT*>(data->pvData)[c], c);
  SafeArrayDestroy(data);
  LONG counted = -1;
  adc->get_InputCountKadrs(&counted);
  EXPECT_EQ(counted, 0);

  EXPECT_EQ(adc->StopRecord(), S_OK);
  adc->get_Busy(&flag);
  EXPECT_EQ(flag, VARIANT_FALSE);
  adc->Release();
}

#if !defined(_WIN64)
// A 32-bit host has 2 GB of address space. A ring it cannot hold is refused
// with a Buffer Error text, and the next ordinary ring records again.
TEST_F(Host, RingBeyondTheAddressSpaceIsABufferErrorAndRecordingGoesOn) {
  struct Case {
    LONG request;  // codes
    std::wstring error;
  };
  host::IADC3* adc = CreateDetected();
  ASSERT_NE(adc, nullptr);
  for (const Case& c : {Case{900'000'000, L"Buffer Error 7"},  // 1.8 GB: the allocation fails
                        Case{0x7FFFFFFF, L"Buffer Error 6"}}) {  // 4 GB: the size does not fit at all
    LONG request = c.request;
    adc->put_InputSizeData(&request);
    VARIANT_BOOL started = VARIANT_TRUE;
    ASSERT_EQ(adc->StartRecord(&started), S_OK);
    EXPECT_EQ(started, VARIANT_FALSE);
    EXPECT_EQ(LastError(adc).substr(0, c.error.size()), c.error);
    request = 4000;
    adc->put_InputSizeData(&request);
    StartAndWait(adc, 1);
    adc->StopRecord();
  }
  adc->Release();
}
#endif

TEST_F(Host, FailureToStartIsATextNotACOMError) {
  testsupport::SimConfigFile config(
      testsupport::SimIni().Task("Broken", "Sim.FailStart = -50103").Channel("a", "Dev1/ai0").Text());
  ScopedEnv task("NIADC_TASK", "Broken");
  host::IADC3* adc = CreateDetected();
  ASSERT_NE(adc, nullptr);
  VARIANT_BOOL flag = 0;
  ASSERT_EQ(adc->StartRecord(&flag), S_OK);
  EXPECT_EQ(flag, VARIANT_FALSE);
  EXPECT_NE(LastError(adc).find(L"reserved"), std::wstring::npos) << testing::PrintToString(LastError(adc));
  adc->Release();
}

TEST_F(Host, ParentAndGetADC3ReturnTheObjectWithOneMoreReference) {
  host::IADC3* adc = Create();
  ASSERT_NE(adc, nullptr);
  IUnknown* identity = nullptr;
  adc->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
  const ULONG before = identity->Release();
  IDispatch* parent = nullptr;
  ASSERT_EQ(adc->get_Parent(&parent), S_OK);
  EXPECT_EQ(adc->AddRef(), before + 2);
  adc->Release();
  IUnknown* parent_identity = nullptr;
  parent->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&parent_identity));
  EXPECT_EQ(parent_identity, identity);
  parent_identity->Release();
  parent->Release();

  // GetADC3 belongs to the class's default interface; called here by name.
  IDispatch* default_interface = nullptr;
  ASSERT_EQ(adc->QueryInterface(host::kIID_NI_DAQmx_Task, reinterpret_cast<void**>(&default_interface)), S_OK);
  LPOLESTR name = const_cast<LPOLESTR>(L"GetADC3");
  DISPID id = 0;
  ASSERT_EQ(default_interface->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
  DISPPARAMS none{};
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(
      default_interface->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
      S_OK);
  ASSERT_EQ(V_VT(&result), VT_DISPATCH);
  host::IADC3* again = nullptr;
  ASSERT_EQ(V_DISPATCH(&result)->QueryInterface(host::kIID_IADC3, reinterpret_cast<void**>(&again)), S_OK);
  EXPECT_EQ(again, adc);
  again->Release();
  VariantClear(&result);
  default_interface->Release();
  EXPECT_EQ(adc->Release(), 0u);
}

}  // namespace

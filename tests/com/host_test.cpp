// Hosts of NI_DAQmx_Task, created by ProgID: a program calling its own IADC3 in the host's
// calling order, late-bound clients calling members by name, and a VBScript run by cscript.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "tests/com/com_support.h"
#include "tests/com/host_adc3.h"
#include "tests/support/sim_config.h"
#include "tests/support/sim_env.h"
#include "tests/support/wait.h"

namespace {

using A = host::IADC3;

std::wstring Take(BSTR text) {
  std::wstring result = text != nullptr ? std::wstring(text, SysStringLen(text)) : std::wstring();
  SysFreeString(text);
  return result;
}

// A member's result as the host reads it.
template <class T>
T Get(A* adc, HRESULT (STDMETHODCALLTYPE A::*member)(T*)) {
  T value{};
  EXPECT_EQ((adc->*member)(&value), S_OK);
  return value;
}
template <class T>
T Get(A* adc, HRESULT (STDMETHODCALLTYPE A::*member)(SHORT*, T*), SHORT index) {
  T value{};
  EXPECT_EQ((adc->*member)(&index, &value), S_OK);
  return value;
}

class Host : public ::testing::Test {
 protected:
  template <class I = A>
  static I* Create(REFIID iid = host::kIID_IADC3) {
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(L"NI.NI_DAQmx_Task", &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, host::kCLSID_NI_DAQmx_Task));
    I* object = nullptr;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&object));
    return object;
  }
  static std::wstring LastError(A* adc) { return Take(Get(adc, &A::get_LastError)); }

  comtest::MachineRegistration registration_;
  testsupport::ScopedEnv task_{"NIADC_TASK", "Demo4ch"};
  comtest::Apartment apartment_;
};

// Floats, shorts and booleans come back through the vtable as exact values:
// a member in the wrong slot or with the wrong calling convention does not.
TEST_F(Host, RecordsInTheHostsCallingOrder) {
  A* adc = Create();
  ASSERT_NE(adc, nullptr);
  EXPECT_EQ(Get(adc, &A::StartRecord), VARIANT_FALSE);  // before Test: refused, not a COM error
  EXPECT_EQ(Get(adc, &A::GetKadr), nullptr);
  LONG size = 4 * 50 + 3;  // codes
  LONG waiting = -1;
  LONG frames = -1;
  EXPECT_EQ(adc->get_ADCName(nullptr), E_POINTER);  // only null pointers are COM errors
  BSTR text = nullptr;
  EXPECT_EQ(adc->get_ChannelName(nullptr, &text), E_POINTER);
  EXPECT_EQ(adc->GetData(nullptr, &size, nullptr, &frames), E_POINTER);

  ASSERT_EQ(Get(adc, &A::Test), VARIANT_TRUE);
  EXPECT_EQ(Take(Get(adc, &A::get_ADCName)), L"PCIe-6363");
  EXPECT_EQ(Get(adc, &A::get_ChannelsCount), 4);
  EXPECT_EQ(Get(adc, &A::get_BasePort), 1);  // the first task
  EXPECT_EQ(Get(adc, &A::get_Resolution), 16);
  EXPECT_EQ(Get(adc, &A::get_Rate), 1000.0f);
  EXPECT_EQ(Get(adc, &A::get_RateMax), 250000.0f);  // a PCIe-6363 shares 1 MS/s among four channels
  for (SHORT c = -1; c <= 4; ++c) {  // outside the channels: neutral values
    const bool inside = c >= 0 && c < 4;
    EXPECT_EQ(Take(Get(adc, &A::get_ChannelName, c)), inside ? L"ai" + std::to_wstring(c) : L"");
    EXPECT_EQ(Take(Get(adc, &A::get_ChannelUnitName, c)), inside ? L"V" : L"");
    EXPECT_EQ(Get(adc, &A::get_ChannelUnitScale, c), inside ? 3200.0f : 0.0f);
  }
  SAFEARRAY* array = Get(adc, &A::get_Ranges);  // arrays as a host reads them, from the descriptor
  ASSERT_NE(array, nullptr);
  EXPECT_EQ(array->cbElements, sizeof(BSTR));
  EXPECT_STREQ(static_cast<BSTR*>(array->pvData)[0], L"\u00B110 V");  // the plus-minus sign survives
  SafeArrayDestroy(array);
  array = Get(adc, &A::get_InputChannels);
  ASSERT_NE(array, nullptr);
  EXPECT_EQ(array->cbElements, sizeof(SHORT));
  SafeArrayDestroy(array);

  ASSERT_EQ(Get(adc, &A::StartRecord), VARIANT_TRUE);
  EXPECT_EQ(Get(adc, &A::get_Busy), VARIANT_TRUE);  // all bits set, as a host's boolean test expects
  ASSERT_TRUE(testsupport::WaitUntil([&] { return Get(adc, &A::get_InputCountKadrs) >= 60; }));
  std::vector<SHORT> buffer(size + 1, 0x5A5A);  // GetData: whole frames, never past the size given
  EXPECT_EQ(adc->GetData(buffer.data(), &size, &waiting, &frames), S_OK);
  EXPECT_EQ(frames, 50);
  EXPECT_EQ(size, 200);
  EXPECT_EQ(waiting % 4, 0);
  EXPECT_EQ(buffer[size], 0x5A5A);
  array = Get(adc, &A::get_InputData);  // the channel table in column 0, then every waiting frame
  ASSERT_NE(array, nullptr);
  ASSERT_EQ(array->cDims, 2);
  EXPECT_EQ(array->cbElements, sizeof(SHORT));
  EXPECT_EQ(array->rgsabound[1].cElements, 4u);  // rgsabound holds the last dimension first
  for (SHORT c = 0; c < 4; ++c) EXPECT_EQ(static_cast<SHORT*>(array->pvData)[c], c);
  SafeArrayDestroy(array);
  EXPECT_EQ(adc->StopRecord(), S_OK);
  EXPECT_EQ(adc->Release(), 0u);
}

#if !defined(_WIN64)
// 2 GB of address space: a ring it cannot hold is a Buffer Error, and the next ordinary ring records.
TEST_F(Host, RingBeyondTheAddressSpaceIsABufferErrorAndRecordingGoesOn) {
  A* adc = Create();
  ASSERT_NE(adc, nullptr);
  ASSERT_EQ(Get(adc, &A::Test), VARIANT_TRUE);
  const std::pair<LONG, std::wstring> rings[] = {{900'000'000, L"Buffer Error 7"},  // 1.8 GB: allocation fails
                                                 {0x7FFFFFFF, L"Buffer Error 6"}};  // 4 GB: does not fit at all
  for (const auto& [request, error] : rings) {
    LONG codes = request;
    adc->put_InputSizeData(&codes);
    EXPECT_EQ(Get(adc, &A::StartRecord), VARIANT_FALSE);
    EXPECT_TRUE(LastError(adc).starts_with(error)) << testing::PrintToString(LastError(adc));
    codes = 4000;
    adc->put_InputSizeData(&codes);
    EXPECT_EQ(Get(adc, &A::StartRecord), VARIANT_TRUE);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return Get(adc, &A::get_InputCountKadrs) > 0; }));
    adc->StopRecord();
  }
  adc->Release();
}
#endif

TEST_F(Host, FailureToStartIsATextNotACOMError) {
  testsupport::SimConfigFile config(
      testsupport::SimIni().Task("Broken", "Sim.FailStart = -50103").Channel("a", "Dev1/ai0").Text());
  testsupport::ScopedEnv task("NIADC_TASK", "Broken");
  A* adc = Create();
  ASSERT_NE(adc, nullptr);
  ASSERT_EQ(Get(adc, &A::Test), VARIANT_TRUE);
  EXPECT_EQ(Get(adc, &A::StartRecord), VARIANT_FALSE);
  EXPECT_NE(LastError(adc).find(L"reserved"), std::wstring::npos) << testing::PrintToString(LastError(adc));
  adc->Release();
}

// A variant of `type` whose value part holds `pointer`.
VARIANT Typed(VARTYPE type, void* pointer) {
  VARIANT v{};
  V_VT(&v) = type;
  V_BYREF(&v) = pointer;
  return v;
}

VARIANT Missing() {
  VARIANT v = Typed(VT_ERROR, nullptr);
  V_ERROR(&v) = DISP_E_PARAMNOTFOUND;
  return v;
}

constexpr SHORT kUntouched = 0x7777;

// Host memory for one GetData call, and its arguments (a well-formed call by default). The
// elements end where a no-access page begins; codes start as kUntouched, VARIANTs empty.
struct HostMemory {
  static constexpr size_t kPage = 4096;
  HostMemory() : base(static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * kPage, MEM_COMMIT, PAGE_READWRITE))) {
    DWORD old = 0;
    VirtualProtect(base + kPage, kPage, PAGE_NOACCESS, &old);
    args[2] = Array(VT_I2, {{8, 0}}, 2);
  }
  ~HostMemory() {
    SafeArrayDestroyDescriptor(array);
    VirtualFree(base, 0, MEM_RELEASE);
  }
  // An array of new elements, bounds in declaration order (FADF_HAVEVARTYPE: stored as VT_I2).
  VARIANT Array(VARTYPE declared, std::vector<SAFEARRAYBOUND> bounds, ULONG bytes, USHORT features = 0,
                bool with_data = true) {
    count = 1;
    for (const SAFEARRAYBOUND& b : bounds) count *= b.cElements;
    element_size = bytes;
    if (bytes == sizeof(SHORT)) std::fill_n(reinterpret_cast<SHORT*>(base + kPage) - count, count, kUntouched);
    SafeArrayDestroyDescriptor(array);
    SafeArrayAllocDescriptorEx(VT_I2, static_cast<UINT>(bounds.size()), &array);
    array->cbElements = bytes;
    array->fFeatures = features;
    std::copy(bounds.rbegin(), bounds.rend(), array->rgsabound);  // the descriptor keeps them last first
    array->pvData = with_data ? base + kPage - count * bytes : nullptr;
    return Typed(VT_ARRAY | declared, array);
  }
  // The elements as codes; a VARIANT that received none counts as kUntouched.
  std::vector<SHORT> Codes() const {
    std::vector<SHORT> codes;
    for (BYTE* e = base + kPage - count * element_size; e < base + kPage; e += element_size) {
      const auto* v = reinterpret_cast<const VARIANT*>(e);
      if (element_size == sizeof(SHORT)) codes.push_back(*reinterpret_cast<const SHORT*>(e));
      if (element_size == sizeof(VARIANT)) codes.push_back(V_VT(v) == VT_I2 ? V_I2(v) : kUntouched);
    }
    return codes;
  }

  BYTE* base;
  SAFEARRAY* array = nullptr;
  size_t count = 0;
  size_t element_size = 0;
  LONG data_size = 1000;
  LONG waiting = -1;
  double real = 0;
  VARIANT variable{};  // a script variable
  VARIANT args[3] = {Typed(VT_BYREF | VT_I4, &waiting), Typed(VT_BYREF | VT_I4, &data_size), {}};  // last first
};

// The object as CreateObject gives it: its default IDispatch.
class LateBound : public Host {
 protected:
  void SetUp() override { ASSERT_NE(object_ = Create<IDispatch>(IID_IDispatch), nullptr); }
  void TearDown() override { EXPECT_TRUE(object_ == nullptr || object_->Release() == 0u) << "references left"; }
  // Arguments last first, as Invoke takes them.
  HRESULT Call(const wchar_t* name, WORD flags, std::vector<VARIANT> args, VARIANT* result,
               UINT* arg_error = nullptr) {
    LPOLESTR names = const_cast<LPOLESTR>(name);
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(object_->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id), S_OK) << name;
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{args.data(), &put, static_cast<UINT>(args.size()), flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
    return object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, arg_error);
  }
  VARIANT Get(const wchar_t* name) {
    VARIANT result{};
    EXPECT_EQ(Call(name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &result), S_OK) << name;
    return result;
  }

  IDispatch* object_ = nullptr;
};

TEST_F(LateBound, ParentAndGetADC3AreTheObjectWithOneMoreReference) {
  VARIANT parent = Get(L"Parent");
  VARIANT adc3 = Get(L"GetADC3");
  IDispatch* expected = nullptr;
  object_->QueryInterface(host::kIID_IADC3, reinterpret_cast<void**>(&expected));
  EXPECT_EQ(V_DISPATCH(&parent), object_);
  EXPECT_EQ(V_DISPATCH(&adc3), expected);
  EXPECT_EQ(expected->Release(), 3u);  // the test's, Parent's and GetADC3's
  VariantClear(&parent);
  VariantClear(&adc3);
}

TEST_F(LateBound, OtherMembersRefuseNullReferencesAndIgnoreBrokenTables) {
  HostMemory m;
  EXPECT_EQ(Call(L"ChannelName", DISPATCH_PROPERTYGET, {Typed(VT_BYREF | VT_VARIANT, nullptr)}, nullptr),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Call(L"ChannelName", DISPATCH_PROPERTYGET, {Missing()}, nullptr), DISP_E_PARAMNOTOPTIONAL);
  EXPECT_EQ(Call(L"InputChannels", DISPATCH_PROPERTYPUT, {m.Array(VT_I2, {{10, 0}}, 2, 0, false)}, nullptr), S_OK);
}

TEST_F(LateBound, GetDataTakesOnlyWhatFitsAndRefusesEveryOtherShape) {
  // Two counting channels, free-running: every frame carries its number.
  testsupport::SimConfigFile config(testsupport::SimIni()
      .Task("Count", "SampClk.Rate = 100000\nSim.FreeRunning = 1")
      .Channel("low", "Dev1/ai0", "Sim.Signal = Counter")
      .Channel("high", "Dev1/ai1", "Sim.Signal = Counter\nSim.CounterDivisor = 64001")
      .Text());
  testsupport::ScopedEnv task("NIADC_TASK", "Count");
  using M = HostMemory&;
  struct Shape {
    const char* name;
    UINT argument;  // replaced, as Invoke counts: 2 = Data, 1 = DataSize, 0 = InputCountData
    VARIANT (*make)(HostMemory&);
    HRESULT expected;
    LONG frames = 0;
  };
  constexpr HRESULT kMismatch = DISP_E_TYPEMISMATCH;
  const Shape shapes[] = {
      {"1-D codes, no stored type", 2, [](M m) { return m.Array(VT_I2, {{9, 0}}, 2); }, S_OK, 4},
      {"2-D codes by reference, bounds from 1 and -5, DataSize below them", 2,
       [](M m) {
         m.data_size = 5;
         m.Array(VT_I2, {{2, 1}, {3, -5}}, 2, FADF_HAVEVARTYPE);
         return Typed(VT_BYREF | VT_ARRAY | VT_I2, &m.array);
       },
       S_OK, 2},
      {"2-D VARIANTs in a script variable", 2,
       [](M m) {
         m.variable = m.Array(VT_VARIANT, {{1, 0}, {5, 7}}, sizeof(VARIANT), FADF_VARIANT);
         return Typed(VT_BYREF | VT_VARIANT, &m.variable);
       },
       S_OK, 2},
      {"one short by reference", 2, [](M m) { return Typed(VT_BYREF | VT_I2, m.base + m.kPage - 2); }, S_OK},
      {"a short by value", 2, [](M) { return Typed(VT_I2, nullptr); }, kMismatch},
      {"a null variable reference", 2, [](M) { return Typed(VT_BYREF | VT_VARIANT, nullptr); }, kMismatch},
      {"an array without data", 2, [](M m) { return m.Array(VT_I2, {{10, 0}}, 2, 0, false); }, kMismatch},
      {"codes declared as VARIANTs", 2, [](M m) { return m.Array(VT_VARIANT, {{8, 0}}, 2); }, kMismatch},
      {"doubles", 2, [](M m) { return m.Array(VT_R8, {{8, 0}}, 8); }, kMismatch},
      {"Data left out", 2, [](M) { return Missing(); }, DISP_E_PARAMNOTOPTIONAL},
      {"a null DataSize reference", 1, [](M) { return Typed(VT_BYREF | VT_I4, nullptr); }, kMismatch},
      {"InputCountData, a double reference", 0, [](M m) { return Typed(VT_BYREF | VT_R8, &m.real); }, kMismatch},
      {"codes after every refusal", 2, [](M m) { return m.Array(VT_I2, {{20, 0}}, 2); }, S_OK, 10},
  };

  Get(L"Test");
  VARIANT started = Get(L"StartRecord");
  ASSERT_EQ(V_BOOL(&started), VARIANT_TRUE);
  EXPECT_TRUE(testsupport::WaitUntil([&] {  // enough frames wait for every call to fill what it may
    VARIANT counted = Get(L"InputCountKadrs");
    return V_I4(&counted) >= 64;
  }));
  std::vector<long long> seen;  // frame numbers, in the order fetched
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(shape.name);
    HostMemory m;
    m.args[shape.argument] = shape.make(m);
    VARIANT result{};
    UINT arg_error = 99;
    ASSERT_EQ(Call(L"GetData", DISPATCH_METHOD, {m.args, m.args + 3}, &result, &arg_error), shape.expected);
    const LONG frames = SUCCEEDED(shape.expected) ? V_I4(&result) : 0;
    EXPECT_EQ(frames, shape.frames);
    EXPECT_EQ(arg_error, SUCCEEDED(shape.expected) ? 99u : shape.argument);
    const std::vector<SHORT> codes = m.Codes();
    for (size_t i = 2 * static_cast<size_t>(frames); i < codes.size(); ++i) EXPECT_EQ(codes[i], kUntouched) << i;
    for (int f = 0; f < frames; ++f) seen.push_back((codes[2 * f + 1] + 32000LL) * 64001 + codes[2 * f] + 32000);
  }
  Get(L"StopRecord");
  for (size_t i = 0; i < seen.size(); ++i) ASSERT_EQ(seen[i], static_cast<long long>(i)) << "frame " << i;
}

TEST_F(Host, VBScriptRecordsFramesByName) {
  testsupport::SimConfigFile config(testsupport::SimIni().Task("One").Channel("ai0", "Dev1/ai0").Text());
  testsupport::ScopedEnv task("NIADC_TASK", "One");
  const auto result =
      comtest::RunProcess(L"cscript.exe //nologo \"" + comtest::TestFolder() + L"\\record.vbs\"", 120000);
  ASSERT_TRUE(result.finished) << result.output;
  EXPECT_EQ(result.exit_code, 0u) << result.output;
  EXPECT_NE(result.output.find("done"), std::string::npos) << result.output;
}

}  // namespace

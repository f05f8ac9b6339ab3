// Late-bound clients: IADC3's members by name on the object CreateObject
// returns, with arguments as script engines pass them, and a VBScript run by
// Wine's cscript.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/com/com_support.h"
#include "tests/com/host_adc3.h"
#include "tests/support/sim_config.h"
#include "tests/support/sim_env.h"
#include "tests/support/wait.h"

namespace {

using testsupport::ScopedEnv;

// A variant of `type` whose value part holds `pointer`.
VARIANT Typed(VARTYPE type, void* pointer) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = type;
  V_BYREF(&v) = pointer;
  return v;
}

// An optional argument left out.
VARIANT Missing() {
  VARIANT v = Typed(VT_ERROR, nullptr);
  V_ERROR(&v) = DISP_E_PARAMNOTFOUND;
  return v;
}

// The object as CreateObject gives it: its default IDispatch.
class LateBound : public ::testing::Test {
 protected:
  void SetUp() override {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(L"NI.NI_DAQmx_Task", &clsid), S_OK);
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object_)),
              S_OK);
  }
  void TearDown() override {
    EXPECT_TRUE(object_ == nullptr || object_->Release() == 0u) << "references left";
  }
  // Arguments in the caller's order (Invoke takes them last first).
  HRESULT Call(const wchar_t* name, WORD flags, std::vector<VARIANT> args, VARIANT* result, UINT* arg_error = nullptr) {
    LPOLESTR names = const_cast<LPOLESTR>(name);
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(object_->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id), S_OK) << "no member " << name;
    std::reverse(args.begin(), args.end());
    DISPID put = DISPID_PROPERTYPUT;
    const bool let = flags == DISPATCH_PROPERTYPUT;
    DISPPARAMS params{args.data(), let ? &put : nullptr, static_cast<UINT>(args.size()), let ? 1u : 0u};
    return object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, arg_error);
  }
  VARIANT Get(const wchar_t* name) {
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(Call(name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &result), S_OK) << name;
    return result;
  }

  comtest::MachineRegistration registration_;
  ScopedEnv task_{"NIADC_TASK", "Demo4ch"};
  comtest::Apartment apartment_;
  IDispatch* object_ = nullptr;
};

// Parent is the default interface, whose GetADC3 gives IADC3 back; each
// hands out one more reference (TearDown releases the last one).
TEST_F(LateBound, ParentAndGetADC3AreTheObjectWithOneMoreReference) {
  VARIANT parent = Get(L"Parent");
  VARIANT adc3 = Get(L"GetADC3");
  EXPECT_EQ(V_DISPATCH(&parent), object_);
  EXPECT_EQ(object_->AddRef(), 4u);
  object_->Release();
  IDispatch* expected = nullptr;
  object_->QueryInterface(host::kIID_IADC3, reinterpret_cast<void**>(&expected));
  EXPECT_EQ(V_DISPATCH(&adc3), expected);
  expected->Release();
  VariantClear(&parent);
  VariantClear(&adc3);
}

TEST_F(LateBound, OtherMembersRefuseNullReferencesAndIgnoreBrokenTables) {
  SAFEARRAY* no_data = nullptr;
  SafeArrayAllocDescriptor(1, &no_data);  // claims 10 codes, holds none
  no_data->cbElements = 2;
  no_data->rgsabound[0].cElements = 10;
  struct Case {
    const wchar_t* member;
    WORD flags;
    VARIANT argument;
    HRESULT expected;
  };
  for (const Case& c : {Case{L"ChannelName", DISPATCH_PROPERTYGET, Typed(VT_BYREF | VT_VARIANT, nullptr),
                             DISP_E_TYPEMISMATCH},
                        Case{L"ChannelName", DISPATCH_PROPERTYGET, Missing(), DISP_E_PARAMNOTOPTIONAL},
                        Case{L"GetChannel", DISPATCH_METHOD, Typed(VT_BYREF | VT_I2, nullptr), DISP_E_TYPEMISMATCH},
                        Case{L"InputChannels", DISPATCH_PROPERTYPUT, Typed(VT_ARRAY | VT_I2, no_data), S_OK}}) {
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(Call(c.member, c.flags, {c.argument}, &result), c.expected) << c.member;
    VariantClear(&result);
  }
  SafeArrayDestroyDescriptor(no_data);
}

constexpr SHORT kUntouched = 0x7777;
constexpr UINT kNone = 99;  // no argument at fault

// Host memory for one GetData call, and the call's arguments. The elements
// end where a no-access page begins, so a write past them faults; codes
// start as kUntouched, VARIANTs empty.
struct HostMemory {
  static constexpr size_t kPage = 4096;
  HostMemory() {
    base = static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    VirtualProtect(base + kPage, kPage, PAGE_NOACCESS, &old);
    args[0] = Typed(VT_ARRAY | VT_I2, Array({{8, 0}}, 2, 0));
  }
  ~HostMemory() {
    SafeArrayDestroyDescriptor(array);
    VirtualFree(base, 0, MEM_RELEASE);
  }
  BYTE* Elements(size_t n, size_t bytes) {
    count = n;
    element_size = bytes;
    BYTE* first = base + kPage - n * bytes;
    if (bytes == sizeof(SHORT)) std::fill_n(reinterpret_cast<SHORT*>(first), n, kUntouched);
    return first;
  }
  // A descriptor over new elements: bounds in declaration order, features
  // as given (with FADF_HAVEVARTYPE, the stored type is VT_I2).
  SAFEARRAY* Array(std::vector<SAFEARRAYBOUND> bounds, ULONG bytes, USHORT features, bool with_data = true) {
    size_t n = 1;
    for (const SAFEARRAYBOUND& b : bounds) n *= b.cElements;
    SafeArrayDestroyDescriptor(array);
    SafeArrayAllocDescriptorEx(VT_I2, static_cast<UINT>(bounds.size()), &array);
    array->cbElements = bytes;
    array->fFeatures = features;
    std::copy(bounds.rbegin(), bounds.rend(), array->rgsabound);  // the descriptor keeps them last first
    array->pvData = with_data ? Elements(n, bytes) : nullptr;
    return array;
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

  BYTE* base = nullptr;
  SAFEARRAY* array = nullptr;
  size_t count = 0;
  size_t element_size = 0;
  LONG data_size = 1000;
  LONG waiting = -1;
  double real = 0;
  VARIANT variable{};  // a script variable holding an array
  // Data, DataSize, InputCountData.
  VARIANT args[3] = {{}, Typed(VT_BYREF | VT_I4, &data_size), Typed(VT_BYREF | VT_I4, &waiting)};
};

TEST_F(LateBound, GetDataTakesOnlyWhatFitsAndRefusesEveryOtherShape) {
  // Two counting channels, free-running: every frame carries its number.
  testsupport::SimConfigFile config(testsupport::SimIni()
                                        .Task("Count", "SampClk.Rate = 100000\nSim.FreeRunning = 1")
                                        .Channel("low", "Dev1/ai0", "Sim.Signal = Counter")
                                        .Channel("high", "Dev1/ai1", "Sim.Signal = Counter\nSim.CounterDivisor = 64001")
                                        .Text());
  ScopedEnv task("NIADC_TASK", "Count");
  using M = HostMemory&;
  struct Shape {
    const char* name;
    void (*prepare)(HostMemory&);  // replaces an argument of a well-formed call
    HRESULT expected;
    UINT arg_error;  // as Invoke counts, last first: 2 = Data, 1 = DataSize, 0 = InputCountData
    LONG frames;
  };
  const Shape shapes[] = {
      {"1-D codes without a stored type", [](M m) { m.args[0] = Typed(VT_ARRAY | VT_I2, m.Array({{9, 0}}, 2, 0)); },
       S_OK, kNone, 4},
      {"2-D codes by reference, bounds from 1 and -5, DataSize below them",
       [](M m) {
         m.Array({{2, 1}, {3, -5}}, 2, FADF_HAVEVARTYPE);
         m.args[0] = Typed(VT_BYREF | VT_ARRAY | VT_I2, &m.array);
         m.data_size = 5;
       },
       S_OK, kNone, 2},
      {"2-D VARIANTs in a script variable",
       [](M m) {
         m.variable = Typed(VT_ARRAY | VT_VARIANT, m.Array({{1, 0}, {5, 7}}, sizeof(VARIANT), FADF_VARIANT));
         m.args[0] = Typed(VT_BYREF | VT_VARIANT, &m.variable);
       },
       S_OK, kNone, 2},
      {"one short by reference", [](M m) { m.args[0] = Typed(VT_BYREF | VT_I2, m.Elements(1, 2)); }, S_OK, kNone, 0},
      {"a short by value", [](M m) { m.args[0] = Typed(VT_I2, nullptr); }, DISP_E_TYPEMISMATCH, 2, 0},
      {"a null variable reference", [](M m) { m.args[0] = Typed(VT_BYREF | VT_VARIANT, nullptr); },
       DISP_E_TYPEMISMATCH, 2, 0},
      {"a null array reference", [](M m) { m.args[0] = Typed(VT_BYREF | VT_ARRAY | VT_I2, nullptr); },
       DISP_E_TYPEMISMATCH, 2, 0},
      {"an array without data", [](M m) { m.args[0] = Typed(VT_ARRAY | VT_I2, m.Array({{10, 0}}, 2, 0, false)); },
       DISP_E_TYPEMISMATCH, 2, 0},
      {"codes declared as VARIANTs", [](M m) { m.args[0] = Typed(VT_ARRAY | VT_VARIANT, m.Array({{8, 0}}, 2, 0)); },
       DISP_E_TYPEMISMATCH, 2, 0},
      {"doubles", [](M m) { m.args[0] = Typed(VT_ARRAY | VT_R8, m.Array({{8, 0}}, 8, 0)); }, DISP_E_TYPEMISMATCH, 2,
       0},
      {"Data left out", [](M m) { m.args[0] = Missing(); }, DISP_E_PARAMNOTOPTIONAL, 2, 0},
      {"a null DataSize reference", [](M m) { m.args[1] = Typed(VT_BYREF | VT_I4, nullptr); }, DISP_E_TYPEMISMATCH,
       1, 0},
      {"a null InputCountData reference", [](M m) { m.args[2] = Typed(VT_BYREF | VT_I4, nullptr); },
       DISP_E_TYPEMISMATCH, 0, 0},
      {"InputCountData as a double by reference", [](M m) { m.args[2] = Typed(VT_BYREF | VT_R8, &m.real); },
       DISP_E_TYPEMISMATCH, 0, 0},
      {"codes after every refusal", [](M m) { m.args[0] = Typed(VT_ARRAY | VT_I2, m.Array({{20, 0}}, 2, 0)); }, S_OK,
       kNone, 10},
  };

  VARIANT ok = Get(L"Test");
  ok = Get(L"StartRecord");
  ASSERT_EQ(V_BOOL(&ok), VARIANT_TRUE);
  std::vector<std::int64_t> received;  // frame numbers, in the order fetched
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(shape.name);
    EXPECT_TRUE(testsupport::WaitUntil([&] {  // enough frames wait for every call to fill what it may
      VARIANT counted = Get(L"InputCountKadrs");
      return V_I4(&counted) >= 64;
    }));
    HostMemory memory;
    shape.prepare(memory);
    VARIANT result;
    VariantInit(&result);
    UINT arg_error = kNone;
    ASSERT_EQ(Call(L"GetData", DISPATCH_METHOD, {memory.args[0], memory.args[1], memory.args[2]}, &result, &arg_error),
              shape.expected);
    const LONG frames = SUCCEEDED(shape.expected) ? V_I4(&result) : 0;
    EXPECT_EQ(frames, shape.frames);
    EXPECT_EQ(arg_error, shape.arg_error);
    const std::vector<SHORT> codes = memory.Codes();
    for (size_t i = 2 * static_cast<size_t>(frames); i < codes.size(); ++i) EXPECT_EQ(codes[i], kUntouched) << i;
    for (LONG f = 0; f < frames; ++f) received.push_back((codes[2 * f + 1] + 32000LL) * 64001 + codes[2 * f] + 32000);
  }
  Get(L"StopRecord");
  for (size_t i = 0; i < received.size(); ++i) ASSERT_EQ(received[i], static_cast<std::int64_t>(i)) << "frame " << i;
}

TEST(Script, VBScriptRecordsFramesByName) {
  comtest::MachineRegistration registration;
  ScopedEnv task("NIADC_TASK", "Demo4ch");
  const auto result =
      comtest::RunProcess(L"cscript.exe //nologo \"" + comtest::TestFolder() + L"\\record.vbs\"", 120000);
  ASSERT_TRUE(result.finished) << result.output;
  EXPECT_EQ(result.exit_code, 0u) << result.output;
  EXPECT_NE(result.output.find("done"), std::string::npos) << result.output;
}

}  // namespace

// Late-bound clients: IADC3's members by name on the object CreateObject
// returns, argument coercion as script engines pass arguments, arrays a
// script can index, and a VBScript run by Wine's cscript.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/com/com_support.h"
#include "tests/support/sim_config.h"
#include "tests/support/sim_env.h"
#include "tests/support/wait.h"

namespace {

using testsupport::ScopedEnv;

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
    if (object_ != nullptr) {
      EXPECT_EQ(object_->Release(), 0u);
    }
  }

  DISPID Id(const wchar_t* name) {
    LPOLESTR names = const_cast<LPOLESTR>(name);
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(object_->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id), S_OK) << "no member named so";
    return id;
  }
  // Arguments in the caller's order (Invoke takes them last first).
  HRESULT Call(const wchar_t* name, WORD flags, std::vector<VARIANT> args, VARIANT* result) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (flags == DISPATCH_PROPERTYPUT) {
      params.rgdispidNamedArgs = &put;
      params.cNamedArgs = 1;
    }
    return object_->Invoke(Id(name), IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
  }
  VARIANT Get(const wchar_t* name, std::vector<VARIANT> args = {}) {
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(Call(name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, std::move(args), &result), S_OK);
    return result;
  }
  // Test, StartRecord, and at least `frames` frames waiting.
  void Record(LONG frames) {
    VARIANT ok = Get(L"Test");
    ASSERT_EQ(V_BOOL(&ok), VARIANT_TRUE);
    ok = Get(L"StartRecord");
    ASSERT_EQ(V_BOOL(&ok), VARIANT_TRUE);
    EXPECT_TRUE(testsupport::WaitUntil([&] {
      VARIANT counted = Get(L"InputCountKadrs");
      return V_I4(&counted) >= frames;
    }));
  }

  comtest::MachineRegistration registration_;
  ScopedEnv task_{"NIADC_TASK", "Demo4ch"};
  comtest::Apartment apartment_;
  IDispatch* object_ = nullptr;
};

VARIANT Short(SHORT value) {
  VARIANT v;
  V_VT(&v) = VT_I2;
  V_I2(&v) = value;
  return v;
}

VARIANT RefTo(VARIANT* variable) {
  VARIANT v;
  V_VT(&v) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&v) = variable;
  return v;
}

TEST_F(LateBound, CallsIADC3MembersByNameWithScriptArguments) {
  VARIANT ok = Get(L"Test");
  ASSERT_EQ(V_VT(&ok), VT_BOOL);
  EXPECT_EQ(V_BOOL(&ok), VARIANT_TRUE);
  VARIANT count = Get(L"ChannelsCount");
  EXPECT_EQ(V_VT(&count), VT_I2);
  EXPECT_EQ(V_I2(&count), 4);
  VARIANT name = Get(L"ChannelName", {Short(2)});
  ASSERT_EQ(V_VT(&name), VT_BSTR);
  EXPECT_STREQ(V_BSTR(&name), L"ai2");
  VariantClear(&name);
  // A property let with an argument, as `adc.ChannelRange(0) = 1` does: accepted.
  EXPECT_EQ(Call(L"ChannelRange", DISPATCH_PROPERTYPUT, {Short(0), Short(1)}, nullptr), S_OK);

  VARIANT variable;
  V_VT(&variable) = VT_BSTR;
  V_BSTR(&variable) = SysAllocString(L"1");  // a script variable holding text, passed by reference
  name = Get(L"ChannelName", {RefTo(&variable)});
  ASSERT_EQ(V_VT(&name), VT_BSTR);
  EXPECT_STREQ(V_BSTR(&name), L"ai1");
  EXPECT_EQ(V_VT(&variable), VT_I2);
  VariantClear(&name);
  VariantClear(&variable);
}

TEST_F(LateBound, ArraysComeBackAsVariantArraysWithTheirBounds) {
  Record(1);
  VARIANT ranges = Get(L"Ranges");
  ASSERT_EQ(V_VT(&ranges), VT_ARRAY | VT_VARIANT);
  LONG upper = -2;
  SafeArrayGetUBound(V_ARRAY(&ranges), 1, &upper);
  EXPECT_EQ(upper, 0);
  VariantClear(&ranges);
  VARIANT data = Get(L"InputData");
  ASSERT_EQ(V_VT(&data), VT_ARRAY | VT_VARIANT);
  ASSERT_EQ(SafeArrayGetDim(V_ARRAY(&data)), 2u);
  LONG rows = 0;
  LONG columns = 0;
  SafeArrayGetUBound(V_ARRAY(&data), 1, &rows);
  SafeArrayGetUBound(V_ARRAY(&data), 2, &columns);
  EXPECT_EQ(rows, 3);
  EXPECT_GT(columns, 0);
  LONG at[2] = {3, 0};
  VARIANT cell;
  VariantInit(&cell);
  SafeArrayGetElement(V_ARRAY(&data), at, &cell);
  EXPECT_EQ(V_VT(&cell), VT_I2);
  EXPECT_EQ(V_I2(&cell), 3);
  VariantClear(&data);
  Get(L"StopRecord");
}

TEST_F(LateBound, GetDataNeverWritesPastTheOneValueAScriptPassed) {
  testsupport::SimConfigFile config(
      testsupport::SimIni().Task("One", "Sim.FreeRunning = 1").Channel("a", "Dev1/ai0").Text());
  ScopedEnv task("NIADC_TASK", "One");
  Record(2);
  VARIANT guarded[3] = {Short(0x1111), Short(0), Short(0x2222)};
  VARIANT size;
  V_VT(&size) = VT_I4;
  V_I4(&size) = 100;
  VARIANT waiting;
  VariantInit(&waiting);
  VARIANT frames = Get(L"GetData", {RefTo(&guarded[1]), RefTo(&size), RefTo(&waiting)});
  EXPECT_EQ(V_I4(&frames), 1);
  EXPECT_EQ(V_I4(&size), 1);
  EXPECT_EQ(V_VT(&guarded[1]), VT_I2);
  EXPECT_EQ(V_VT(&guarded[0]), VT_I2);
  EXPECT_EQ(V_I2(&guarded[0]), 0x1111);
  EXPECT_EQ(V_VT(&guarded[2]), VT_I2);
  EXPECT_EQ(V_I2(&guarded[2]), 0x2222);
  Get(L"StopRecord");
}

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

TEST_F(LateBound, OtherMembersRefuseNullReferencesAndIgnoreBrokenTables) {
  Get(L"Test");
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
  for (const Case& c : std::vector<Case>{
           {L"ChannelName", DISPATCH_PROPERTYGET, RefTo(nullptr), DISP_E_TYPEMISMATCH},
           {L"ChannelName", DISPATCH_PROPERTYGET, Missing(), DISP_E_PARAMNOTOPTIONAL},
           {L"GetChannel", DISPATCH_METHOD, Typed(VT_BYREF | VT_I2, nullptr), DISP_E_TYPEMISMATCH},
           // ignored, as every table is
           {L"InputChannels", DISPATCH_PROPERTYPUT, Typed(VT_ARRAY | VT_I2, no_data), S_OK},
       }) {
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(Call(c.member, c.flags, {c.argument}, &result), c.expected) << c.member;
    VariantClear(&result);
  }
  SafeArrayDestroyDescriptor(no_data);
}

// Bytes that end where a no-access page begins: a write past them faults.
class GuardedBytes {
 public:
  explicit GuardedBytes(size_t bytes) {
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    const size_t page = system.dwPageSize;
    const size_t pages = (bytes + page - 1) / page + 1;
    base_ = static_cast<BYTE*>(VirtualAlloc(nullptr, (pages + 1) * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    VirtualProtect(base_ + pages * page, page, PAGE_NOACCESS, &old);
    data_ = base_ + pages * page - bytes;
  }
  ~GuardedBytes() { VirtualFree(base_, 0, MEM_RELEASE); }
  GuardedBytes(const GuardedBytes&) = delete;
  GuardedBytes& operator=(const GuardedBytes&) = delete;
  template <class T>
  T* As() const {
    return reinterpret_cast<T*>(data_);
  }

 private:
  BYTE* base_ = nullptr;
  BYTE* data_ = nullptr;
};

constexpr SHORT kUntouched = 0x7777;

// One hostile GetData call: its arguments, and what its host memory holds
// afterwards (codes; kUntouched where nothing was written).
struct HostileCall {
  VARIANT data{}, size{}, waiting{};
  std::function<std::vector<SHORT>()> contents = [] { return std::vector<SHORT>{}; };
  std::shared_ptr<void> keep;  // the memory and descriptors behind the arguments
};

// A descriptor over guarded memory: elements of `element_size` bytes, with
// the features given (none: as SafeArrayAllocDescriptor makes it; with
// FADF_HAVEVARTYPE, the element type is VT_I2).
struct GuardedArray {
  GuardedArray(std::vector<SAFEARRAYBOUND> bounds, ULONG element_size, USHORT features, bool with_data = true)
      : memory(std::make_unique<GuardedBytes>(Count(bounds) * element_size)) {
    const auto dims = static_cast<UINT>(bounds.size());
    if ((features & FADF_HAVEVARTYPE) != 0) {
      SafeArrayAllocDescriptorEx(VT_I2, dims, &array);
    } else {
      SafeArrayAllocDescriptor(dims, &array);
    }
    array->cbElements = element_size;
    array->fFeatures = features;
    std::copy(bounds.rbegin(), bounds.rend(), array->rgsabound);  // the descriptor keeps them last first
    array->pvData = with_data ? memory->As<void>() : nullptr;
  }
  ~GuardedArray() { SafeArrayDestroyDescriptor(array); }
  static size_t Count(const std::vector<SAFEARRAYBOUND>& bounds) {
    size_t n = 1;
    for (const auto& b : bounds) n *= b.cElements;
    return n;
  }
  std::unique_ptr<GuardedBytes> memory;
  SAFEARRAY* array = nullptr;
};

HostileCall CodesIn(std::vector<SAFEARRAYBOUND> bounds, USHORT features, bool by_reference, LONG data_size = 1000) {
  auto guarded = std::make_shared<GuardedArray>(bounds, 2, features);
  const size_t count = GuardedArray::Count(bounds);
  std::fill_n(guarded->memory->As<SHORT>(), count, kUntouched);
  auto numbers = std::make_shared<std::array<LONG, 2>>(std::array<LONG, 2>{data_size, -1});
  HostileCall call;
  call.data = by_reference ? Typed(VT_BYREF | VT_ARRAY | VT_I2, &guarded->array)
                            : Typed(VT_ARRAY | VT_I2, guarded->array);
  call.size = Typed(VT_BYREF | VT_I4, &(*numbers)[0]);
  call.waiting = Typed(VT_BYREF | VT_I4, &(*numbers)[1]);
  call.contents = [guarded, count] {
    const SHORT* codes = guarded->memory->As<SHORT>();
    return std::vector<SHORT>(codes, codes + count);
  };
  call.keep = std::make_shared<std::pair<decltype(guarded), decltype(numbers)>>(guarded, numbers);
  return call;
}

// VARIANTs holding strings, in a script variable (by reference).
HostileCall VariantsHoldingText(std::vector<SAFEARRAYBOUND> bounds) {
  auto guarded = std::make_shared<GuardedArray>(bounds, sizeof(VARIANT), FADF_VARIANT);
  const size_t count = GuardedArray::Count(bounds);
  VARIANT* slots = guarded->memory->As<VARIANT>();
  for (size_t i = 0; i < count; ++i) {
    V_VT(&slots[i]) = VT_BSTR;
    V_BSTR(&slots[i]) = SysAllocString(L"text");
  }
  auto variables = std::make_shared<std::array<VARIANT, 3>>();
  (*variables)[0] = Typed(VT_ARRAY | VT_VARIANT, guarded->array);
  (*variables)[1] = Typed(VT_I4, nullptr);
  V_I4(&(*variables)[1]) = 1000;
  (*variables)[2] = Typed(VT_EMPTY, nullptr);
  HostileCall call;
  call.data = Typed(VT_BYREF | VT_VARIANT, &(*variables)[0]);
  call.size = Typed(VT_BYREF | VT_VARIANT, &(*variables)[1]);
  call.waiting = Typed(VT_BYREF | VT_VARIANT, &(*variables)[2]);
  call.contents = [guarded, count] {
    std::vector<SHORT> codes;
    const VARIANT* cells = guarded->memory->As<VARIANT>();
    for (size_t i = 0; i < count; ++i) codes.push_back(V_VT(&cells[i]) == VT_I2 ? V_I2(&cells[i]) : kUntouched);
    return codes;
  };
  call.keep = std::shared_ptr<void>(nullptr, [guarded, count, variables](void*) {
    for (size_t i = 0; i < count; ++i) VariantClear(&guarded->memory->As<VARIANT>()[i]);
  });
  return call;
}

// A well-formed call whose one argument at `index` (0 = Data, 1 = DataSize,
// 2 = InputCountData) is replaced.
HostileCall With(int index, VARIANT replacement) {
  HostileCall call = CodesIn({{8, 0}}, 0, false);
  (index == 0 ? call.data : index == 1 ? call.size : call.waiting) = replacement;
  return call;
}

TEST_F(LateBound, GetDataTakesOnlyWhatFitsAndRefusesEveryOtherShape) {
  // Two counting channels, free-running: every frame carries its number.
  testsupport::SimConfigFile config(testsupport::SimIni()
                                        .Task("Count", "SampClk.Rate = 100000\nSim.FreeRunning = 1")
                                        .Channel("low", "Dev1/ai0", "Sim.Signal = Counter")
                                        .Channel("high", "Dev1/ai1", "Sim.Signal = Counter\nSim.CounterDivisor = 64001")
                                        .Text());
  ScopedEnv task("NIADC_TASK", "Count");
  static SHORT one_code = kUntouched;
  static VARIANT number_variable;
  struct Shape {
    const char* name;
    std::function<HostileCall()> make;
    HRESULT expected;
    UINT arg_error;  // as Invoke counts: 2 = Data, 1 = DataSize, 0 = InputCountData
    LONG frames;     // delivered on success
  };
  const std::vector<Shape> shapes = {
      {"1-D codes without a stored type", [] { return CodesIn({{9, 0}}, 0, false); }, S_OK, 0, 4},
      {"2-D codes by reference, bounds from 1 and -5",
       [] { return CodesIn({{2, 1}, {3, -5}}, FADF_HAVEVARTYPE, true); },
       S_OK, 0, 3},
      {"codes, DataSize below the array", [] { return CodesIn({{20, 0}}, 0, false, 5); }, S_OK, 0, 2},
      {"2-D VARIANTs holding strings", [] { return VariantsHoldingText({{1, 0}, {5, 7}}); }, S_OK, 0, 2},
      {"one short by reference",
       [] {
         HostileCall call = With(0, Typed(VT_BYREF | VT_I2, &one_code));
         call.contents = [] { return std::vector<SHORT>{one_code}; };
         return call;
       },
       S_OK, 0, 0},
      {"a variable holding a number",
       [] {
         V_VT(&number_variable) = VT_I4;
         V_I4(&number_variable) = kUntouched;
         HostileCall call = With(0, Typed(VT_BYREF | VT_VARIANT, &number_variable));
         call.contents = [] { return std::vector<SHORT>{static_cast<SHORT>(V_I4(&number_variable))}; };
         return call;
       },
       S_OK, 0, 0},
      {"a short by value", [] { VARIANT v = Short(1); return With(0, v); }, DISP_E_TYPEMISMATCH, 2, 0},
      {"a null variable reference", [] { return With(0, Typed(VT_BYREF | VT_VARIANT, nullptr)); }, DISP_E_TYPEMISMATCH,
       2, 0},
      {"a null short reference", [] { return With(0, Typed(VT_BYREF | VT_I2, nullptr)); }, DISP_E_TYPEMISMATCH, 2, 0},
      {"a null array reference", [] { return With(0, Typed(VT_BYREF | VT_ARRAY | VT_I2, nullptr)); },
       DISP_E_TYPEMISMATCH, 2, 0},
      {"an array without data",
       [] {
         auto empty = std::make_shared<GuardedArray>(std::vector<SAFEARRAYBOUND>{{10, 0}}, 2, 0, false);
         HostileCall call = With(0, Typed(VT_ARRAY | VT_I2, empty->array));
         call.keep = empty;
         return call;
       },
       DISP_E_TYPEMISMATCH, 2, 0},
      {"codes declared as VARIANTs",
       [] {
         HostileCall call = CodesIn({{8, 0}}, 0, false);
         V_VT(&call.data) = VT_ARRAY | VT_VARIANT;
         return call;
       },
       DISP_E_TYPEMISMATCH, 2, 0},
      {"doubles",
       [] {
         auto doubles = std::make_shared<GuardedArray>(std::vector<SAFEARRAYBOUND>{{8, 0}}, 8, 0);
         HostileCall call = With(0, Typed(VT_ARRAY | VT_R8, doubles->array));
         call.keep = doubles;
         return call;
       },
       DISP_E_TYPEMISMATCH, 2, 0},
      {"Data left out", [] { return With(0, Missing()); }, DISP_E_PARAMNOTOPTIONAL, 2, 0},
      {"a null DataSize reference", [] { return With(1, Typed(VT_BYREF | VT_I4, nullptr)); }, DISP_E_TYPEMISMATCH, 1,
       0},
      {"a null InputCountData reference", [] { return With(2, Typed(VT_BYREF | VT_I4, nullptr)); },
       DISP_E_TYPEMISMATCH, 0, 0},
      {"InputCountData as a double by reference",
       [] {
         static double count = 0;
         return With(2, Typed(VT_BYREF | VT_R8, &count));
       },
       DISP_E_TYPEMISMATCH, 0, 0},
  };

  Record(0);
  std::vector<std::int64_t> received;  // frame numbers, in the order fetched
  auto receive = [&](const std::vector<SHORT>& codes, LONG count) {
    for (LONG i = 0; i + 1 < count; i += 2) received.push_back((codes[i + 1] + 32000LL) * 64001 + codes[i] + 32000);
  };
  for (const Shape& shape : shapes) {
    // Enough frames wait for every call to fill what it may.
    EXPECT_TRUE(testsupport::WaitUntil([&] {
      VARIANT counted = Get(L"InputCountKadrs");
      return V_I4(&counted) >= 64;
    }));
    HostileCall call = shape.make();
    std::vector<VARIANT> args = {call.waiting, call.size, call.data};  // last first, as Invoke takes them
    DISPPARAMS params{args.data(), nullptr, 3, 0};
    VARIANT result;
    VariantInit(&result);
    UINT arg_error = 99;
    const HRESULT hr = object_->Invoke(Id(L"GetData"), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                       &result, nullptr, &arg_error);
    ASSERT_EQ(hr, shape.expected) << shape.name;
    const std::vector<SHORT> contents = call.contents();
    LONG written = 0;
    if (SUCCEEDED(hr)) {
      EXPECT_EQ(V_I4(&result), shape.frames) << shape.name;
      written = 2 * V_I4(&result);
      receive(contents, written);
    } else {
      EXPECT_EQ(arg_error, shape.arg_error) << shape.name;
    }
    for (size_t i = static_cast<size_t>(written); i < contents.size(); ++i) {
      EXPECT_EQ(contents[i], kUntouched) << shape.name << ", element " << i;
    }
  }
  // Then as a script fetches: the frames continue where the hostile calls left them.
  SAFEARRAY* plain = SafeArrayCreateVector(VT_I2, 0, 200);
  VARIANT size = Typed(VT_I4, nullptr);
  V_I4(&size) = 200;
  VARIANT waiting;
  VariantInit(&waiting);
  VARIANT frames = Get(L"GetData", {Typed(VT_ARRAY | VT_I2, plain), RefTo(&size), RefTo(&waiting)});
  EXPECT_GT(V_I4(&frames), 0);
  receive(std::vector<SHORT>(static_cast<SHORT*>(plain->pvData), static_cast<SHORT*>(plain->pvData) + 200),
          V_I4(&size));
  SafeArrayDestroy(plain);
  Get(L"StopRecord");
  ASSERT_GT(received.size(), 20u);
  for (size_t i = 0; i < received.size(); ++i) ASSERT_EQ(received[i], static_cast<std::int64_t>(i)) << "frame " << i;
}

TEST(Script, VBScriptRecordsFramesByName) {
  comtest::MachineRegistration registration;
  ScopedEnv task("NIADC_TASK", "Demo4ch");
  const auto result =
      comtest::RunProcess(L"cscript.exe //nologo \"" + comtest::TestFolder() + L"\\record.vbs\"", 120000);
  ASSERT_TRUE(result.finished) << result.output;
  EXPECT_EQ(result.exit_code, 0u) << result.output;
  EXPECT_EQ(result.output.find("FAIL"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("InputData recorded"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("done"), std::string::npos) << result.output;
  std::printf("%s", result.output.c_str());
}

}  // namespace

// Late-bound clients: IADC3's members by name on the object CreateObject
// returns, argument coercion as script engines pass arguments, arrays a
// script can index, and a VBScript run by Wine's cscript.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/com/com_support.h"
#include "tests/support/sim_env.h"

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

TEST_F(LateBound, CallsIADC3MembersByNameOnTheDefaultInterface) {
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
}

TEST_F(LateBound, ScriptVariablesPassedByReferenceAreCoerced) {
  Get(L"Test");
  VARIANT variable;
  V_VT(&variable) = VT_BSTR;
  V_BSTR(&variable) = SysAllocString(L"1");  // a script variable holding text
  VARIANT name = Get(L"ChannelName", {RefTo(&variable)});
  ASSERT_EQ(V_VT(&name), VT_BSTR);
  EXPECT_STREQ(V_BSTR(&name), L"ai1");
  EXPECT_EQ(V_VT(&variable), VT_I2);
  VariantClear(&name);
  VariantClear(&variable);
}

TEST_F(LateBound, ArraysComeBackAsVariantArraysWithTheirBounds) {
  Get(L"Test");
  VARIANT ranges = Get(L"Ranges");
  ASSERT_EQ(V_VT(&ranges), VT_ARRAY | VT_VARIANT);
  LONG upper = -2;
  SafeArrayGetUBound(V_ARRAY(&ranges), 1, &upper);
  EXPECT_EQ(upper, 0);
  VariantClear(&ranges);

  VARIANT ok = Get(L"StartRecord");
  ASSERT_EQ(V_BOOL(&ok), VARIANT_TRUE);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
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
      "[DAQmxTask One]\nChannels = One/a\nSim.FreeRunning = 1\n"
      "[DAQmxChannel One/a]\nChanType = Analog Input\nPhysicalChanName = Dev1/ai0\n"
      "[DAQmxDevice Dev1]\nProductType = PCIe-6363\n");
  ScopedEnv task("NIADC_TASK", "One");
  std::thread([&] {  // a fresh driver state for the one-channel task
    comtest::Apartment apartment;
    IDispatch* saved = object_;
    SetUp();
    VARIANT ok = Get(L"Test");
    EXPECT_EQ(V_BOOL(&ok), VARIANT_TRUE);
    ok = Get(L"StartRecord");
    EXPECT_EQ(V_BOOL(&ok), VARIANT_TRUE);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
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
    TearDown();
    object_ = saved;
  }).join();
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

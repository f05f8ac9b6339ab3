// InitSettings against HKEY_CURRENT_USER\Software\Kvel (under Wine), with
// HKEY_CURRENT_USER redirected to a scratch key for each test.
#include <gtest/gtest.h>

#include "raw_registry.h"
#include "settings/settings.h"

namespace settings {
namespace {

constexpr char kKvel[] = "Software\\Kvel";
constexpr char kFamily[] = "Software\\Kvel\\ADC\\NI";
constexpr char kKey[] = "Software\\Kvel\\ADC\\NI\\NI-DAQmx-Task";
constexpr char kName[] = "NI-DAQmx-Task";

rawreg::Data Sz(std::string_view text) {
  rawreg::Data data(text.begin(), text.end());
  data.push_back(0);
  return data;
}

class SettingsTest : public ::testing::Test {
 protected:
  rawreg::ScratchUser user_;
  SettingsState state_;
  std::string instance_name_;
};

TEST_F(SettingsTest, FirstCreationMakesTheChainWithOnlyTheInstanceName) {
  InitSettings(state_, instance_name_, kName);
  EXPECT_EQ(instance_name_, kName);
  EXPECT_EQ(state_.mRegistryKey, kKey);
  ASSERT_TRUE(state_.mRegistry);
  EXPECT_EQ(cRegistry().ExportKey(kCurrentUser, kKvel, true),
            "\r\n[HKEY_CURRENT_USER\\Software\\Kvel]\r\n"
            "\r\n[HKEY_CURRENT_USER\\Software\\Kvel\\ADC]\r\n"
            "\r\n[HKEY_CURRENT_USER\\Software\\Kvel\\ADC\\NI]\r\n"
            "\r\n[HKEY_CURRENT_USER\\Software\\Kvel\\ADC\\NI\\NI-DAQmx-Task]\r\n@=\"NI-DAQmx-Task\"\r\n");
}

TEST_F(SettingsTest, InstanceNameIsSetOnlyWhenEmpty) {
  instance_name_ = "Given";
  InitSettings(state_, instance_name_, kName);
  EXPECT_EQ(instance_name_, "Given");
  EXPECT_EQ(state_.mRegistryKey, kKey) << "the key follows the name passed";
  // The driver passes its own instance name.
  rawreg::DeleteTree(kKvel);
  SettingsState state;
  instance_name_ = kName;
  InitSettings(state, instance_name_, instance_name_);
  EXPECT_EQ(instance_name_, kName);
  EXPECT_EQ(rawreg::Read(kKey, "")->data, Sz(kName));
}

// The key is made read-only: an attempted write leaves access denied (5) as
// the accessor's last code, where the read before it leaves 0.
TEST_F(SettingsTest, OnlyADifferentNameIsWrittenAndARefusedWriteIsQuiet) {
  // What follows a NUL is not part of the text read.
  const std::pair<std::string_view, std::int32_t> cases[] = {
      {kName, 0}, {std::string_view("NI-DAQmx-Task\0tail", 18), 0}, {"other", 5}};
  for (const auto& [stored, code] : cases) {
    rawreg::DeleteTree(kKvel);
    rawreg::CreateKey(kKey);
    rawreg::Write(kKey, "", REG_SZ, Sz(stored));
    rawreg::MakeReadOnly(kKey);
    SettingsState state;
    InitSettings(state, instance_name_, kName);
    EXPECT_EQ(state.mRegistry->SectionKey(), kKey);
    EXPECT_EQ(state.mRegistry->LastErrorCode(), code) << stored;
    EXPECT_EQ(rawreg::Read(kKey, "")->data, Sz(stored));
  }
}

TEST_F(SettingsTest, AnyOtherDefaultValueBecomesTheNameAndOtherValuesStay) {
  const std::pair<DWORD, rawreg::Data> stored[] = {{REG_NONE, {}},
                                                   {REG_SZ, Sz("Something else")},
                                                   {REG_SZ, Sz("ni-daqmx-task")},
                                                   {REG_SZ, Sz("NI-DAQmx-Task ")},
                                                   {REG_DWORD, {'N', 'I', 0, 0}}};
  for (const auto& [type, data] : stored) {
    rawreg::CreateKey(kKey);
    rawreg::WriteDWord(kKey, "keep", 5);
    if (type != REG_NONE) rawreg::Write(kKey, "", type, data);
    rawreg::ValueWatch watch(kKey);
    SettingsState state;
    InitSettings(state, instance_name_, kName);
    EXPECT_TRUE(watch.Changed()) << type;
    const auto value = rawreg::Read(kKey, "");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(value->data, Sz(kName));
    EXPECT_EQ(rawreg::ReadWide(kKey, ""), std::wstring(L"NI-DAQmx-Task"));
    EXPECT_EQ(rawreg::Read(kKey, "keep")->data, (rawreg::Data{5, 0, 0, 0}));
  }
}

TEST_F(SettingsTest, ASecondObjectReusesTheAccessorAndWritesNothing) {
  InitSettings(state_, instance_name_, kName);
  const cRegistry* first = state_.mRegistry.get();
  rawreg::MakeReadOnly(kKey);
  InitSettings(state_, instance_name_, kName);
  EXPECT_EQ(state_.mRegistry.get(), first);
  EXPECT_EQ(state_.mRegistry->LastErrorCode(), 0) << "no write attempted";
  EXPECT_EQ(rawreg::Read(kKey, "")->data, Sz(kName));
}

TEST_F(SettingsTest, AKeyThatCannotBeCreatedLeavesEveryOtherKeyAlone) {
  // A volatile parent refuses the driver's non-volatile key.
  rawreg::CreateKey("Software\\Kvel\\ADC");
  rawreg::CreateKey(kFamily, true);
  rawreg::CreateKey("Software\\Kvel\\Elsewhere");
  rawreg::Write("Software\\Kvel\\Elsewhere", "", REG_SZ, Sz("foreign"));
  state_.mRegistry = std::make_unique<cRegistry>();
  state_.mRegistry->SetSectionKey("Software\\Kvel\\Elsewhere");
  ASSERT_EQ(state_.mRegistry->SectionKey(), "Software\\Kvel\\Elsewhere");
  rawreg::ValueWatch watch("Software\\Kvel\\Elsewhere");

  InitSettings(state_, instance_name_, kName);
  EXPECT_FALSE(rawreg::KeyExists(kKey));
  EXPECT_FALSE(watch.Changed());
  EXPECT_EQ(rawreg::Read("Software\\Kvel\\Elsewhere", "")->data, Sz("foreign"));
  EXPECT_EQ(state_.mRegistry->SectionKey(), "Software\\Kvel\\Elsewhere");
}

}  // namespace
}  // namespace settings

// InitSettings against HKEY_CURRENT_USER\Software\Kvel (under Wine), with
// HKEY_CURRENT_USER redirected to a scratch key for each test.
#include <gtest/gtest.h>

#include "raw_registry.h"
#include "settings/settings.h"

namespace settings {
namespace {

constexpr char kKvel[] = "Software\\Kvel";
constexpr char kKey[] = "Software\\Kvel\\ADC\\NI\\NI-DAQmx-Task";
constexpr char kName[] = "NI-DAQmx-Task";

rawreg::Data Sz(const std::string& text) { return rawreg::Data(text.c_str(), text.c_str() + text.size() + 1); }

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
  EXPECT_EQ(cRegistry().ExportKey(kCurrentUser, kKvel, true),
            "\r\n[HKEY_CURRENT_USER\\Software\\Kvel]\r\n"
            "\r\n[HKEY_CURRENT_USER\\Software\\Kvel\\ADC]\r\n"
            "\r\n[HKEY_CURRENT_USER\\Software\\Kvel\\ADC\\NI]\r\n"
            "\r\n[HKEY_CURRENT_USER\\Software\\Kvel\\ADC\\NI\\NI-DAQmx-Task]\r\n@=\"NI-DAQmx-Task\"\r\n");
  const cRegistry* first = state_.mRegistry.get();
  instance_name_ = "Given";
  InitSettings(state_, instance_name_, kName);
  EXPECT_EQ(instance_name_, "Given") << "only an empty instance name takes the name";
  EXPECT_EQ(state_.mRegistry.get(), first) << "the accessor is reused";
}

// The key is read-only: an attempted write leaves access denied (5) as the
// accessor's last code, where the read before it leaves 0.
TEST_F(SettingsTest, OnlyADifferentDefaultValueIsWrittenAndARefusedWriteIsQuiet) {
  const struct {
    DWORD type;
    rawreg::Data data;
    std::int32_t code;
  } cases[] = {
      {REG_SZ, Sz(kName), 0},
      {REG_SZ, Sz(std::string("NI-DAQmx-Task\0tail", 18)), 0},  // what follows a NUL is not read
      {REG_NONE, {}, 5},                                          // no default value
      {REG_SZ, Sz("ni-daqmx-task"), 5},
      {REG_SZ, Sz("NI-DAQmx-Task "), 5},
      {REG_DWORD, {'N', 'I', 0, 0}, 5},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    RegDeleteTreeA(HKEY_CURRENT_USER, kKvel);
    rawreg::CreateKey(kKey);
    if (cases[i].type != REG_NONE) rawreg::Write(kKey, "", cases[i].type, cases[i].data);
    rawreg::MakeReadOnly(kKey);
    SettingsState state;
    InitSettings(state, instance_name_, kName);
    EXPECT_EQ(state.mRegistry->SectionKey(), kKey);
    EXPECT_EQ(state.mRegistry->LastErrorCode(), cases[i].code) << i;
  }
}

TEST_F(SettingsTest, AKeyThatCannotBeCreatedLeavesEveryOtherKeyAlone) {
  // A volatile parent refuses the driver's non-volatile key.
  rawreg::CreateKey("Software\\Kvel\\ADC");
  rawreg::CreateKey("Software\\Kvel\\ADC\\NI", true);
  rawreg::Write("Software\\Kvel\\Elsewhere", "", REG_SZ, Sz("foreign"));
  state_.mRegistry = std::make_unique<cRegistry>();
  state_.mRegistry->SetSectionKey("Software\\Kvel\\Elsewhere");
  InitSettings(state_, instance_name_, kName);
  EXPECT_FALSE(rawreg::KeyExists(kKey));
  EXPECT_EQ(rawreg::Read("Software\\Kvel\\Elsewhere", "")->data, Sz("foreign"));
  EXPECT_EQ(state_.mRegistry->SectionKey(), "Software\\Kvel\\Elsewhere");
}

}  // namespace
}  // namespace settings

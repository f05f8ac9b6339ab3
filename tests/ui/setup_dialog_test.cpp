// The setup window as the user meets it: caption, summary, channel and
// device lists for a two-device task, the channel click that finds the
// channel's device, Help with and without NI.chm beside the driver, the
// logo's link, and nothing shown while recording.
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>

#include "driver/help_file.h"
#include "driver/ni_daqmx_task.h"
#include "driver/state.h"
#include "niadc_version.h"
#include "platform/system.h"
#include "tests/support/sim_config.h"
#include "tests/support/sim_env.h"
#include "tests/ui/dialog_robot.h"
#include "ui/dialogs.h"
#include "ui/resource.h"
#include "ui/setup_dialog.h"

namespace {

using robot::Table;
const std::string kPlusMinus = "\xC2\xB1";

// Two channels on two devices whose names are prefixes of each other.
std::string TwoDeviceTask(const std::string& task_keys = "") {
  return "[DAQmx]\nMajorVersion = 9\nMinorVersion = 0\n" +
         testsupport::SimIni()
             .Task("Mixed", task_keys)
             .Channel("volts", "Dev1/ai0")
             .Channel("level", "Dev10/ai0", "AI.Min = 0\nAI.Max = 5")
             .Device("Dev1", "PCIe-6363", "DevSerialNum = 0x1A2B3C")
             .Device("Dev10", "USB-6210", "Sim.AIChannels = 16")
             .Text();
}

struct Requests {
  std::mutex mutex;
  std::vector<std::pair<std::string, unsigned>> help;
  std::vector<std::pair<std::string, int>> web;
};
Requests g_requests;

void RecordHelp(void*, const std::string& file, unsigned context) {
  std::lock_guard lock(g_requests.mutex);
  g_requests.help.emplace_back(file, context);
}

void RecordWeb(void*, const std::string& address, int show) {
  std::lock_guard lock(g_requests.mutex);
  g_requests.web.emplace_back(address, show);
}

size_t HelpRequests() {
  std::lock_guard lock(g_requests.mutex);
  return g_requests.help.size();
}

class SetupDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string reason = robot::NoDisplayReason(); !reason.empty()) GTEST_SKIP() << reason;
    ui::InstallDialogs();
    ui::SetHelpOpener(&RecordHelp);
    ui::SetWebOpener(&RecordWeb);
    std::lock_guard lock(g_requests.mutex);
    g_requests.help.clear();
    g_requests.web.clear();
  }

  void TearDown() override {
    ui::SetHelpOpener(nullptr);
    ui::SetWebOpener(nullptr);
  }

  // Opens the setup window of a driver that detected `ini`'s task, as the
  // host does; `adjust` may change the state first. `user` plays the user.
  void ShowSetting(const std::string& ini, const std::function<void(HWND)>& user,
                   const std::function<void(driver::DriverState&)>& adjust = {}) {
    testsupport::SimConfigFile config(ini);
    bool returned = true;
    robot::DialogThread thread([&] {
      driver::NI_DAQmx_Task adc;
      ASSERT_TRUE(adc.Test());
      if (adjust) adjust(*driver::ThisThreadState());
      returned = adc.ShowSetting();
    });
    const HWND dialog = thread.WaitForDialog();
    ASSERT_NE(dialog, nullptr) << "no setup window appeared";
    user(dialog);
    ASSERT_TRUE(thread.WaitFinished()) << "the setup window did not close";
    EXPECT_FALSE(returned);
  }
};

TEST_F(SetupDialog, ShowsTheTaskItsChannelsAndItsDevices) {
  ShowSetting(TwoDeviceTask(), [](HWND dialog) {
    EXPECT_EQ(robot::WindowText(dialog), std::string("NI-DAQmx-Task Setup v") + NIADC_VERSION_TEXT + " (DAQmx v9.0)");
    EXPECT_EQ(robot::WindowText(GetDlgItem(dialog, IDC_TXT_INFO)), "Task:\tMixed\r\nChannels:\t2\r\nDevices:\t2");

    const HWND channels = GetDlgItem(dialog, IDC_LV_CHANNELS);
    EXPECT_EQ(robot::Shown(channels), (Table{{"N", "Channel", "Range", "Physical Channel"},
                                             {"1", "volts", kPlusMinus + "10 V", "Dev1/ai0"},
                                             {"2", "level", "0...5 V", "Dev10/ai0"}}));

    const HWND devices = GetDlgItem(dialog, IDC_LV_DEVICES);
    EXPECT_EQ(robot::Shown(devices),
              (Table{{"Device", "Type", "Seral N"}, {"Dev1", "PCIe-6363", "1A2B3C"}, {"Dev10", "USB-6210", "0"}}));
    EXPECT_FALSE(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_FALSE(robot::SaveScreenshot(dialog, "setup_dialog").empty());

    robot::PressKey(dialog, VK_ESCAPE);
  });
}

TEST_F(SetupDialog, ClickingAChannelSelectsTheDeviceItIsOn) {
  ShowSetting(TwoDeviceTask(), [](HWND dialog) {
    const HWND channels = GetDlgItem(dialog, IDC_LV_CHANNELS);
    const HWND devices = GetDlgItem(dialog, IDC_LV_DEVICES);
    EXPECT_EQ(robot::SelectedRow(devices), -1);
    // Dev10/ai0 contains "Dev1" but not "Dev1/".
    for (const int row : {1, 0}) {
      robot::ClickRow(channels, row);
      EXPECT_TRUE(robot::WaitUntil([&] { return robot::SelectedRow(devices) == row; }))
          << "selected device row " << robot::SelectedRow(devices);
    }
    robot::ClickControl(GetDlgItem(dialog, IDCANCEL));
  });
}

TEST_F(SetupDialog, HelpAndF1OpenTheHelpFileBesideTheDriverAtTheSetupPage) {
  std::string help_file;
  ShowSetting(TwoDeviceTask(), [&](HWND dialog) {
    const HWND help = GetDlgItem(dialog, IDHELP);
    EXPECT_TRUE(IsWindowEnabled(help));
    robot::ClickControl(help);
    EXPECT_TRUE(robot::WaitUntil([] { return HelpRequests() == 1; }));
    EXPECT_TRUE(robot::TypeKey(dialog, VK_F1));
    EXPECT_TRUE(robot::WaitUntil([] { return HelpRequests() == 2; }));
    robot::PressKey(dialog, VK_ESCAPE);
  }, [&](driver::DriverState& state) { help_file = state.mHelpFile; });

  const std::string beside = platform::FolderOf(platform::ThisModulePath()) + "\\NI.chm";
  EXPECT_EQ(help_file, beside) << "the build puts NI.chm beside the test program";
  std::lock_guard lock(g_requests.mutex);
  ASSERT_EQ(g_requests.help.size(), 2u);
  for (const auto& [file, context] : g_requests.help) {
    EXPECT_EQ(file, beside);
    EXPECT_EQ(context, 20u);
  }
}

TEST_F(SetupDialog, WithoutAHelpFileHelpIsDisabledAndCloseStillWorks) {
  const auto folder = std::filesystem::temp_directory_path() / ("niadc-no-help-" + std::to_string(GetCurrentProcessId()));
  std::filesystem::create_directories(folder);
  const std::u8string utf8 = folder.u8string();
  const std::string empty_folder(utf8.begin(), utf8.end());
  ShowSetting(TwoDeviceTask(), [](HWND dialog) {
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDHELP)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)));
    EXPECT_TRUE(robot::TypeKey(dialog, VK_F1));
    robot::ClickControl(GetDlgItem(dialog, IDCANCEL));
  }, [&](driver::DriverState& state) { state.mHelpFile = driver::FindHelpFile(empty_folder); });
  std::filesystem::remove_all(folder);
  EXPECT_EQ(HelpRequests(), 0u);
}

TEST_F(SetupDialog, TheLogoOpensTheVendorsWebSite) {
  ShowSetting(TwoDeviceTask(), [](HWND dialog) {
    robot::ClickControl(GetDlgItem(dialog, IDC_IMG_LOGO));
    EXPECT_TRUE(robot::WaitUntil([] {
      std::lock_guard lock(g_requests.mutex);
      return !g_requests.web.empty();
    }));
    robot::PressKey(dialog, VK_ESCAPE);
  });
  std::lock_guard lock(g_requests.mutex);
  // Shown normally: SW_SHOW.
  EXPECT_EQ(g_requests.web, (std::vector<std::pair<std::string, int>>{{"https://www.ni.com/", 5}}));
}

TEST_F(SetupDialog, ShowsNothingWhileRecording) {
  testsupport::SimConfigFile config(TwoDeviceTask("Sim.FreeRunning = 1\n"));
  bool started = false;
  bool returned = true;
  robot::DialogThread thread([&] {
    driver::NI_DAQmx_Task adc;
    started = adc.Test() && adc.StartRecord();
    returned = adc.ShowSetting();
    adc.StopRecord();
  });
  EXPECT_TRUE(thread.WaitFinished()) << "a window was shown while recording";
  EXPECT_TRUE(started);
  EXPECT_FALSE(returned);
}

}  // namespace
